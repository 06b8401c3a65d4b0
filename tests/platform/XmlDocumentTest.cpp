#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/MultistatusReader.h"
#include "platform/XmlDocument.h"
#include "platform/XmlParser.h"
#include "platform/XmlStreamParser.h"

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

// The document and the error as XmlDocument reads them whole, in one string.
std::string whole(std::string_view octets, bool text) {
    XmlDocument document;
    if (text) {
        document.loadXML(octets);
    } else {
        document = XmlDocument::fromBytes(octets);
    }
    const XmlParseError& error = document.parseError();
    return document.xml() + "|" + std::to_string(error.code) + " " + error.reason + " " +
           std::to_string(error.line) + ":" + std::to_string(error.column);
}

std::string described(const XmlDocument& document) {
    const XmlParseError& error = document.parseError();
    return document.xml() + "|" + std::to_string(error.code) + " " + error.reason + " " +
           std::to_string(error.line) + ":" + std::to_string(error.column);
}

// White space the parser leaves out as it reads, and what it joins because of that, is put right in one pass
// just as reading the whole text again puts it right; the first error is the same too.
TEST(XmlDocument, ReadInOnePassItIsTheDocumentReadWhole) {
    const std::vector<std::string> cases = {
        "<a> <b> <c/> </b> </a>",
        "<a xml:space='preserve'> <b xml:space='default'> <c/> </b> </a>",
        // A "default" inside a "preserve" comes late: white space left out of a text at a line end, and
        // CDATA sections joined across white space, before it.
        "<r><![CDATA[x]]>\n <![CDATA[y]]><s> \r\n z</s><f xml:space='preserve'><g "
        "xml:space='default'/></f></r>",
        "<r><![CDATA[x]]>\n <![CDATA[y]]><s> \r\n z</s></r>",
        // White space as the first text decides what the parser leaves out after it.
        "<r>&#32;<![CDATA[x]]>\n  <![CDATA[x]]></r>",
        "<!DOCTYPE r [<!ATTLIST e xml:space (default|preserve) 'preserve'>]><r> <e> <x/> </e> </r>",
        "<r><i xml:space='pre&#115;erve'> </i> <j xml:space=' preserve'> </j> x<!--c--> <?p?> </r>",
        "<a>\n",
        "<a><b></a>",
        " ",
        "\xEF\xBB\xBF",
        "<a>caf\xE9 </a>",
        "<a/>junk",
        std::string("<a>\0</a>", 8),
        "<?xml version='1.0' encoding='ISO-8859-1'?><a>caf\xE9</a>",
    };
    struct Whole {
        std::string_view left;
        static int read(void* self, char* buffer, int length) {
            auto& octets = static_cast<Whole*>(self)->left;
            const std::size_t size = std::min(octets.size(), static_cast<std::size_t>(length));
            std::copy_n(octets.data(), size, buffer);
            octets.remove_prefix(size);
            return static_cast<int>(size);
        }
    };
    for (const std::string& c : cases) {
        for (const bool text : {true, false}) {
            Whole octets{std::string_view(c).substr(text && c.starts_with("\xEF\xBB\xBF") ? 3 : 0)};
            xml::Parsed parsed;
            parsed.doc = xml::parseStream(&Whole::read, &octets, text ? xml::Octets::Text : xml::Octets::File,
                                          parsed.error);
            EXPECT_EQ(described(XmlDocument(std::move(parsed))), whole(c, text)) << c;
        }
    }
}

// A document too large to be parsed whole at the end is parsed as its pieces come, whatever their size, and
// is the same; one that is given up half way lets the next one be read.
TEST(XmlDocument, ParsedAsItArrivesItIsTheDocumentReadWhole) {
    std::string body;
    for (int i = 0; body.size() < 100000; ++i) body += "<p n='" + std::to_string(i) + "'> caf\xC3\xA9 </p>\n";
    const std::string late = "<f xml:space='preserve'><g xml:space='default'> </g></f>";
    const std::vector<std::string> documents = {
        "\xEF\xBB\xBF<r>" + body + "</r>",
        "<r><s> \r\n x</s>" + body + late + "</r>",
        "<r>" + body + "caf\xE9 x</r>",
        "<r>" + body + "caf\xC3",
        "<?xml version='1.0' encoding='ISO-8859-1'?><r>" + body + "\xE9</r>",
    };
    for (const std::string& document : documents) {
        for (const bool text : {true, false}) {
            for (const std::size_t piece : {std::size_t(1), std::size_t(7), std::size_t(16384)}) {
                XmlStreamParser parser(text ? XmlStreamParser::Input::Text : XmlStreamParser::Input::Octets);
                for (std::size_t at = 0; at < document.size(); at += piece)
                    parser.push(document.substr(at, piece));
                EXPECT_EQ(described(parser.finish()), whole(document, text)) << document.substr(0, 50);
            }
        }
    }
    auto abandoned = std::make_unique<XmlStreamParser>(XmlStreamParser::Input::Octets);
    abandoned->push(documents[1].substr(0, 90000));
    abandoned.reset();
    XmlStreamParser next(XmlStreamParser::Input::Octets);
    next.push(documents[1]);
    EXPECT_EQ(described(next.finish()), whole(documents[1], false));
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

TEST(XmlDocument, AnElementWithItsNamespacesIsADocumentOfItsOwn) {
    // The document, the path of child indexes from its element down to the copied one, and the copy.
    struct Case {
        const char* document;
        std::vector<int> path;
        const char* copy;
    };
    const Case cases[] = {
        {"<D:multistatus xmlns:D='DAV:' xmlns='urn:d' xmlns:x='urn:x'><D:response><D:href>/a</D:href>"
         "</D:response></D:multistatus>",
         {0, 0},
         "<D:href xmlns:D=\"DAV:\" xmlns=\"urn:d\" xmlns:x=\"urn:x\">/a</D:href>"},
        // The nearest declaration of a prefix is the one in force; the element's own comes first.
        {"<a xmlns:p='urn:outer'><b xmlns:p='urn:inner'><c p:k='1'/></b></a>",
         {0, 0},
         "<c xmlns:p=\"urn:inner\" p:k=\"1\"/>"},
        {"<a xmlns:p='urn:outer'><c xmlns:p='urn:own'><p:d/></c></a>",
         {0},
         "<c xmlns:p=\"urn:own\"><p:d/></c>"},
        // A prefix that only an attribute's value uses is declared too.
        {"<a xmlns:xsi='urn:xsi' xmlns:D='DAV:'><v xsi:type='D:t'/></a>",
         {0},
         "<v xmlns:xsi=\"urn:xsi\" xmlns:D=\"DAV:\" xsi:type=\"D:t\"/>"},
        {"<a xmlns='urn:d'><b xmlns=''><c/></b></a>", {0, 0}, "<c xmlns=\"\"/>"},
        {"<plain><x>1</x></plain>", {0}, "<x>1</x>"},
    };
    for (const Case& c : cases) {
        XmlDocument document;
        ASSERT_TRUE(document.loadXML(c.document)) << c.document;
        const std::string before = document.xml();
        XmlNode node = document.documentElement();
        for (const int index : c.path) node = node.childNodes().item(static_cast<std::size_t>(index));
        const std::string copy = node.xmlWithNamespaces();
        EXPECT_EQ(copy, c.copy) << c.document;
        XmlDocument alone;
        ASSERT_TRUE(alone.loadXML(copy)) << copy;
        EXPECT_EQ(alone.documentElement().namespaceURI(), node.namespaceURI()) << copy;
        EXPECT_EQ(document.xml(), before) << "the shown document is left as it was";
    }
    XmlDocument text;
    ASSERT_TRUE(text.loadXML("<a xmlns:p='urn:p'>t</a>"));
    EXPECT_EQ(text.documentElement().firstChild().xmlWithNamespaces(), "t");
}

// What a listing reads of a multistatus, fed whole and a byte at a time: "href|display name|c" per response
// reported, then "!" when the text is not well-formed.
TEST(MultistatusReader, ReadsEachResponseAsADocumentWouldShowIt) {
    const std::string open = "<D:multistatus xmlns:D='DAV:'>";
    const std::string ok = "<D:status>HTTP/1.1 200 OK</D:status>";
    const std::pair<std::string, std::string> cases[] = {
        // Apache's: the type in one propstat, the display name it lacks in a 404 one, prefixes of its own.
        {open +
             "<D:response xmlns:lp1='DAV:' xmlns:g0='DAV:'><D:href>/d/c/</D:href><D:propstat><D:prop>"
             "<lp1:resourcetype><D:collection/></lp1:resourcetype></D:prop>" +
             ok +
             "</D:propstat><D:propstat>"
             "<D:prop><g0:displayname/></D:prop><D:status>HTTP/1.1 404 Not Found</D:status></D:propstat>"
             "</D:response></D:multistatus>",
         "/d/c/||c"},
        // The first display name with a value in a 2xx propstat; one href; no propstat, no response; only
        // DAV:response directly below the root; another namespace's collection is none.
        {open +
             "<D:response><D:href>/a</D:href><D:href>/b</D:href><D:propstat><D:prop><D:displayname>"
             "refused</D:displayname></D:prop><D:status>HTTP/1.1 403 No</D:status></D:propstat><D:propstat>"
             "<D:prop><D:displayname/></D:prop>" +
             ok +
             "</D:propstat><D:propstat><D:status>200</D:status>"
             "<D:prop><D:displayname>kept</D:displayname><D:resourcetype><x:collection xmlns:x='x:'/>"
             "</D:resourcetype></D:prop></D:propstat></D:response><D:response><D:href>/none</D:href>"
             "<D:status>HTTP/1.1 404</D:status></D:response><D:x><D:response><D:href>/deep</D:href>"
             "<D:propstat/></D:response></D:x></D:multistatus>",
         "/a|kept|"},
        // Text as the tree holds it: white space between markup dropped unless preserved, CDATA kept, a
        // comment adds nothing, ends trimmed; a byte-order mark and a declared encoding do not count.
        {"\xEF\xBB\xBF<?xml version='1.0' encoding='ISO-8859-1'?><multistatus xmlns='DAV:'><response><href>"
         " /caf\xC3\xA9<!--x--><i/> <i/><![CDATA[ b]]> </href><propstat/></response><response "
         "xml:space='preserve'><href>a<i/> <i/>z</href><propstat/></response></multistatus>",
         "/caf\xC3\xA9 b||;a z||"},
        {"<D:error xmlns:D='DAV:'><D:response><D:href>/e</D:href><D:propstat/></D:response></D:error>", ""},
        {open + "<D:response><D:href>/a</D:href><D:propstat/></D:response><D:response>", "/a||;!"},
        // A NUL after the root element ends the text, as it ends a document read whole.
        {open + "<D:response><D:href>/a</D:href><D:propstat/></D:response></D:multistatus>" +
             std::string(1, '\0') + "<x",
         "/a||"},
        {"<D:error><DAV:propfind-finite-depth/></D:error>", "!"},
        // An entity is never expanded, not even into an element of the reply.
        {"<!DOCTYPE m [<!ENTITY e \"<href xmlns='DAV:'>/x</href>\">]>" + open +
             "<D:response>&e;<D:href>/a&e;b</D:href>"
             "<D:propstat/></D:response></D:multistatus>",
         "/ab||"},
    };
    for (const auto& [text, expected] : cases) {
        for (const std::size_t piece : {text.size(), std::size_t(1)}) {
            std::string read;
            MultistatusReader reader([&](MultistatusResponse& r) {
                read += (read.empty() ? "" : ";") + r.href + "|" + r.displayName + "|" +
                        (r.collection ? "c" : "");
            });
            for (std::size_t at = 0; at < text.size(); at += piece) reader.feed(text.substr(at, piece));
            if (!reader.finish()) read += read.empty() ? "!" : ";!";
            EXPECT_EQ(read, expected) << text << " in pieces of " << piece;
        }
    }
}

}  // namespace
}  // namespace ostrel
