// Odd text from the user or the server: each gives the request the client describes or a clear error, and
// never an injected header.
#include <gtest/gtest.h>

#include <functional>

#include "client/WebDAVClient.h"
#include "support/DavServer.h"
#include "support/Scenario.h"
#include "support/ScriptedServer.h"

namespace ostrel {
namespace {

using test::errorOf;
using test::Reply;
using test::ScriptedServer;

TEST(BadInput, NamesWithReservedAndNonAsciiCharactersRoundTripOnApache) {
    test::DavServer apache;
    WebDAVClient client;
    client.WebDAVURI(apache.url());
    // "%" and "#" are part of the name; a space and "é" are sent percent-encoded.
    const std::string name = "xbrl/other/50% off #1 caf\xC3\xA9.xml";
    client.UpdateDocument(name, "<offer>half</offer>");
    EXPECT_EQ(client.GetDocument(name).text(), "half");
    XmlDocument listing = client.FindPropertyByName("xbrl/other", "getcontentlength");
    listing.setProperty("SelectionNamespaces", "xmlns:d='DAV:'");
    bool found = false;
    for (const XmlNode href : listing.selectNodes("//d:href")) {
        found = found || href.text() == apache.url().substr(apache.url().find("/ostrel")) +
                                            "/xbrl/other/50%25%20off%20%231%20caf%c3%a9.xml";
    }
    EXPECT_TRUE(found) << listing.xml();
    client.DeleteDocument(name);
    EXPECT_TRUE(errorOf([&] { client.GetDocument(name); }).starts_with("ProcessDoc | Not Found"));

    // A "?" is part of the name, never the start of a query: each name below is a document of its own.
    client.UpdateDocument("xbrl/other/question?v=2.xml", "<q/>");
    EXPECT_TRUE(client.GetDocument("xbrl/other/question?v=2.xml").hasChildNodes());
    EXPECT_TRUE(errorOf([&] {
                    client.GetDocument("xbrl/other/question?v=3.xml");
                }).starts_with("ProcessDoc | Not Found"));
}

TEST(BadInput, LineBreaksNeverReachTheWireAsHeaders) {
    ScriptedServer server;
    server.enqueue(Reply::http(201, "Created"));
    // A hostile lock reply whose token carries a line break.
    server.enqueue(Reply::http(200, "OK",
                               "<D:prop xmlns:D='DAV:'><D:lockdiscovery><D:activelock><D:locktoken><D:href>"
                               "opaquelocktoken:x\r\nX-Injected: 1</D:href></D:locktoken></D:activelock>"
                               "</D:lockdiscovery></D:prop>"));
    WebDAVClient client;
    client.WebDAVURI(server.baseUrl() + "/dav");
    client.CopyResource("a\r\nX-Injected: 1.xml", "b.xml");
    client.LockResource("a.xml");
    const std::size_t sent = server.requests().size();
    const std::string unlock = errorOf([&] { client.UnlockResource("a.xml"); });
    EXPECT_NE(unlock.find("contains a line break"), std::string::npos) << unlock;
    EXPECT_NE(
        errorOf([&] { client.UpdateDocument("a.xml", "<a/>", client.opaquetoken()); }).find("line break"),
        std::string::npos);
    EXPECT_NE(errorOf([&] { client.CopyResource("a.xml", "b\r\nX-Injected: 1.xml"); }).find("line break"),
              std::string::npos);
    EXPECT_EQ(server.requests().size(), sent) << "a refused request sends nothing";
    const auto requests = server.requests();
    EXPECT_EQ(requests[0].target, "/dav/a%0D%0AX-Injected:%201.xml");
    for (const auto& request : requests) EXPECT_FALSE(request.header("X-Injected")) << request.raw;
}

TEST(BadInput, UnusableServerUrisFailClearly) {
    WebDAVClient client;
    EXPECT_EQ(errorOf([&] { client.GetAllProperties("xbrl"); }),
              "FindProperty | WebDAVURI not initialized yet");
    for (const char* uri :
         {"", "127.0.0.1:4000/ostrelwebdavserver", "ftp://127.0.0.1/dav", "http//127.0.0.1"}) {
        client.WebDAVURI(uri);
        const std::string error = errorOf([&] { client.GetDocument("a.xml"); });
        EXPECT_NE(error.find("is not an absolute http:// or https:// URL"), std::string::npos) << error;
        EXPECT_NE(errorOf([&] { client.LockResource("a.xml"); }).find("not an absolute"), std::string::npos);
    }
    for (const char* uri : {"http://", "http://[::1/dav", "http://127.0.0.1:99999/dav"}) {
        client.WebDAVURI(uri);
        const std::string error = errorOf([&] { client.GetDocument("a.xml"); });
        EXPECT_TRUE(error.starts_with("HttpRequest | ")) << error;
        EXPECT_NE(error.find(std::string(uri) + "/a.xml"), std::string::npos)
            << "names where it failed: " << error;
    }
}

}  // namespace
}  // namespace ostrel
