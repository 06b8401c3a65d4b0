// One scenario per feature against a real Apache mod_dav server, with and without Digest authentication.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "client/WebDAVClient.h"
#include "support/DavServer.h"
#include "support/Scenario.h"

namespace ostrel {
namespace {

using test::errorOf;

class Apache : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        dav = &test::sharedServer("apache", GetParam());
        client = test::loggedOnClient(*dav);
    }

    WebDAVClient connected() const { return test::loggedOnClient(*dav); }
    std::string displayNameOf(const std::string& resource) { return test::displayNameOf(client, resource); }

    test::DavServer* dav = nullptr;
    WebDAVClient client;
};

TEST_P(Apache, DocumentsAreFetchedStoredReplacedAndDeleted) {
    XmlDocument seeded = client.GetDocument("xbrl/config/Document_1.xml");
    ASSERT_TRUE(seeded.hasChildNodes());
    EXPECT_FALSE(seeded.documentElement().nodeName().empty());

    const std::string name = std::string("xbrl/other/stored-") + GetParam() + ".xml";
    EXPECT_FALSE(client.UpdateDocument(name, "<v>1</v>").hasChildNodes()) << "201 Created has no body";
    EXPECT_FALSE(client.UpdateDocument(name, "<v>caf\xC3\xA9 2</v>").hasChildNodes()) << "204 on replace";
    EXPECT_EQ(client.GetDocument(name).text(), "caf\xC3\xA9 2");

    client.DeleteDocument(name);
    EXPECT_EQ(errorOf([&] { client.GetDocument(name); }).substr(0, 23), "ProcessDoc | Not Found\r");
    EXPECT_TRUE(errorOf([&] {
                    client.UpdateDocument("missing/parent/a.xml", "<a/>");
                }).starts_with(dav->url() + "/missing/parent/a.xml | Action is inappropriate\r\n<!DOCTYPE"));
    EXPECT_EQ(client.ConnectionsOpened(), 1);
}

TEST_P(Apache, CollectionsCopiesAndMoves) {
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
}

TEST_P(Apache, PropertiesAreListedReadAndUpdated) {
    XmlDocument names = client.GetAllPropertyNames("xbrl/config/Document_1.xml");
    names.setProperty("SelectionNamespaces", "xmlns:d='DAV:'");
    EXPECT_TRUE(names.selectSingleNode("//d:prop/d:getcontentlength"));
    EXPECT_TRUE(names.selectSingleNode("//d:prop/d:displayname"));

    XmlDocument all = client.GetAllProperties("xbrl/config/Document_1.xml");
    all.setProperty("SelectionNamespaces", "xmlns:d='DAV:'");
    EXPECT_EQ(all.selectSingleNode("//d:getcontenttype").text(), "text/xml");
    EXPECT_EQ(displayNameOf("xbrl/config/Document_1.xml"), "Document_1.xml");
    EXPECT_EQ(displayNameOf("xbrl/config"), "/config");
    EXPECT_EQ(client.LastReferencedResource(), "xbrl/config");

    const std::string target = std::string("xbrl/other/props-") + GetParam() + ".xml";
    client.UpdateDocument(target, "<p/>");
    // The value goes in as raw markup: an unescaped "&" makes the body ill-formed. Apache's refusal is an
    // HTML page that happens to be well-formed XML, so it comes back as the reply document.
    XmlDocument refused =
        client.PropertyUpdate(target, "o:reviewer", "Ann & co", "xmlns:o='urn:ostrel:test'");
    EXPECT_EQ(refused.selectSingleNode("/html/head/title").text(), "400 Bad Request");
    XmlDocument patched =
        client.PropertyUpdate(target, "o:reviewer", "Ann &amp; co", "xmlns:o='urn:ostrel:test'");
    patched.setProperty("SelectionNamespaces", "xmlns:d='DAV:'");
    EXPECT_EQ(patched.selectSingleNode("//d:status").text(), "HTTP/1.1 200 OK");

    XmlDocument readBack = client.PropertyFind(
        "<?xml version='1.0'?><propfind xmlns='DAV:' "
        "xmlns:o='urn:ostrel:test'><prop><o:reviewer/></prop></propfind>",
        target);
    readBack.setProperty("SelectionNamespaces", "xmlns:o='urn:ostrel:test'");
    EXPECT_EQ(readBack.selectSingleNode("//o:reviewer").text(), "Ann & co");
}

TEST_P(Apache, LocksGuardWritesUntilUnlocked) {
    const std::string doc = std::string("xbrl/other/locked-") + GetParam() + ".xml";
    client.UpdateDocument(doc, "<v>0</v>");
    client.LockResource(doc);
    const std::string token = client.opaquetoken();
    ASSERT_TRUE(token.starts_with("<opaquelocktoken:")) << token;
    ASSERT_TRUE(token.ends_with(">"));
    EXPECT_EQ(errorOf([&] { client.LockResource(doc); }), "LockResource | Document is already locked");
    EXPECT_EQ(client.opaquetoken(), token);

    WebDAVClient other = connected();  // another client that does not hold the token
    EXPECT_EQ(errorOf([&] { other.UpdateDocument(doc, "<v>1</v>"); }),
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
    other.UpdateDocument(doc, "<v>3</v>");
    EXPECT_EQ(client.GetDocument(doc).text(), "3");
}

INSTANTIATE_TEST_SUITE_P(Auth, Apache, ::testing::Values("none", "digest"));

}  // namespace
}  // namespace ostrel
