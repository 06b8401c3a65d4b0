// The client's scenarios against a real lighttpd mod_webdav server, with and without authentication. Where
// lighttpd answers differently from Apache, a plain request states what the server sends and the client's
// call states what the program makes of it.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "client/WebDAVClient.h"
#include "platform/HttpRequest.h"
#include "support/DavServer.h"
#include "support/Scenario.h"

namespace ostrel {
namespace {

using test::errorOf;

class Lighttpd : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        dav = &test::sharedServer("lighttpd", GetParam());
        client = test::loggedOnClient(*dav);
    }

    WebDAVClient connected() const { return test::loggedOnClient(*dav); }
    std::string displayNameOf(const std::string& resource) { return test::displayNameOf(client, resource); }

    // One request outside the client, to show what the server itself answers.
    HttpRequest raw(const std::string& method, const std::string& resource, const std::string& body = "",
                    const std::map<std::string, std::string>& headers = {}) const {
        HttpRequest request;
        request.open(method, dav->url() + "/" + resource, false, "demo", "demo");
        for (const auto& [name, value] : headers) request.setRequestHeader(name, value);
        request.send(body);
        return request;
    }

    test::DavServer* dav = nullptr;
    WebDAVClient client;
};

TEST_P(Lighttpd, DocumentsAreFetchedStoredReplacedAndDeleted) {
    XmlDocument seeded = client.GetDocument("xbrl/config/Document_1.xml");
    ASSERT_TRUE(seeded.hasChildNodes());
    EXPECT_EQ(seeded.documentElement().nodeName(), "taxonomyConfiguration");

    const std::string name = std::string("xbrl/other/stored-") + GetParam() + ".xml";
    EXPECT_FALSE(client.UpdateDocument(name, "<v>1</v>").hasChildNodes()) << "201 Created has no body";
    EXPECT_FALSE(client.UpdateDocument(name, "<v>caf\xC3\xA9 2</v>").hasChildNodes()) << "204 on replace";
    EXPECT_EQ(client.GetDocument(name).text(), "caf\xC3\xA9 2");

    client.DeleteDocument(name);
    EXPECT_EQ(errorOf([&] { client.GetDocument(name); }).substr(0, 23), "ProcessDoc | Not Found\r");
    // lighttpd's error pages are XHTML that name an external DTD; the client passes them on as text.
    EXPECT_TRUE(errorOf([&] { client.UpdateDocument("missing/parent/a.xml", "<a/>"); })
                    .starts_with(dav->url() +
                                 "/missing/parent/a.xml | Action is inappropriate\r\n"
                                 "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n<!DOCTYPE html"));
    // lighttpd closes the connection after a reply to a PUT whose body it did not take: after each
    // authentication challenge to a PUT (three here) and after the refusal above (Apache keeps all of them
    // open). The client opens a new one and carries on.
    EXPECT_TRUE(client.GetDocument("xbrl/config/Document_1.xml").hasChildNodes());
    EXPECT_EQ(client.ConnectionsOpened(), std::string(GetParam()) == "none" ? 2 : 5);
}

TEST_P(Lighttpd, CollectionsCopiesAndMoves) {
    const std::string collection = std::string("coll-") + GetParam();
    EXPECT_FALSE(client.MakeCollection(collection).hasChildNodes());
    EXPECT_EQ(errorOf([&] { client.MakeCollection(collection); }).substr(0, 32),
              "ProcessDoc | Method Not Allowed\r");

    const std::string copy = collection + "/copy.xml";
    client.CopyResource("xbrl/config/Document_2.xml", copy);
    EXPECT_EQ(client.GetDocument(copy).xml(), client.GetDocument("xbrl/config/Document_2.xml").xml());
    EXPECT_EQ(displayNameOf(copy), "Document_2.xml") << "dead properties travel with a copy";
    EXPECT_EQ(errorOf([&] { client.CopyResource("xbrl/config/Document_2.xml", copy); }),
              "CopyResource | Copy failed: 412: Precondition Failed");

    const std::string moved = collection + "/moved.xml";
    client.MoveResource(copy, dav->url() + "/" + moved, false);
    EXPECT_TRUE(client.GetDocument(moved).hasChildNodes());
    EXPECT_EQ(errorOf([&] { client.GetDocument(copy); }).substr(0, 22), "ProcessDoc | Not Found");
    client.MoveResource(moved, copy, true);
    EXPECT_TRUE(client.GetDocument(moved).hasChildNodes()) << "bCopy leaves the source";
    EXPECT_TRUE(client.GetDocument(copy).hasChildNodes());

    // The program's fixed copy target has no port. lighttpd takes a Destination on another host or port as
    // one it would have to forward and refuses it with 502 (Apache ignores the port and resolves it
    // locally); with its own port the same URL reaches the server, which will not copy a document onto a
    // URL ending in "/" (409).
    EXPECT_EQ(errorOf([&] { client.CopyResource(copy, "http://127.0.0.1/WebDAV Folder/"); }),
              "CopyResource | Copy failed: 502: Bad Gateway");
    const std::string ownPort = "http://127.0.0.1:" + std::to_string(dav->port()) + "/WebDAV Folder/";
    EXPECT_EQ(raw("COPY", copy, "", {{"Destination", ownPort}, {"Overwrite", "F"}}).status(), 409);
    EXPECT_EQ(errorOf([&] { client.CopyResource(copy, ownPort); }),
              "CopyResource | Copy failed: 409: Conflict");
}

TEST_P(Lighttpd, PropertiesAreListedReadAndUpdated) {
    // lighttpd names its live properties without a namespace in a propname reply (only the dead
    // displayname is in DAV:), so they cannot be found as DAV: properties.
    XmlDocument names = client.GetAllPropertyNames("xbrl/config/Document_1.xml");
    names.setProperty("SelectionNamespaces", "xmlns:d='DAV:'");
    EXPECT_FALSE(names.selectSingleNode("//d:prop/d:getcontentlength"));
    EXPECT_TRUE(names.selectSingleNode("//d:prop/getcontentlength"));
    EXPECT_TRUE(names.selectSingleNode("//d:prop/d:displayname"));

    XmlDocument all = client.GetAllProperties("xbrl/config/Document_1.xml");
    all.setProperty("SelectionNamespaces", "xmlns:d='DAV:'");
    EXPECT_EQ(all.selectSingleNode("//d:getcontenttype").text(), "text/xml");
    EXPECT_EQ(displayNameOf("xbrl/config/Document_1.xml"), "Document_1.xml");
    EXPECT_EQ(displayNameOf("xbrl/config"), "/config");
    // Without a Depth header lighttpd answers for the whole subtree (the script enables this; by default it
    // refuses with 403), which the collection listing relies on.
    XmlDocument listing = client.FindPropertyByName("xbrl/config", "displayname");
    listing.setProperty("SelectionNamespaces", "xmlns:d='DAV:'");
    EXPECT_EQ(listing.selectNodes("//d:response/d:href").length(), 3u);
    EXPECT_EQ(client.LastReferencedResource(), "xbrl/config");

    const std::string target = std::string("xbrl/other/props-") + GetParam() + ".xml";
    client.UpdateDocument(target, "<p/>");
    // An unescaped "&" makes the body ill-formed; lighttpd's 400 page is namespaced XHTML, well-formed, and
    // comes back as the reply document.
    XmlDocument refused =
        client.PropertyUpdate(target, "o:reviewer", "Ann & co", "xmlns:o='urn:ostrel:test'");
    refused.setProperty("SelectionNamespaces", "xmlns:h='http://www.w3.org/1999/xhtml'");
    EXPECT_EQ(refused.selectSingleNode("/h:html/h:head/h:title").text(), "400 Bad Request");

    // lighttpd stores the property and answers 204 without a body (Apache: 207 with a propstat), so the
    // client reports a failure although the update took effect.
    EXPECT_EQ(errorOf([&] {
                  client.PropertyUpdate(target, "o:reviewer", "Ann &amp; co", "xmlns:o='urn:ostrel:test'");
              }),
              "PropertyUpdate | Failed to load response\r\n");
    const std::string query =
        "<?xml version='1.0'?><propfind xmlns='DAV:' xmlns:o='urn:ostrel:test'><prop><o:reviewer/></prop>"
        "</propfind>";
    XmlDocument readBack = client.PropertyFind(query, target);
    readBack.setProperty("SelectionNamespaces", "xmlns:o='urn:ostrel:test'");
    EXPECT_EQ(readBack.selectSingleNode("//o:reviewer").text(), "Ann & co");
    const std::string update =
        "<?xml version='1.0'?><propertyupdate xmlns='DAV:' xmlns:o='urn:ostrel:test'><set><prop>"
        "<o:reviewer>Bo</o:reviewer></prop></set></propertyupdate>";
    HttpRequest patched = raw("PROPPATCH", target, update, {{"Content-Type", "text/xml"}});
    EXPECT_EQ(patched.status(), 204);
    EXPECT_TRUE(patched.responseBody().empty());

    // A protected property is refused in a 207 whose elements use the undeclared prefix "DAV:"; such a
    // body is not namespace-well-formed, and the client reports it as unreadable.
    const std::string protectedProperty = errorOf([&] { client.PropertyUpdate(target, "getetag", "x"); });
    EXPECT_TRUE(protectedProperty.starts_with("PropertyUpdate | Failed to load response\r\n<?xml"));
    EXPECT_NE(protectedProperty.find("<D:error><DAV:cannot-modify-protected-property/></D:error>"),
              std::string::npos);
}

TEST_P(Lighttpd, LocksGuardWritesUntilUnlocked) {
    const std::string doc = std::string("xbrl/other/locked-") + GetParam() + ".xml";
    client.UpdateDocument(doc, "<v>0</v>");
    client.LockResource(doc);
    // lighttpd's tokens are urn:uuid: URIs. Its LOCK reply has two hrefs, the token's and then the lock
    // root's; the client takes the first.
    const std::string token = client.opaquetoken();
    ASSERT_TRUE(token.starts_with("<urn:uuid:")) << token;
    ASSERT_TRUE(token.ends_with(">"));
    EXPECT_EQ(errorOf([&] { client.LockResource(doc); }), "LockResource | Document is already locked");
    EXPECT_EQ(client.opaquetoken(), token);

    WebDAVClient other = connected();  // another client that does not hold the token
    EXPECT_EQ(errorOf([&] { other.UpdateDocument(doc, "<v>1</v>"); }),
              dav->url() + "/" + doc + " | Resource has been locked");
    // A wrong token gets 423 here, where Apache answers 412.
    EXPECT_EQ(errorOf([&] { other.UpdateDocument(doc, "<v>1</v>", "<urn:uuid:0-0-0-0-0>"); }),
              dav->url() + "/" + doc + " | Resource has been locked");
    XmlDocument discovery = other.FindPropertyByName(doc, "lockdiscovery");
    discovery.setProperty("SelectionNamespaces", "xmlns:d='DAV:'");
    const XmlNode locktoken = discovery.selectSingleNode("//d:locktoken");
    ASSERT_TRUE(locktoken);
    EXPECT_EQ("<" + locktoken.firstChild().text() + ">", token) << "the token can be recovered by anyone";

    client.UpdateDocument(doc, "<v>2</v>", token);
    EXPECT_EQ(other.GetDocument(doc).text(), "2");
    client.UnlockResource(doc);
    EXPECT_EQ(errorOf([&] { client.UnlockResource(doc); }), "UnlockResource | Failed to unlock resource");
    EXPECT_EQ(client.opaquetoken(), token);
    // The second UNLOCK gets 409 with a body whose prefixes are undeclared (Apache: 400).
    HttpRequest again = raw("UNLOCK", doc, "", {{"Lock-Token", token}});
    EXPECT_EQ(again.status(), 409);
    const std::string undeclared = "\n<D:error><DAV:lock-token-matches-request-uri/></D:error>\n";
    EXPECT_TRUE(again.responseText().ends_with(undeclared)) << again.responseText();
    other.UpdateDocument(doc, "<v>3</v>");
    EXPECT_EQ(client.GetDocument(doc).text(), "3");

    // The LOCK reply itself: the token's href comes first, the lock root's second (Apache sends only the
    // first), and the Lock-Token header carries the same token.
    const std::string second = std::string("xbrl/other/locked-") + GetParam() + "-2.xml";
    client.UpdateDocument(second, "<v/>");
    HttpRequest lock = raw("LOCK", second,
                           "<?xml version='1.0'?><lockinfo xmlns='DAV:'><lockscope><exclusive/></lockscope>"
                           "<locktype><write/></locktype></lockinfo>",
                           {{"Content-Type", "text/xml"}});
    EXPECT_EQ(lock.status(), 200);
    XmlDocument granted = lock.responseXML();
    granted.setProperty("SelectionNamespaces", "xmlns:d='DAV:'");
    const XmlNodeList hrefs = granted.selectNodes("//d:href");
    ASSERT_EQ(hrefs.length(), 2u);
    EXPECT_EQ("<" + hrefs.item(0).text() + ">", lock.getResponseHeader("Lock-Token"));
    EXPECT_EQ(hrefs.item(1).text(), "/ostrelwebdavserver/" + second);
    client.UnlockResource(second, lock.getResponseHeader("Lock-Token"));
    EXPECT_EQ(client.opaquetoken(), token) << "a given token is used, not kept";

    // A lock on a member does not guard its collection: lighttpd moves the collection of a locked document
    // (Apache refuses with 424), the client reports success, and the lock is gone.
    const std::string folder = std::string("held-") + GetParam();
    other.MakeCollection(folder);
    other.UpdateDocument(folder + "/a.xml", "<a/>");
    other.LockResource(folder + "/a.xml");
    EXPECT_EQ(errorOf([&] { client.MoveResource(folder, folder + "-moved", false); }), "no error");
    XmlDocument afterMove = client.FindPropertyByName(folder + "-moved/a.xml", "lockdiscovery");
    afterMove.setProperty("SelectionNamespaces", "xmlns:d='DAV:'");
    EXPECT_TRUE(afterMove.selectSingleNode("//d:lockdiscovery"));
    EXPECT_FALSE(afterMove.selectSingleNode("//d:locktoken"));
    client.UpdateDocument(folder + "-moved/a.xml", "<b/>");
}

INSTANTIATE_TEST_SUITE_P(Auth, Lighttpd, ::testing::Values("none", "basic", "digest"));

}  // namespace
}  // namespace ostrel
