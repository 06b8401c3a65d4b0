// Feeds arbitrary server replies through everything the program does with one: decoding the body by its
// charset, parsing it as octets (what a reply shown in the viewer goes through) and as decoded text (what
// a lock, a property search or a listing goes through), the lock-token and display-name extraction, the
// listing and picking rules of the main window, and the node walks of the viewer.
//
// Input layout: the first byte chooses the reply's Content-Type (low four bits, see kContentTypes) and an
// extra resource field for the listing rules (bits 4-5, see kExtraFields) and the size of the pieces the
// listing's reader is fed (bits 6-7, see kPieces); the rest is the body. With
// Content-Type choice 15 the body's first line (up to a newline, at most 200 bytes) is itself the
// Content-Type value and the body starts after it. In the seed corpus the selector is a printable
// character: '0'..'?' pick Content-Types 0..15 with extra field 3, '@'..'O' the same with extra field 0,
// 'P'..'_' with extra field 1.
//
// Every check below is a property that callers rely on; a failed one aborts with a message so that
// libFuzzer records the input.

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "client/Listing.h"
#include "client/Replies.h"
#include "platform/MultistatusReader.h"
#include "platform/TextCodec.h"
#include "platform/XmlDocument.h"
#include "ui/Browsing.h"
#include "ui/Text.h"

namespace {

using ostrel::XmlDocument;
using ostrel::XmlNode;
using ostrel::XmlNodeList;
using ostrel::XmlNodeType;

[[noreturn]] void fail(const char* what, std::string_view detail = {}) {
    std::fprintf(stderr, "\n*** reply_fuzzer invariant broken: %s\n", what);
    if (!detail.empty()) {
        const std::size_t shown = std::min<std::size_t>(detail.size(), 400);
        std::fprintf(stderr, "*** detail (%zu bytes): %.*s\n", detail.size(), static_cast<int>(shown),
                     detail.data());
    }
    std::abort();
}

void check(bool condition, const char* what, std::string_view detail = {}) {
    if (!condition) fail(what, detail);
}

constexpr std::array<std::string_view, 15> kContentTypes = {
    "",  // no Content-Type header at all
    "text/xml; charset=utf-8",
    "application/xml",
    "text/xml; charset=\"UTF-8\"",
    "text/xml; charset=ISO-8859-1",
    "text/xml; charset=utf-16",
    "application/xml;charset=UTF-16LE",
    "text/xml; charset=UTF-16BE",
    "text/html; charset=iso-8859-1",
    "text/html",
    "text/plain; charset=windows-1252",
    "text/xml; charset=us-ascii",
    "text/xml; charset=x-no-such-charset",
    "text/xml; Charset = \"Shift_JIS\"",
    "application/xml; charset=utf-32",
};

constexpr std::array<const char*, 4> kExtraFields = {"   ", "xbrl/config/Instance.xml", "/", "xbrl/"};
constexpr std::array<std::size_t, 4> kPieces = {1, 3, 64, std::size_t(-1)};

// Independent of the product's own validator on purpose: RFC 3629, no overlong forms, no surrogates.
bool isValidUtf8(std::string_view s) {
    std::size_t i = 0;
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    while (i < s.size()) {
        const unsigned char c = at(i);
        std::size_t n;
        std::uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            n = 2;
            cp = c & 0x1Fu;
        } else if ((c & 0xF0) == 0xE0) {
            n = 3;
            cp = c & 0x0Fu;
        } else if ((c & 0xF8) == 0xF0) {
            n = 4;
            cp = c & 0x07u;
        } else {
            return false;
        }
        if (s.size() - i < n) return false;
        for (std::size_t k = 1; k < n; ++k) {
            if ((at(i + k) & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (at(i + k) & 0x3Fu);
        }
        if ((n == 2 && cp < 0x80) || (n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000)) return false;
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += n;
    }
    return true;
}

bool isXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isBlank(std::string_view s) {
    return std::all_of(s.begin(), s.end(), isXmlSpace);
}

void checkText(std::string_view s, const char* what) {
    check(s.find('\0') == std::string_view::npos, what, s);
    check(isValidUtf8(s), what, s);
}

// A line of /etc/passwd, if there is one: it must never appear in a parsed reply that does not itself
// contain it (external entities are never read).
std::string gPasswdLine;

// ---------------------------------------------------------------------------------------------------------
// Decoding

std::string decodeAndCheck(std::string_view body, std::string_view charset) {
    std::string decoded = ostrel::text::decodeToUtf8(body, charset);
    check(isValidUtf8(decoded), "decodeToUtf8 output is valid UTF-8", decoded);
    // Already valid text passes the cleaner untouched.
    check(ostrel::text::toValidUtf8(decoded) == decoded, "toValidUtf8 keeps valid UTF-8 as it is", decoded);
    return decoded;
}

// The decoder converts through a fixed-size buffer, which ordinary inputs never fill. A single-byte
// charset maps every byte on its own, so a long repetition must decode to the repeated decoding, however
// the chunks fall.
void checkLongDecoding(std::string_view body) {
    if (body.empty()) return;
    const std::string once = ostrel::text::decodeToUtf8(body, "iso-8859-1");
    const std::size_t copies = 20000 / body.size() + 2;
    std::string repeated;
    std::string expected;
    repeated.reserve(copies * body.size());
    expected.reserve(copies * once.size());
    for (std::size_t i = 0; i < copies; ++i) {
        repeated += body;
        expected += once;
    }
    check(ostrel::text::decodeToUtf8(repeated, "iso-8859-1") == expected,
          "a long single-byte text decodes piece by piece");
}

void checkDecoding(std::string_view body) {
    const std::string cleaned = ostrel::text::toValidUtf8(body);
    check(isValidUtf8(cleaned), "toValidUtf8 output is valid UTF-8", cleaned);
    // Each byte is kept or becomes one U+FFFD (three bytes).
    check(cleaned.size() >= body.size() && cleaned.size() <= 3 * body.size(), "toValidUtf8 output size");
    if (isValidUtf8(body)) {
        check(cleaned == body, "toValidUtf8 of valid UTF-8 is the identity");
        if (!body.starts_with("\xEF\xBB\xBF")) {
            check(ostrel::text::decodeToUtf8(body, "") == body,
                  "valid UTF-8 without a byte-order mark decodes to itself");
        }
    }
}

// ---------------------------------------------------------------------------------------------------------
// Tree walks

struct WalkBudget {
    int nodes = 3000;    // nodes visited at all
    int expensive = 48;  // nodes whose text() and xml() are taken (both cost the size of the subtree)
};

void checkChildren(const XmlNode& node, const XmlNodeList& children) {
    check(node.hasChildNodes() == (children.length() > 0), "hasChildNodes agrees with childNodes");
    check(node.firstChild() == children.item(0), "firstChild is the first of childNodes");
    check(!children.item(children.length()), "item past the end is the empty reference");
    XmlNode previous;
    for (const XmlNode child : children) {
        check(static_cast<bool>(child), "childNodes holds no empty reference");
        check(child.parentNode() == node, "a child's parent is the node it was listed under");
        if (previous) check(previous.nextSibling() == child, "nextSibling follows childNodes order");
        previous = child;
    }
    if (previous) check(!previous.nextSibling(), "the last child has no next sibling");
}

void checkAttributes(const XmlNode& element) {
    const XmlNodeList attributes = element.attributes();
    if (element.nodeType() != XmlNodeType::Element) {
        check(attributes.length() == 0, "only elements have attributes");
        return;
    }
    int seen = 0;
    for (const XmlNode attribute : attributes) {
        if (++seen > 64) break;
        check(attribute.nodeType() == XmlNodeType::Attribute, "attributes() lists attribute nodes");
        check(!attribute.parentNode() && !attribute.nextSibling(), "an attribute is outside the child tree");
        check(!attribute.hasChildNodes(), "an attribute shows no child nodes");
        const std::string name = attribute.nodeName();
        const std::string value = attribute.text();
        checkText(name, "attribute name is clean UTF-8");
        checkText(value, "attribute value is clean UTF-8");
        // Entity references in a value are never expanded either, so the value cannot be longer than the
        // attribute written out (which keeps references as they are and only adds escapes).
        check(value.size() <= attribute.xml().size(), "an attribute value expands no entity", value);
    }
    for (const auto& [prefix, uri] : element.namespaceDeclarations()) {
        checkText(prefix, "namespace prefix is clean UTF-8");
        checkText(uri, "namespace URI is clean UTF-8");
    }
}

void checkNode(const XmlNode& node, WalkBudget& budget) {
    const XmlNodeType type = node.nodeType();
    const std::string name = node.nodeName();
    const std::string local = node.localName();
    checkText(name, "node name is clean UTF-8");
    checkText(node.namespaceURI(), "namespace URI is clean UTF-8");
    switch (type) {
        case XmlNodeType::Element:
            check(!local.empty(), "an element has a local name");
            check(name == local || (name.size() > local.size() + 1 && name.ends_with(":" + local)),
                  "an element's qualified name ends with its local name", name);
            break;
        case XmlNodeType::Text:
            check(name == "#text", "a text node is named #text");
            break;
        case XmlNodeType::Comment:
            check(name == "#comment", "a comment is named #comment");
            break;
        case XmlNodeType::EntityReference:
            // Entities are never expanded: a reference has nothing below it and no text.
            check(!node.hasChildNodes() && node.text().empty(), "an entity reference stays unexpanded");
            break;
        case XmlNodeType::None:
        case XmlNodeType::Document:
        case XmlNodeType::Attribute:
            fail("a child node has the type of a document, an attribute or none");
        default:
            break;
    }
    if (budget.expensive > 0) {
        --budget.expensive;
        const std::string text = node.text();
        checkText(text, "node text is clean UTF-8");
        if (type == XmlNodeType::Element && !text.empty()) {
            check(!isXmlSpace(text.front()) && !isXmlSpace(text.back()), "element text is trimmed", text);
        }
        checkText(node.xml(), "node serialisation is clean UTF-8");
    }
    checkAttributes(node);
}

void walk(const XmlDocument& doc) {
    const XmlNodeList top = doc.childNodes();
    check(doc.hasChildNodes() == (top.length() > 0), "document hasChildNodes agrees with childNodes");
    check(doc.firstChild() == top.item(0), "document firstChild is the first of childNodes");
    const XmlNode root = doc.documentElement();
    if (doc.hasChildNodes()) {
        check(root.nodeType() == XmlNodeType::Element, "a loaded document has a document element");
        check(std::find(top.begin(), top.end(), root) != top.end(),
              "the document element is a child of the document");
    } else {
        check(!root, "an empty document has no document element");
        check(doc.text().empty(), "an empty document has no text");
    }

    WalkBudget budget;
    std::vector<XmlNode> stack(top.begin(), top.end());
    std::reverse(stack.begin(), stack.end());
    while (!stack.empty() && budget.nodes-- > 0) {
        const XmlNode node = stack.back();
        stack.pop_back();
        checkNode(node, budget);
        const XmlNodeList children = node.childNodes();
        checkChildren(node, children);
        for (std::size_t i = children.length(); i-- > 0;) stack.push_back(children.item(i));
    }
}

// Is some ancestor of node marked xml:space="preserve"?
bool preserved(XmlNode node) {
    for (int depth = 0; node && depth < 1000; ++depth, node = node.parentNode()) {
        for (const XmlNode attribute : node.attributes())
            if (attribute.nodeName() == "xml:space" && attribute.text() == "preserve") return true;
    }
    return false;
}

void checkSelections(XmlDocument& doc) {
    doc.setProperty("SelectionNamespaces", "xmlns:d='DAV:' xmlns:x=\"urn:x\"");
    check(doc.selectNodes("//namespace::*").length() == 0, "namespace nodes are never selected");
    check(doc.selectNodes("count(//*)").length() == 0, "a number selects no nodes");
    check(!doc.selectSingleNode("string(/)"), "a string selects no node");

    int seen = 0;
    for (const XmlNode attribute : doc.selectNodes("//@*")) {
        if (++seen > 256) break;
        check(attribute.nodeType() == XmlNodeType::Attribute, "//@* selects attributes");
    }
    seen = 0;
    for (const XmlNode text : doc.selectNodes("//text()")) {
        if (++seen > 256) break;
        check(text.nodeType() == XmlNodeType::Text || text.nodeType() == XmlNodeType::CData,
              "//text() selects text");
        if (text.nodeType() == XmlNodeType::Text && isBlank(text.text())) {
            check(preserved(text.parentNode()), "blank text survives only under xml:space=\"preserve\"");
        }
    }
    const XmlNodeList davElements = doc.selectNodes("//d:*");
    seen = 0;
    for (const XmlNode element : davElements) {
        if (++seen > 256) break;
        check(element.namespaceURI() == "DAV:", "d:* selects DAV: elements only", element.nodeName());
    }
    check(doc.selectSingleNode("//d:*") == davElements.item(0),
          "selectSingleNode is the first of selectNodes");
}

// ---------------------------------------------------------------------------------------------------------
// What the client and the main window read from a reply

void checkReplies(XmlDocument& reply) {
    const bool loaded = reply.hasChildNodes();

    // LockResource: the first DAV:href is the new lock's token, shown as "<token>".
    const XmlNode href = ostrel::replies::firstDavHref(reply);
    if (href) {
        check(href.localName() == "href" && href.namespaceURI() == "DAV:", "firstDavHref is a DAV:href");
        const std::string token = "<" + href.text() + ">";
        checkText(token, "lock token text is clean UTF-8 without NUL");
    }
    check(href == reply.selectSingleNode("//d:href"), "firstDavHref is the first DAV:href");

    // OpaqueToken: the first DAV:locktoken of the lock discovery, its first child holding the token.
    const XmlNode locktoken = ostrel::replies::firstLockToken(reply);
    if (locktoken) {
        check(locktoken.localName() == "locktoken" && locktoken.namespaceURI() == "DAV:",
              "firstLockToken is a DAV:locktoken");
        const XmlNode first = locktoken.firstChild();
        if (first) checkText("<" + first.text() + ">", "recovered lock token is clean UTF-8 without NUL");
    }

    // Get resources: display names, then the listing rules for each kind of resource field.
    const std::vector<std::string> names = ostrel::replies::displayNames(reply);
    check(names.size() == reply.selectNodes("//d:displayname").length(), "one name per DAV:displayname");
    for (const std::string& name : names) checkText(name, "display name is clean UTF-8");
    if (!loaded) {
        check(!href && !locktoken && names.empty(), "an empty document yields no token and no names");
    }
}

// The members a loaded multistatus names, walked as the tree it is: what the listing's reader, which never
// builds the tree, must agree with.
std::vector<ostrel::CollectionMember> membersOfTree(XmlDocument& reply, std::string_view self) {
    using ostrel::replies::davChild;
    std::vector<ostrel::CollectionMember> members;
    const XmlNode root = reply.documentElement();
    if (!root.isElement("multistatus", "DAV:")) return members;
    for (XmlNode response = root.firstChild(); response; response = response.nextSibling()) {
        if (!response.isElement("response", "DAV:")) continue;
        ostrel::MultistatusResponse read{davChild(response, "href").text(), "", false};
        bool hasPropstat = false;
        ostrel::replies::forEachPropstat(root, [&](const XmlNode& owner, const XmlNode& prop, bool success) {
            if (owner != response) return;
            hasPropstat = true;
            if (!success) return;
            if (const XmlNode name = davChild(prop, "displayname"); name && read.displayName.empty())
                read.displayName = name.text();
            if (const XmlNode type = davChild(prop, "resourcetype"))
                read.collection = read.collection || davChild(type, "collection");
        });
        if (!hasPropstat) continue;
        if (std::optional<ostrel::CollectionMember> member = ostrel::memberOf(read, self))
            members.push_back(std::move(*member));
    }
    return members;
}

// The listing's reading: the reply's text fed to the reader in pieces of the given size, and where that
// fails once more in one piece, as the client does.
std::vector<ostrel::CollectionMember> membersRead(std::string_view text, std::size_t piece,
                                                  bool& wellFormed) {
    std::vector<ostrel::CollectionMember> members;
    ostrel::MultistatusReader reader(
        [&](ostrel::MultistatusResponse& response) {
            if (std::optional<ostrel::CollectionMember> member = ostrel::memberOf(response, "/dav/c"))
                members.push_back(std::move(*member));
        },
        [&] { members.clear(); });
    for (std::size_t at = 0; at < text.size(); at += piece) reader.feed(text.substr(at, piece));
    wellFormed = reader.finish();
    if (!wellFormed) {
        reader.restart();
        reader.feed(text);
        wellFormed = reader.finish();
    }
    return members;
}

bool sameMembers(const std::vector<ostrel::CollectionMember>& a,
                 const std::vector<ostrel::CollectionMember>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.name == y.name && x.collection == y.collection;
    });
}

void checkListing(const std::vector<ostrel::CollectionMember>& members, const std::string& field) {
    const std::vector<std::string> entries = ostrel::browsing::listing(field, members);
    check(entries.size() <= members.size(), "a listing has no more entries than members");
    const std::string trimmed = ostrel::ui::trimBlanks(field);
    for (const std::string& entry : entries) {
        if (trimmed.empty()) {
            check(entry.find("administration") == std::string::npos, "the root listing stops before admin");
        } else if (field.find('/') != std::string::npos) {
            check(entry.find(".xml") != std::string::npos, "a deep listing holds documents only", entry);
        }
    }

    // The user clicks a few entries in turn, as in the main window: the field follows each pick.
    std::string current = field;
    std::string lastPicked;
    const std::size_t clicks = std::min<std::size_t>(entries.size(), 3);
    for (std::size_t i = 0; i < clicks; ++i) {
        const std::string& entry = entries[i];
        const ostrel::browsing::Picked picked = ostrel::browsing::pick(current, lastPicked, entry);
        check(picked.field.ends_with(entry), "a picked entry ends the resource field", picked.field);
        if (current == lastPicked) {
            check(picked.field == entry && picked.lastPicked == entry, "a pick after a pick replaces it");
        } else {
            check(picked.lastPicked == lastPicked, "joining an entry keeps the last pick");
        }
        current = picked.field;
        lastPicked = picked.lastPicked;
    }
    // Listing the picked collection again is how the user walks down the tree.
    (void)ostrel::browsing::listing(current, members);
}

// Two trees are the same: node types, names, namespaces, attributes and the text of leaves, in order. The
// walk stops after a bounded number of nodes; the children of a DOCTYPE (declarations) are not compared.
void checkSameTree(const XmlDocument& expected, const XmlDocument& actual, const char* what) {
    std::vector<std::pair<XmlNodeList, XmlNodeList>> stack;
    stack.emplace_back(expected.childNodes(), actual.childNodes());
    int budget = 3000;
    while (!stack.empty() && budget > 0) {
        const auto [left, right] = std::move(stack.back());
        stack.pop_back();
        const std::string detail = left.item(0).parentNode().xml().substr(0, 300);
        check(left.length() == right.length(), what, detail);
        for (std::size_t i = 0; i < left.length() && budget-- > 0; ++i) {
            const XmlNode a = left.item(i);
            const XmlNode b = right.item(i);
            check(a.nodeType() == b.nodeType() && a.nodeName() == b.nodeName() &&
                      a.namespaceURI() == b.namespaceURI(),
                  what, a.nodeName() + " / " + b.nodeName());
            if (a.nodeType() == XmlNodeType::Other) continue;
            if (!a.hasChildNodes()) check(a.text() == b.text(), what, a.text() + " / " + b.text());
            const XmlNodeList attributesA = a.attributes();
            const XmlNodeList attributesB = b.attributes();
            check(attributesA.length() == attributesB.length(), what, a.xml().substr(0, 300));
            for (std::size_t k = 0; k < attributesA.length() && k < 64; ++k) {
                check(attributesA.item(k).nodeName() == attributesB.item(k).nodeName() &&
                          attributesA.item(k).text() == attributesB.item(k).text(),
                      what, attributesA.item(k).xml() + " / " + attributesB.item(k).xml());
            }
            stack.emplace_back(a.childNodes(), b.childNodes());
        }
    }
}

// Parsing never expands entities, so a serialisation stays within a small factor of the input.
void checkSerialisation(const std::string& xml, std::size_t inputSize, std::string_view input) {
    checkText(xml, "serialised document is clean UTF-8");
    check(xml.size() <= 8 * inputSize + 1024, "serialisation does not outgrow the input (no expansion)");
    if (!gPasswdLine.empty() && input.find(gPasswdLine) == std::string_view::npos) {
        check(xml.find(gPasswdLine) == std::string::npos, "no file content is read into a reply");
    }
}

void quiet(void*, const char*, ...) {}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    xmlInitParser();
    // The product parses with errors and warnings off; this silences the generic channel as well, so that
    // stderr shows only what libFuzzer and the sanitizers say.
    xmlSetGenericErrorFunc(nullptr, quiet);
    std::ifstream passwd("/etc/passwd");
    std::getline(passwd, gPasswdLine);
    if (gPasswdLine.size() < 8) gPasswdLine.clear();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const unsigned selector = data[0];
    std::string_view body(reinterpret_cast<const char*>(data + 1), size - 1);

    std::string contentType;
    if ((selector & 0x0F) < kContentTypes.size()) {
        contentType = kContentTypes[selector & 0x0F];
    } else {
        const std::size_t limit = std::min<std::size_t>(body.size(), 200);
        const std::size_t newline = body.substr(0, limit).find('\n');
        const std::size_t end = newline == std::string_view::npos ? limit : newline;
        contentType = body.substr(0, end);
        body.remove_prefix(std::min(body.size(), end + 1));
    }
    const std::string charset = ostrel::text::charsetOf(contentType);
    check(std::none_of(charset.begin(), charset.end(), [](char c) { return c >= 'A' && c <= 'Z'; }),
          "charsetOf answers in lower case", charset);

    // responseText: the body decoded by the reply's charset; also as if the server had named none.
    checkDecoding(body);
    checkLongDecoding(body);
    const std::string decoded = decodeAndCheck(body, charset);
    const std::string undeclared = decodeAndCheck(body, "");
    if (charset.empty()) check(decoded == undeclared, "no charset decodes as an empty charset");

    // responseXML: the octets themselves, as the viewer and the editor get them.
    {
        XmlDocument doc = XmlDocument::fromBytes(body);
        check(doc.hasChildNodes() == doc.parseError().reason.empty(),
              "a reason is given exactly when fromBytes fails", doc.parseError().reason);
        walk(doc);
        checkSelections(doc);
        checkReplies(doc);
        checkSerialisation(doc.xml(), body.size(), body);
        if (body.empty()) check(!doc.hasChildNodes(), "an empty body is an empty document");
    }

    // loadReply: the decoded text, as LockResource and PropertyFind load it.
    XmlDocument reply;
    reply.setProperty("SelectionLanguage", "XPath");
    const bool loaded = reply.loadXML(decoded);
    check(loaded == reply.hasChildNodes(), "loadXML succeeds exactly when the document has child nodes");
    if (!loaded) {
        check(reply.childNodes().length() == 0 && !reply.firstChild() && !reply.documentElement(),
              "a failed loadXML leaves an empty document");
        check(!reply.parseError().reason.empty(), "a failed loadXML says why");
    } else {
        check(reply.parseError().reason.empty() && reply.parseError().code == 0,
              "a successful loadXML clears the error");
    }
    walk(reply);
    checkReplies(reply);
    checkSelections(reply);

    bool wellFormed = false;
    const std::vector<ostrel::CollectionMember> members =
        membersRead(decoded, kPieces[(selector >> 6) & 3], wellFormed);
    check(wellFormed == loaded, "the listing's reader and a document agree on what is well-formed");
    if (loaded) {
        check(sameMembers(members, membersOfTree(reply, "/dav/c")),
              "the listing's reader finds the members the document holds");
    }
    for (const ostrel::CollectionMember& member : members)
        checkText(member.name, "a member's name is clean UTF-8");
    for (const char* field : {"", "xbrl", "xbrl/config"}) checkListing(members, field);
    checkListing(members, kExtraFields[(selector >> 4) & 3]);

    const std::string xml = reply.xml();
    checkSerialisation(xml, decoded.size(), decoded);
    (void)reply.text();

    if (loaded) {
        // The viewer and the editor read back what the program wrote out (result.xml): it must load
        // again as the very same tree, not merely as some document.
        XmlDocument again;
        check(again.loadXML(xml), "a serialised reply loads again", again.parseError().reason);
        checkSameTree(reply, again, "a serialised reply loads back as the same tree");
        check(again.text() == reply.text(), "a reloaded reply has the same text");
        check(again.xml() == xml, "serialising a reloaded reply gives the same text", again.xml());
    }

    // Reloading a document that already holds a tree gives the same result as a fresh one: nothing of
    // the earlier tree survives a failed load.
    XmlDocument reused;
    check(reused.loadXML("<r xmlns:D='DAV:'><D:href>earlier</D:href><D:displayname>x</D:displayname></r>"),
          "the earlier tree loads");
    reused.setProperty("SelectionNamespaces", "xmlns:d='DAV:'");
    check(reused.loadXML(decoded) == loaded, "a reload succeeds as a fresh load does");
    check(reused.xml() == xml, "a reload gives the same tree as a fresh load", reused.xml());
    if (!loaded) {
        check(!ostrel::replies::firstDavHref(reused) && ostrel::replies::displayNames(reused).empty(),
              "a failed reload leaves no token and no names behind");
    }
    return 0;
}
