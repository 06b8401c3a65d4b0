#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/XmlDocument.h"

namespace ostrel {
namespace {

TEST(XmlDocument, HostileDocumentsNeverReadFilesNorExplode) {
    // An external entity naming a local file: the file's content must never reach the tree or a saved file.
    XmlDocument external;
    ASSERT_TRUE(external.loadXML(
        "<?xml version='1.0'?><!DOCTYPE r [<!ENTITY x SYSTEM 'file:///etc/passwd'>]><r>before&x;after</r>"));
    EXPECT_EQ(external.text(), "beforeafter");
    EXPECT_EQ(external.xml().find("root:"), std::string::npos);

    // Billion laughs: refused at once, not expanded.
    std::string laughs = "<?xml version='1.0'?><!DOCTYPE l [<!ENTITY l0 'ha'>";
    for (int i = 1; i <= 10; ++i) {
        laughs += "<!ENTITY l" + std::to_string(i) + " '";
        for (int k = 0; k < 10; ++k) laughs += "&l" + std::to_string(i - 1) + ";";
        laughs += "'>";
    }
    laughs += "]><l>&l10;</l>";
    XmlDocument bomb;
    EXPECT_FALSE(bomb.loadXML(laughs));
    EXPECT_FALSE(bomb.hasChildNodes());
    EXPECT_FALSE(XmlDocument::fromBytes(laughs).hasChildNodes());
}

TEST(XmlDocument, LoadXmlIgnoresDeclaredEncodingAndReportsFailures) {
    XmlDocument doc;
    // UTF-8 text declared as Latin-1: the declaration must not turn "é" into two characters.
    ASSERT_TRUE(doc.loadXML("<?xml version='1.0' encoding='ISO-8859-1'?><a>caf\xC3\xA9</a>"));
    EXPECT_EQ(doc.text(), "caf\xC3\xA9");

    EXPECT_FALSE(doc.loadXML("<a><b></a>"));
    EXPECT_FALSE(doc.hasChildNodes());
    EXPECT_NE(doc.parseError().code, 0);
    EXPECT_FALSE(doc.parseError().reason.empty());

    EXPECT_FALSE(doc.loadXML(""));
    EXPECT_FALSE(doc.hasChildNodes());
    EXPECT_FALSE(doc.loadXML("<html><body>Not found<br></body></html>"));

    // Bytes parsed as a reply honour their declaration instead.
    XmlDocument latin = XmlDocument::fromBytes("<?xml version='1.0' encoding='ISO-8859-1'?><a>caf\xE9</a>");
    EXPECT_EQ(latin.text(), "caf\xC3\xA9");
    EXPECT_FALSE(XmlDocument::fromBytes("").hasChildNodes());
    EXPECT_FALSE(XmlDocument::fromBytes("<html>oops").hasChildNodes());
}

// The parser reads on after its first error; what it finds later (the end of the data, a line further)
// follows from that error and must not stand in for it. The same for text and for a reply's octets.
TEST(XmlDocument, ParseErrorIsTheFirstError) {
    struct Case {
        std::string text;
        int line;
        int column;
        std::string reason;  // what the reason starts with
    };
    const std::vector<Case> cases = {
        {"<a><b></a>", 1, 11, "Opening and ending tag mismatch: b line 1 and a"},
        {"<doc>\n <a>\n  <b>\n   <c x='1' <d/>\n</c></b></a></doc>", 4, 13, "error parsing attribute name"},
        {"<a xmlns='relative'><p:b/></a>", 1, 25, "Namespace prefix p on b is not defined"},
        {"<a>\n&b </a>", 2, 3, "EntityRef: expecting ';'"},
        {"<a>\n", 2, 1, "Premature end of data in tag a line 1"},
    };
    for (const Case& c : cases) {
        XmlDocument text;
        EXPECT_FALSE(text.loadXML(c.text));
        XmlDocument bytes = XmlDocument::fromBytes(c.text);
        for (const XmlParseError& error : {text.parseError(), bytes.parseError()}) {
            EXPECT_EQ(error.line, c.line) << c.text;
            EXPECT_EQ(error.column, c.column) << c.text;
            EXPECT_TRUE(error.reason.starts_with(c.reason)) << c.text << ": " << error.reason;
        }
    }
}

TEST(XmlDocument, PrettyPrintedTreeAndText) {
    XmlDocument doc;
    ASSERT_TRUE(
        doc.loadXML("<?xml version='1.0'?>\n<D:lockdiscovery xmlns:D='DAV:'>\n  <D:locktoken>\n"
                    "    <D:href>opaquelocktoken:1234</D:href>\n  </D:locktoken>\n"
                    "  <mixed>one <b>two</b> three<!-- not text --></mixed>\n"
                    "  <keep xml:space='preserve'>  </keep>\n</D:lockdiscovery>\n"));
    const XmlNode locktoken = doc.documentElement().firstChild();
    EXPECT_EQ(locktoken.nodeName(), "D:locktoken");
    EXPECT_EQ(locktoken.firstChild().nodeName(), "D:href");
    EXPECT_EQ(locktoken.firstChild().text(), "opaquelocktoken:1234");
    EXPECT_EQ(locktoken.nextSibling().text(), "one two three");
    EXPECT_EQ(locktoken.nextSibling().childNodes().length(), 4u) << "text, element, text, comment";
    EXPECT_TRUE(locktoken.nextSibling().nextSibling().hasChildNodes());
    EXPECT_EQ(doc.childNodes().length(), 1u);
}

TEST(XmlDocument, SelectionNamespacesMatchAnyPrefixOrDefaultNamespace) {
    XmlDocument doc;
    ASSERT_TRUE(
        doc.loadXML("<multistatus xmlns='DAV:'><response><displayname>a</displayname></response>"
                    "<X:response xmlns:X='DAV:'><X:displayname>b</X:displayname></X:response>"
                    "<o:displayname xmlns:o='urn:other'>not DAV</o:displayname>"
                    "<z:thing xmlns:z='urn:z'>z</z:thing></multistatus>"));
    doc.setProperty("SelectionLanguage", "XPath");
    doc.setProperty("SelectionNamespaces", "xmlns:d='DAV:'");
    const XmlNodeList names = doc.selectNodes("//d:displayname");
    ASSERT_EQ(names.length(), 2u);
    EXPECT_EQ(names.item(0).text(), "a");
    EXPECT_EQ(names.item(1).text(), "b");
    EXPECT_FALSE(names.item(2));
    EXPECT_FALSE(doc.selectSingleNode("//d:href"));

    doc.setProperty("SelectionNamespaces", "xmlns:d=\"DAV:\"  xmlns:z='urn:z'");
    EXPECT_EQ(doc.selectSingleNode("//z:thing").text(), "z");
    EXPECT_EQ(doc.selectNodes("//d:displayname").length(), 2u);

    EXPECT_THROW(doc.selectNodes("//q:thing"), Error);
    EXPECT_THROW(doc.setProperty("SelectionNamespaces", "d='DAV:'"), Error);
    EXPECT_THROW(doc.setProperty("SelectionLanguage", "XSLPattern"), Error);
}

TEST(XmlDocument, SaveWritesReadableXmlThatLoadsBackEqual) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "ostrel-xml-save-test";
    std::filesystem::remove_all(dir);
    files::makeFolders(dir.string());
    const std::string path = (dir / "result.xml").string();
    files::writeFileAtomically(path, "old content that must be replaced entirely, including this long tail");

    XmlDocument doc;
    ASSERT_TRUE(doc.loadXML("<r a='1'><s>caf\xC3\xA9 &amp; &lt;tag&gt;</s><t/><u><![CDATA[x<y]]></u></r>"));
    doc.save(path);
    const std::string saved = files::readAll(path);
    EXPECT_TRUE(saved.starts_with("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    EXPECT_NE(saved.find("\n  <s>"), std::string::npos) << "indented for reading";

    XmlDocument back;
    ASSERT_TRUE(back.loadXML(saved));
    EXPECT_EQ(back.documentElement().xml(), doc.documentElement().xml());
    EXPECT_EQ(back.text(), "caf\xC3\xA9 & <tag>x<y");

    // Only the final file remains: the temporary sibling was renamed into place.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()),
              1);
    EXPECT_THROW(doc.save((dir / "missing" / "result.xml").string()), Error);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace ostrel

namespace ostrel {
namespace {

TEST(XmlDocument, WhatIsReadAndWrittenIsTheDocumentAsReceived) {
    // An entity in an attribute value is not expanded either: a reply cannot inflate itself through them.
    XmlDocument entities;
    ASSERT_TRUE(
        entities.loadXML("<!DOCTYPE r [<!ENTITY e '0123456789abcdef'>]><r a='x&e;&e;y' b='&amp;&#65;'/>"));
    EXPECT_EQ(entities.documentElement().attributes().item(0).text(), "xy");
    EXPECT_EQ(entities.documentElement().attributes().item(1).text(), "&A");
    EXPECT_EQ(entities.firstChild().nodeType(), XmlNodeType::Other) << "the document type comes first";
    EXPECT_EQ(entities.firstChild().text(), "");

    // A document naming the XHTML DTD is written as XML, without the elements XHTML output rules would add.
    const std::string xhtml =
        "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
        "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\"><html xmlns=\"http://www.w3.org/1999/xhtml\">"
        "<head><title>409 Conflict</title></head><body/></html>";
    XmlDocument page;
    ASSERT_TRUE(page.loadXML(xhtml));
    EXPECT_EQ(page.xml().find("<meta"), std::string::npos) << page.xml();
    EXPECT_EQ(page.documentElement().xml().find("<meta"), std::string::npos);
    const std::string path = (std::filesystem::temp_directory_path() / "ostrel-xhtml-save.xml").string();
    page.save(path);
    EXPECT_EQ(files::readAll(path).find("<meta"), std::string::npos);
    std::filesystem::remove(path);

    // White space is kept for everything inside an element with xml:space="preserve", a nested "default"
    // included; a byte-order mark before text that is already Unicode is not part of it.
    XmlDocument spaces;
    ASSERT_TRUE(
        spaces.loadXML("\xEF\xBB\xBF<a xml:space='preserve'> <b xml:space='default'> <c/> </b> </a>"));
    const XmlNode a = spaces.documentElement();
    EXPECT_EQ(a.childNodes().length(), 3u);
    EXPECT_EQ(a.firstChild().nextSibling().childNodes().length(), 3u);
    XmlDocument plain;
    ASSERT_TRUE(plain.loadXML("<a> <b> <c/> </b> </a>"));
    EXPECT_EQ(plain.documentElement().firstChild().childNodes().length(), 1u);
}

}  // namespace
}  // namespace ostrel
