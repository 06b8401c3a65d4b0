// The client's requests and error rules, checked byte for byte against a scripted server.
#include <gtest/gtest.h>

#include <functional>

#include "client/WebDAVClient.h"
#include "support/ScriptedServer.h"

namespace ostrel {
namespace {

using test::RecordedRequest;
using test::Reply;
using test::ScriptedServer;

constexpr std::int32_t kNumber = static_cast<std::int32_t>(0x80040000u);

class Wire : public ::testing::Test {
protected:
    void SetUp() override {
        client.WebDAVURI(server.baseUrl() + "/dav");
        client.UserId("user");
        client.Password("pw");
    }

    std::string url(const std::string& resource) const { return server.baseUrl() + "/dav/" + resource; }

    RecordedRequest last() const {
        const auto all = server.requests();
        if (all.empty()) throw std::runtime_error("nothing was sent");
        return all.back();
    }

    // Runs an operation that must fail and returns its error.
    static Error failure(const std::function<void()>& operation) {
        try {
            operation();
        } catch (const Error& error) {
            return error;
        }
        ADD_FAILURE() << "the operation succeeded";
        return Error(0, "", "");
    }

    void lockWithToken(const std::string& token) {
        server.enqueue(
            Reply::http(200, "OK",
                        "<?xml version='1.0'?><D:prop xmlns:D='DAV:'><D:lockdiscovery><D:activelock>"
                        "<D:locktoken><D:href>" +
                            token +
                            "</D:href></D:locktoken>"
                            "</D:activelock></D:lockdiscovery></D:prop>"));
        client.LockResource("locked.xml");
    }

    ScriptedServer server;
    WebDAVClient client;
};

TEST_F(Wire, DocumentRequestsCarryTypeLengthAndIfOnlyWithAToken) {
    server.enqueue(Reply::http(200, "OK", "<?xml version='1.0'?>\n<doc>\n  <a>1</a>\n</doc>\n"));
    XmlDocument got = client.GetDocument("xbrl/config/Document_1.xml");
    EXPECT_EQ(got.documentElement().firstChild().nodeName(), "a");
    RecordedRequest get = last();
    EXPECT_EQ(get.requestLine, "GET /dav/xbrl/config/Document_1.xml HTTP/1.1");
    EXPECT_EQ(get.header("Content-Type"), "text/xml");
    EXPECT_EQ(get.header("Content-Length"), "0");
    EXPECT_FALSE(get.header("If"));

    const std::string text = "<doc>\xC3\xA9t\xC3\xA9</doc>";  // 14 characters, 16 octets
    server.enqueue(Reply::http(201, "Created"));
    XmlDocument put = client.UpdateDocument("new.xml", text, "<opaquelocktoken:abc>");
    EXPECT_FALSE(put.hasChildNodes()) << "a reply without body gives an empty document";
    RecordedRequest putRequest = last();
    EXPECT_EQ(putRequest.method, "PUT");
    EXPECT_EQ(putRequest.header("Content-Length"), "16");
    EXPECT_EQ(putRequest.body, text);
    EXPECT_EQ(putRequest.header("If"), "(<opaquelocktoken:abc>)");
    EXPECT_EQ(client.opaquetoken(), "<opaquelocktoken:abc>");

    // Without a token: no If header, and the kept token stays. A GET never sends one.
    server.enqueue(Reply::http(204, "No Content"));
    EXPECT_FALSE(client.DeleteDocument("new.xml").hasChildNodes());
    EXPECT_FALSE(last().header("If"));
    EXPECT_EQ(last().header("Content-Length"), "0");
    EXPECT_EQ(client.opaquetoken(), "<opaquelocktoken:abc>");
    server.enqueue(Reply::http(200, "OK", "<a/>"));
    client.GetDocument("a.xml");
    EXPECT_FALSE(last().header("If"));

    server.enqueue(Reply::http(204, "No Content"));
    client.DeleteDocument("old.xml", "<opaquelocktoken:del>");
    EXPECT_EQ(last().header("If"), "(<opaquelocktoken:del>)");
    server.enqueue(Reply::http(201, "Created"));
    client.UpdateDocument("empty.xml", "");
    EXPECT_EQ(last().header("Content-Length"), "0");
    EXPECT_EQ(client.opaquetoken(), "<opaquelocktoken:del>");

    // A token given to a PUT that is then refused stays kept.
    server.enqueue(Reply::http(423, "Locked", "<error/>"));
    EXPECT_THROW(client.UpdateDocument("x.xml", "<x/>", "<opaquelocktoken:new>"), Error);
    EXPECT_EQ(client.opaquetoken(), "<opaquelocktoken:new>");
}

TEST_F(Wire, StatusTableOfTheDocumentOperations) {
    struct Case {
        int status;
        std::string reason;
        std::string source;
        std::string description;
    };
    const std::string body = "<html>reply text</html>";
    const std::vector<Case> cases = {
        {423, "Locked", url("d.xml"), "Resource has been locked"},
        {403, "Forbidden", url("d.xml"),
         "You are not allowed to alter the properties of this resource\r\n" + body},
        {409, "Conflict", url("d.xml"), "Action is inappropriate\r\n" + body},
        {507, "Insufficient Storage", url("d.xml"), "Insufficient storage\r\n" + body},
        {415, "Unsupported Media Type", url("d.xml"), "Unsupported media type\r\n" + body},
        {300, "Multiple Choices", "ProcessDoc", "Multiple Choices\r\n" + body},
        {401, "Unauthorized", "ProcessDoc", "Unauthorized\r\n" + body},
        {404, "Not Found", "ProcessDoc", "Not Found\r\n" + body},
        {500, "Server Exploded", "ProcessDoc", "Server Exploded\r\n" + body},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        server.enqueue(Reply::http(c.status, c.reason, body));
        const Error error = failure([&] { client.DeleteDocument("d.xml"); });
        EXPECT_EQ(error.number(), kNumber);
        EXPECT_EQ(error.source(), c.source);
        EXPECT_EQ(error.description(), c.description);
    }
    for (int status : {200, 201, 204, 207}) {
        server.enqueue(Reply::http(status, "Fine"));
        EXPECT_NO_THROW(client.GetDocument("d.xml")) << status;
    }
}

TEST_F(Wire, DocumentNameCheckSendsNothingOnFailure) {
    const Error get = failure([&] { client.GetDocument("folder/"); });
    EXPECT_EQ(get.number(), kNumber);
    EXPECT_EQ(get.source(), "GetDocument");
    EXPECT_EQ(get.description(), "Invalid document folder/");
    EXPECT_EQ(failure([&] { client.UpdateDocument("Doc.XML", "<a/>", "<t>"); }).source(), "UpdateDocument");
    EXPECT_EQ(client.opaquetoken(), "") << "a refused name changes nothing";
    EXPECT_EQ(failure([&] { client.DeleteDocument("xbrl"); }).description(), "Invalid document xbrl");
    EXPECT_TRUE(server.requests().empty());

    server.enqueue(Reply::http(200, "OK", "<a/>"));
    EXPECT_NO_THROW(client.GetDocument("Doc.xml.old"));
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(Wire, UrlsAreJoinedAsPlainText) {
    for (int i = 0; i < 3; ++i) server.enqueue(Reply::http(200, "OK", "<a/>"));
    client.WebDAVURI(server.baseUrl() + "/dav/");
    client.GetDocument("/x.xml");
    EXPECT_EQ(last().target, "/dav///x.xml");
    client.WebDAVURI(server.baseUrl() + "/dav");
    client.GetDocument("WebDAV Folder/caf\xC3\xA9.xml");
    EXPECT_EQ(last().target, "/dav/WebDAV%20Folder/caf%C3%A9.xml");
    client.UserId("");
    client.Password("");
    client.GetDocument("a.xml");
    EXPECT_EQ(server.requests().size(), 3u);

    client.WebDAVURI("");
    const Error unusable = failure([&] { client.GetDocument("a.xml"); });
    EXPECT_NE(unusable.number(), kNumber) << "the request object's own failure passes through";
    EXPECT_NE(unusable.description().find("\"/a.xml\""), std::string::npos) << unusable.description();
}

TEST_F(Wire, CopyAndMoveResolveUrlsAndMapStatuses) {
    lockWithToken("opaquelocktoken:held");
    for (int i = 0; i < 6; ++i) server.enqueue(Reply::http(i == 5 ? 207 : 201, "Created"));
    client.CopyResource("a.xml", "b.xml");
    RecordedRequest copy = last();
    EXPECT_EQ(copy.requestLine, "COPY /dav/a.xml HTTP/1.1");
    EXPECT_EQ(copy.header("Destination"), server.baseUrl() + "/dav/b.xml");
    EXPECT_EQ(copy.header("Overwrite"), "F");
    EXPECT_FALSE(copy.header("If")) << "copy never sends the kept token";
    EXPECT_FALSE(copy.header("Content-Type"));
    EXPECT_EQ(copy.header("Content-Length"), "0");

    client.CopyResource(server.baseUrl() + "/elsewhere/a.xml", "http://127.0.0.1/WebDAV Folder/");
    EXPECT_EQ(last().target, "/elsewhere/a.xml");
    EXPECT_EQ(last().header("Destination"), "http://127.0.0.1/WebDAV Folder/");

    // Only "http://" makes a source absolute; any "://" makes a destination absolute.
    client.CopyResource("https://h/a.xml", "https://h/b.xml");
    EXPECT_EQ(last().target, "/dav/https://h/a.xml");
    EXPECT_EQ(last().header("Destination"), "https://h/b.xml");

    client.MoveResource("a.xml", "c.xml", false);
    EXPECT_EQ(last().method, "MOVE");
    EXPECT_EQ(last().header("Overwrite"), "F");
    client.MoveResource("a.xml", "c.xml", true);
    EXPECT_EQ(last().method, "COPY") << "bCopy keeps the source";
    EXPECT_EQ(last().header("Overwrite"), "F");
    client.CopyResource("a.xml", "d.xml");  // a 207 counts as success, its body unread

    for (int status : {401, 403}) {
        server.enqueue(Reply::http(status, "No"));
        const Error denied = failure([&] { client.MoveResource("a.xml", "b.xml", false); });
        EXPECT_EQ(denied.source(), "CopyResource");
        EXPECT_EQ(denied.description(), "You don't have the permission");
    }
    server.enqueue(Reply::http(412, "Precondition Failed", "<html>ignored</html>"));
    const Error exists = failure([&] { client.CopyResource("a.xml", "b.xml"); });
    EXPECT_EQ(exists.number(), kNumber);
    EXPECT_EQ(exists.source(), "CopyResource");
    EXPECT_EQ(exists.description(), "Copy failed: 412: Precondition Failed");
    EXPECT_EQ(client.opaquetoken(), "<opaquelocktoken:held>");
}

TEST_F(Wire, MakeCollectionSendsItsBodyAndFailsByTheStatusTable) {
    server.enqueue(Reply::http(201, "Created"));
    EXPECT_FALSE(client.MakeCollection("xbrl/new").hasChildNodes());
    EXPECT_EQ(last().requestLine, "MKCOL /dav/xbrl/new HTTP/1.1");
    EXPECT_FALSE(last().header("Content-Type"));
    EXPECT_EQ(last().header("Content-Length"), "0");

    server.enqueue(Reply::http(201, "Created"));
    client.MakeCollection("xbrl/withbody", "<mkcol xmlns='DAV:'/>");
    EXPECT_EQ(last().header("Content-Type"), "text/xml");
    EXPECT_EQ(last().body, "<mkcol xmlns='DAV:'/>");

    server.enqueue(Reply::http(405, "Method Not Allowed", "exists"));
    const Error exists = failure([&] { client.MakeCollection("xbrl"); });
    EXPECT_EQ(exists.source(), "ProcessDoc");
    EXPECT_EQ(exists.description(), "Method Not Allowed\r\nexists");
    server.enqueue(Reply::http(409, "Conflict", "no parent"));
    EXPECT_EQ(failure([&] { client.MakeCollection("a/b/c"); }).source(), url("a/b/c"));
    EXPECT_EQ(client.LastReferencedResource(), "");
}

TEST_F(Wire, PropertyQueriesSendExactBodiesAndReturnAnyXmlReply) {
    const std::string multistatus =
        "<D:multistatus xmlns:D='DAV:'><D:response><D:href>/dav/</D:href>"
        "</D:response></D:multistatus>";
    for (int i = 0; i < 4; ++i) server.enqueue(Reply::http(207, "Multi-Status", multistatus));
    client.GetAllPropertyNames("xbrl");
    EXPECT_EQ(last().body, "<?xml version='1.0'?><propfind xmlns='DAV:'><propname/></propfind>");
    EXPECT_EQ(last().requestLine, "PROPFIND /dav/xbrl HTTP/1.1");
    client.GetAllProperties("xbrl/a.xml");
    EXPECT_EQ(last().body, "<?xml version='1.0'?><propfind xmlns='DAV:'><allprop/></propfind>");
    XmlDocument found = client.FindPropertyByName("", "  display name\t ");
    EXPECT_EQ(last().body,
              "<?xml version='1.0'?><propfind xmlns='DAV:'><prop><display name\t/></prop></propfind>");
    EXPECT_EQ(last().target, "/dav/");
    EXPECT_EQ(found.getProperty("SelectionLanguage"), "XPath");
    EXPECT_EQ(found.documentElement().nodeName(), "D:multistatus");
    client.PropertyFind("", "q");
    const RecordedRequest empty = last();
    EXPECT_EQ(empty.header("Content-Length"), "0");
    EXPECT_EQ(empty.header("Content-Type"), "text/xml");
    EXPECT_FALSE(empty.header("Depth")) << "no Depth header: the listing relies on depth infinity";
    EXPECT_FALSE(empty.header("If"));
    EXPECT_EQ(client.LastReferencedResource(), "q");

    // An error with a well-formed XML body is returned, not raised.
    server.enqueue(
        Reply::http(403, "Forbidden", "<D:error xmlns:D='DAV:'><D:propfind-finite-depth/></D:error>"));
    EXPECT_EQ(client.FindPropertyByName("x", "displayname").documentElement().localName(), "error");

    server.enqueue(Reply::http(403, "Forbidden", "<html><body>Forbidden<br></body></html>"));
    const Error html = failure([&] { client.FindPropertyByName("forbidden", "displayname"); });
    EXPECT_EQ(html.number(), kNumber);
    EXPECT_EQ(html.source(), "FindProperty");
    EXPECT_EQ(html.description(), "Failed to load response\r\n<html><body>Forbidden<br></body></html>");
    EXPECT_EQ(client.LastReferencedResource(), "forbidden") << "set before the request went out";
    server.enqueue(Reply::http(200, "OK"));
    EXPECT_EQ(failure([&] { client.GetAllProperties("e"); }).description(), "Failed to load response\r\n");

    client.WebDAVURI("");
    const std::size_t sent = server.requests().size();
    const Error uninitialised = failure([&] { client.GetAllProperties("never"); });
    EXPECT_EQ(uninitialised.source(), "FindProperty");
    EXPECT_EQ(uninitialised.description(), "WebDAVURI not initialized yet");
    EXPECT_EQ(client.LastReferencedResource(), "e");
    EXPECT_EQ(server.requests().size(), sent);
}

TEST_F(Wire, PropertyUpdateReplacesPlaceholdersInOrderAndChangesNoState) {
    lockWithToken("opaquelocktoken:kept");
    const std::string reply = "<D:multistatus xmlns:D='DAV:'/>";
    for (int i = 0; i < 2; ++i) server.enqueue(Reply::http(207, "Multi-Status", reply));
    client.PropertyUpdate("a.xml", "p", "v");
    RecordedRequest plain = last();
    EXPECT_EQ(plain.body,
              "<?xml version='1.0'?><propertyupdate xmlns='DAV:' ><set><prop><p>v</p></prop></set>"
              "</propertyupdate>");
    EXPECT_EQ(plain.method, "PROPPATCH");
    EXPECT_EQ(plain.header("Content-Type"), "text/xml");
    EXPECT_EQ(plain.header("Content-Length"), std::to_string(plain.body.size()));
    EXPECT_FALSE(plain.header("If"));

    client.PropertyUpdate("a.xml", " x:n$ns ", "<b>\xC3\xA9$ns</b>", "xmlns:x='urn:x'");
    EXPECT_EQ(last().body,
              "<?xml version='1.0'?><propertyupdate xmlns='DAV:' xmlns:x='urn:x'><set><prop>"
              "< x:nxmlns:x='urn:x' ><b>\xC3\xA9xmlns:x='urn:x'</b></ x:nxmlns:x='urn:x' ></prop>"
              "</set></propertyupdate>");
    EXPECT_EQ(last().header("Content-Length"), std::to_string(last().body.size()));
    EXPECT_EQ(client.LastReferencedResource(), "locked.xml");
    EXPECT_EQ(client.opaquetoken(), "<opaquelocktoken:kept>");

    server.enqueue(Reply::http(204, "No Content"));
    const Error noBody = failure([&] { client.PropertyUpdate("a.xml", "p", "v"); });
    EXPECT_EQ(noBody.source(), "PropertyUpdate");
    EXPECT_EQ(noBody.description(), "Failed to load response\r\n");
}

TEST_F(Wire, LockSendsTheExactBodyAndKeepsTheFirstDavHref) {
    server.enqueue(
        Reply::http(200, "OK",
                    "<?xml version='1.0'?>\n<prop xmlns='DAV:'>\n <lockdiscovery>\n  <activelock>\n"
                    "   <locktoken>\n    <href>opaquelocktoken:first</href>\n   </locktoken>\n"
                    "   <lockroot><href>/dav/a.xml</href></lockroot>\n  </activelock>\n"
                    " </lockdiscovery>\n</prop>\n"));
    client.LockResource("a.xml");
    RecordedRequest lock = last();
    EXPECT_EQ(lock.requestLine, "LOCK /dav/a.xml HTTP/1.1");
    EXPECT_EQ(lock.body,
              "<?xml version='1.0' encoding='utf-8' ?><lockinfo xmlns='DAV:'><lockscope><exclusive/>"
              "</lockscope><locktype><write/></locktype></lockinfo>");
    EXPECT_EQ(lock.header("Content-Length"), "137");
    EXPECT_EQ(lock.header("Content-Type"), "text/xml");
    EXPECT_FALSE(lock.header("If"));
    EXPECT_FALSE(lock.header("Timeout"));
    EXPECT_FALSE(lock.header("Depth"));
    EXPECT_EQ(client.opaquetoken(), "<opaquelocktoken:first>");
    EXPECT_EQ(client.LastReferencedResource(), "a.xml");

    lockWithToken("urn:uuid:second");
    EXPECT_EQ(client.opaquetoken(), "<urn:uuid:second>");

    struct Case {
        Reply reply;
        std::string description;
    };
    const std::string noHref = "<D:error xmlns:D='DAV:'><D:lock-token-submitted/></D:error>";
    const std::string refused =
        "<D:multistatus xmlns:D='DAV:'><D:response><D:href>/dav/c/x.xml</D:href>"
        "<D:status>HTTP/1.1 423 Locked</D:status></D:response></D:multistatus>";
    std::vector<Case> cases;
    cases.push_back({Reply::http(423, "Locked", "<ignored/>"), "Document is already locked"});
    cases.push_back({Reply::http(401, "Unauthorized"), "Failed to load response\r\n"});
    cases.push_back({Reply::http(500, "Oops", "<html>"), "Failed to load response\r\n<html>"});
    cases.push_back({Reply::http(200, "OK", noHref), "Failed to lock resource\r\n" + noHref});
    // A refusal that names other resources must not hand out one of their URLs as the new token.
    cases.push_back({Reply::http(207, "Multi-Status", refused), "Failed to lock resource\r\n" + refused});
    cases.push_back(
        {Reply::http(412, "Precondition Failed", refused), "Failed to lock resource\r\n" + refused});
    for (Case& c : cases) {
        server.enqueue(std::move(c.reply));
        const Error error = failure([&] { client.LockResource("c"); });
        EXPECT_EQ(error.number(), kNumber);
        EXPECT_EQ(error.source(), "LockResource");
        EXPECT_EQ(error.description(), c.description);
        EXPECT_EQ(client.opaquetoken(), "<urn:uuid:second>") << c.description;
        EXPECT_EQ(client.LastReferencedResource(), "c");
    }
}

TEST_F(Wire, UnlockSendsTheGivenOrKeptTokenAndOnly204Succeeds) {
    server.enqueue(Reply::http(204, "No Content"));
    client.UnlockResource("a.xml");
    EXPECT_EQ(last().requestLine, "UNLOCK /dav/a.xml HTTP/1.1");
    EXPECT_EQ(last().headerCount("Lock-Token"), 1u);
    EXPECT_EQ(last().header("Lock-Token"), "") << "no token at all: an empty value is sent";

    lockWithToken("opaquelocktoken:kept");
    server.enqueue(Reply::http(204, "No Content"));
    client.UnlockResource("other.xml");
    EXPECT_EQ(last().header("Lock-Token"), "<opaquelocktoken:kept>");
    EXPECT_EQ(last().header("Content-Type"), "text/xml");
    EXPECT_EQ(last().body, "");
    EXPECT_EQ(client.opaquetoken(), "<opaquelocktoken:kept>") << "unlock never clears the kept token";
    EXPECT_EQ(client.LastReferencedResource(), "other.xml");

    server.enqueue(Reply::http(204, "No Content"));
    client.UnlockResource("a.xml", "<opaquelocktoken:given>");
    EXPECT_EQ(last().header("Lock-Token"), "<opaquelocktoken:given>");

    for (int status : {200, 400, 409, 412}) {
        server.enqueue(Reply::http(status, "Whatever", "<detail/>"));
        const Error error = failure([&] { client.UnlockResource("b.xml"); });
        EXPECT_EQ(error.source(), "UnlockResource");
        EXPECT_EQ(error.description(), "Failed to unlock resource") << status;
    }
    EXPECT_EQ(client.opaquetoken(), "<opaquelocktoken:kept>");
}

}  // namespace
}  // namespace ostrel
