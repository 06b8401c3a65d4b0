#pragma once

// What the fuzz targets hold the program to. Every check is a property that callers rely on; a broken one
// aborts with a message, so that libFuzzer keeps the input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "client/Listing.h"
#include "client/Replies.h"
#include "platform/TextCodec.h"
#include "platform/TextDecoder.h"
#include "platform/XmlDocument.h"
#include "platform/XmlParser.h"
#include "ui/Browsing.h"
#include "ui/Text.h"

namespace ostrel::fuzz {

[[noreturn]] inline void fail(const char* what, std::string_view detail = {}) {
    std::fprintf(stderr, "\n*** invariant broken: %s\n", what);
    if (!detail.empty()) {
        const std::size_t shown = std::min<std::size_t>(detail.size(), 400);
        std::fprintf(stderr, "*** detail (%zu bytes): %.*s\n", detail.size(), static_cast<int>(shown),
                     detail.data());
    }
    std::abort();
}

inline void check(bool condition, const char* what, std::string_view detail = {}) {
    if (!condition) fail(what, detail);
}

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

inline bool isXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

inline bool isBlank(std::string_view s) {
    return std::all_of(s.begin(), s.end(), isXmlSpace);
}

inline void checkText(std::string_view s, const char* what) {
    check(s.find('\0') == std::string_view::npos, what, s);
    check(isValidUtf8(s), what, s);
}

// The first line of an input (up to a newline, at most 200 bytes), taken off it: the reply's Content-Type.
inline std::string_view takeFirstLine(std::string_view& input) {
    const std::size_t limit = std::min<std::size_t>(input.size(), 200);
    const std::size_t newline = input.substr(0, limit).find('\n');
    const std::size_t end = newline == std::string_view::npos ? limit : newline;
    const std::string_view line = input.substr(0, end);
    input.remove_prefix(std::min(input.size(), end + 1));
    return line;
}

// A line of /etc/passwd, if there is one: it must never appear in a parsed reply that does not itself
// contain it (external entities are never read).
inline const std::string& passwdLine() {
    static const std::string line = [] {
        std::ifstream passwd("/etc/passwd");
        std::string first;
        std::getline(passwd, first);
        return first.size() < 8 ? std::string() : first;
    }();
    return line;
}

// ---------------------------------------------------------------------------------------------------------
// Tree walks

struct WalkBudget {
    int nodes = 3000;    // nodes visited at all
    int expensive = 48;  // nodes whose text() and xml() are taken (both cost the size of the subtree)
};

inline void checkChildren(const XmlNode& node, const XmlNodeList& children) {
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

inline void checkAttributes(const XmlNode& element) {
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

inline void checkNode(const XmlNode& node, WalkBudget& budget) {
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

inline void walk(const XmlDocument& doc) {
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
inline bool preserved(XmlNode node) {
    for (int depth = 0; node && depth < 1000; ++depth, node = node.parentNode()) {
        for (const XmlNode attribute : node.attributes())
            if (attribute.nodeName() == "xml:space" && attribute.text() == "preserve") return true;
    }
    return false;
}

inline void checkSelections(XmlDocument& doc) {
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

// Two trees are the same: node types, names, namespaces, attributes and the text of leaves, in order. The
// walk stops after a bounded number of nodes; the children of a DOCTYPE (declarations) are not compared.
// Read in one pass as the octets arrive, a document is the document and the error that reading them whole
// gives.
inline void checkOnePass(std::string_view octets, const XmlDocument& whole, xml::Octets how) {
    if (octets.empty()) return;  // told apart before any reading
    if (how == xml::Octets::Text && octets.starts_with("\xEF\xBB\xBF")) octets.remove_prefix(3);
    const auto described = [](const XmlDocument& doc) {
        const XmlParseError& error = doc.parseError();
        return doc.xml() + "|" + std::to_string(error.code) + error.reason + std::to_string(error.line) +
               ":" + std::to_string(error.column);
    };
    const auto read = [](void* source, char* buffer, int length) {
        auto& left = *static_cast<std::string_view*>(source);
        const std::size_t size = std::min(left.size(), static_cast<std::size_t>(length));
        std::copy_n(left.data(), size, buffer);
        left.remove_prefix(size);
        return static_cast<int>(size);
    };
    xml::Parsed parsed;
    parsed.doc = xml::parseStream(read, &octets, how, parsed.error);
    const std::string streamed = described(XmlDocument(std::move(parsed)));
    check(streamed == described(whole), "a document read in one pass is the document read whole", streamed);
}

inline void checkSameTree(const XmlDocument& expected, const XmlDocument& actual, const char* what) {
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
inline void checkSerialisation(const std::string& xml, std::size_t inputSize, std::string_view input) {
    checkText(xml, "serialised document is clean UTF-8");
    check(xml.size() <= 8 * inputSize + 1024, "serialisation does not outgrow the input (no expansion)");
    const std::string& passwd = passwdLine();
    if (!passwd.empty() && input.find(passwd) == std::string_view::npos) {
        check(xml.find(passwd) == std::string::npos, "no file content is read into a reply");
    }
}

// ---------------------------------------------------------------------------------------------------------
// What the client and the main window read from a reply

inline void checkReplies(XmlDocument& reply) {
    const bool loaded = reply.hasChildNodes();

    // LockResource: the first DAV:href is the new lock's token, shown as "<token>".
    const XmlNode href = replies::firstDavHref(reply);
    if (href) {
        check(href.localName() == "href" && href.namespaceURI() == "DAV:", "firstDavHref is a DAV:href");
        const std::string token = "<" + href.text() + ">";
        checkText(token, "lock token text is clean UTF-8 without NUL");
    }
    check(href == reply.selectSingleNode("//d:href"), "firstDavHref is the first DAV:href");

    // OpaqueToken: the first DAV:locktoken of the lock discovery, its first child holding the token.
    const XmlNode locktoken = replies::firstLockToken(reply);
    if (locktoken) {
        check(locktoken.localName() == "locktoken" && locktoken.namespaceURI() == "DAV:",
              "firstLockToken is a DAV:locktoken");
        const XmlNode first = locktoken.firstChild();
        if (first) checkText("<" + first.text() + ">", "recovered lock token is clean UTF-8 without NUL");
    }

    // Get resources: display names, then the listing rules for each kind of resource field.
    const std::vector<std::string> names = replies::displayNames(reply);
    check(names.size() == reply.selectNodes("//d:displayname").length(), "one name per DAV:displayname");
    for (const std::string& name : names) checkText(name, "display name is clean UTF-8");
    if (!loaded) {
        check(!href && !locktoken && names.empty(), "an empty document yields no token and no names");
    }
}

inline void checkListing(const std::vector<CollectionMember>& members, const std::string& field) {
    const std::vector<std::string> entries = browsing::listing(field, members);
    check(entries.size() <= members.size(), "a listing has no more entries than members");
    const std::string trimmed = ui::trimBlanks(field);
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
        const browsing::Picked picked = browsing::pick(current, lastPicked, entry);
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
    (void)browsing::listing(current, members);
}

// ---------------------------------------------------------------------------------------------------------
// The text codec

// The charset parameter as decoding gets it: lower case whatever the header's case, and a plain name found
// again whether it stands bare or quoted.
inline std::string checkCharsetOf(std::string_view contentType) {
    const std::string charset = text::charsetOf(contentType);
    check(std::none_of(charset.begin(), charset.end(), [](char c) { return c >= 'A' && c <= 'Z'; }),
          "charsetOf answers in lower case", charset);
    std::string shouted(contentType);
    std::transform(shouted.begin(), shouted.end(), shouted.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    check(text::charsetOf(shouted) == charset, "charsetOf ignores case", contentType);
    std::string name;
    for (const char c : charset) {
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.') name += c;
    }
    check(text::charsetOf("text/xml; charset=" + name) == name, "a bare charset is read whole", name);
    check(text::charsetOf("text/xml;charset=\"" + name + "\"") == name, "a quoted charset is unquoted", name);
    return charset;
}

// What becomes of octets that should be UTF-8: the program's validator agrees with the one above; the
// cleaner's output is valid, keeps each byte or turns it into one U+FFFD, and leaves valid text as it is.
inline void checkCleaning(std::string_view body) {
    const bool valid = isValidUtf8(body);
    check(text::isValidUtf8(body) == valid, "isValidUtf8 follows RFC 3629", body);
    const std::string cleaned = text::toValidUtf8(body);
    check(isValidUtf8(cleaned), "toValidUtf8 output is valid UTF-8", cleaned);
    check(cleaned.size() >= body.size() && cleaned.size() <= 3 * body.size(), "toValidUtf8 output size");
    if (valid) check(cleaned == body, "toValidUtf8 of valid UTF-8 is the identity");
    if (valid && !body.starts_with("\xEF\xBB\xBF")) {
        check(text::decodeToUtf8(body, "") == body,
              "valid UTF-8 without a byte-order mark decodes to itself");
    }
}

// Decoding by a reply's charset gives valid UTF-8 whatever the octets and the name, also when they arrive in
// pieces; a charset that decodes at all decodes as the reply's text does; UTF-8 is always known and no name
// is never a charset.
inline void checkDecoding(std::string_view body, std::string_view charset) {
    const std::string decoded = text::decodeToUtf8(body, charset);
    check(isValidUtf8(decoded), "decodeToUtf8 output is valid UTF-8", decoded);
    std::string pieces;
    text::Decoder decoder(charset, [&pieces](std::string_view text) { pieces += text; });
    const std::size_t piece = 1 + body.size() % 5;
    for (std::size_t at = 0; at < body.size(); at += piece) decoder.push(body.substr(at, piece));
    decoder.finish();
    check(pieces == decoded, "octets decoded as they arrive give the text decoded at once", pieces);
    const std::optional<std::string> named = text::decodeFromCharset(body, charset);
    if (named) check(*named == decoded, "a known charset decodes as decodeToUtf8 does", charset);
    if (text::isUtf8Name(charset)) check(named.has_value(), "UTF-8 is a known charset", charset);
    if (charset.empty()) check(!named, "no name is no charset");
}

// The decoder converts through a fixed-size buffer, which ordinary inputs never fill. A single-byte
// charset maps every byte on its own, so a long repetition must decode to the repeated decoding, however
// the chunks fall.
inline void checkLongDecoding(std::string_view body) {
    if (body.empty()) return;
    const std::string once = text::decodeToUtf8(body, "iso-8859-1");
    const std::size_t copies = 20000 / body.size() + 2;
    std::string repeated;
    std::string expected;
    repeated.reserve(copies * body.size());
    expected.reserve(copies * once.size());
    for (std::size_t i = 0; i < copies; ++i) {
        repeated += body;
        expected += once;
    }
    check(text::decodeToUtf8(repeated, "iso-8859-1") == expected,
          "a long single-byte text decodes piece by piece");
}

// Where a shown text is cut: never past the limit, at most three octets before it (a character's
// continuation octets), and never inside a character of valid text.
inline void checkBoundary(std::string_view body) {
    const bool valid = isValidUtf8(body);
    for (const std::size_t limit : {std::size_t{0}, std::size_t{1}, body.size() / 2, body.size() - 1}) {
        if (limit > body.size()) continue;
        const std::size_t cut = text::utf8Boundary(body, limit);
        check(cut <= limit && cut + 3 >= limit, "a cut falls within three octets before the limit");
        if (valid)
            check(isValidUtf8(body.substr(0, cut)), "a cut keeps whole characters", body.substr(0, cut));
    }
    check(text::utf8Boundary(body, body.size()) == body.size(), "a text within the limit is not cut");
}

// A server's href: every octet written as an escape comes back, an href without "%" stays as it is, and
// decoding never lengthens it.
inline void checkPercentEscapes(std::string_view body) {
    std::string escaped;
    for (const char c : body) {
        constexpr std::string_view kHex = "0123456789ABCDEF0123456789abcdef";
        const auto octet = static_cast<unsigned char>(c);
        // Upper and lower case hex digits in turn, as servers write either.
        const std::size_t digits = escaped.size() % 2 ? 16 : 0;
        escaped += {'%', kHex[digits + octet / 16], kHex[digits + octet % 16]};
    }
    check(text::decodePercentEscapes(escaped) == body, "escaped octets come back", escaped);
    const std::string decoded = text::decodePercentEscapes(body);
    check(decoded.size() <= body.size(), "decoding escapes never lengthens an href", decoded);
    if (body.find('%') == std::string_view::npos) check(decoded == body, "an href without escapes stays");
}

}  // namespace ostrel::fuzz
