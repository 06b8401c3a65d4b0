#pragma once

#include <cstddef>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ostrel {

// Opaque stand-in for the parser's node type, so that no parser header leaks out of the platform layer.
struct XmlNodeData;
// Lets the implementation build handles and lists; not for use outside the platform layer.
struct XmlAccess;

class XmlNodeList;

namespace xml {
struct Parsed;
}

enum class XmlNodeType {
    None,
    Element,
    Attribute,
    Text,
    CData,
    EntityReference,
    ProcessingInstruction,
    Comment,
    Document,
    Other
};

// A cheap, non-owning handle on a node of an XmlDocument. It is valid while its document lives and is not
// reloaded. A default-constructed handle is the empty reference: it tests false and every query on it
// returns an empty result.
class XmlNode {
public:
    XmlNode() = default;

    explicit operator bool() const noexcept { return node_ != nullptr; }
    bool operator==(const XmlNode& other) const noexcept = default;

    XmlNodeType nodeType() const noexcept;
    // The qualified name as written ("D:href"); "#text", "#comment" ... for other nodes, as the DOM names
    // them.
    std::string nodeName() const;
    std::string localName() const;
    std::string namespaceURI() const;
    // True for an element of this local name in this namespace; compared in place, for walks over large
    // replies that would otherwise copy two strings a node.
    bool isElement(std::string_view localName, std::string_view namespaceURI) const noexcept;

    // The text of the node and all its descendants, joined in document order, with leading and trailing
    // white space removed. Comments and processing instructions inside an element do not count; an entity
    // reference is never expanded and contributes nothing.
    std::string text() const;
    // The node serialised as XML.
    std::string xml() const;
    // An element serialised with every namespace declaration in scope written on it, so that the text is a
    // document of its own (the prefixes of attribute values such as xsi:type="D:x" included); other nodes
    // as xml().
    std::string xmlWithNamespaces() const;

    bool hasChildNodes() const noexcept;
    XmlNode firstChild() const noexcept;
    XmlNode nextSibling() const noexcept;
    XmlNode parentNode() const noexcept;
    XmlNodeList childNodes() const;
    // The attributes of an element, in document order (namespace declarations are not attributes here).
    XmlNodeList attributes() const;
    // The namespace declarations written on an element: prefix ("" for the default namespace) and URI.
    std::vector<std::pair<std::string, std::string>> namespaceDeclarations() const;

private:
    friend class XmlDocument;
    friend class XmlNodeList;
    friend struct XmlAccess;
    explicit XmlNode(XmlNodeData* node) noexcept : node_(node) {}
    XmlNodeData* node_ = nullptr;
};

// An ordered list of node handles, as returned by a selection or by childNodes. It owns only the list.
class XmlNodeList {
public:
    class iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = XmlNode;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = XmlNode;

        iterator() = default;
        XmlNode operator*() const noexcept { return XmlNode(*it_); }
        iterator& operator++() noexcept {
            ++it_;
            return *this;
        }
        iterator operator++(int) noexcept {
            iterator old = *this;
            ++it_;
            return old;
        }
        bool operator==(const iterator& other) const noexcept = default;

    private:
        friend class XmlNodeList;
        explicit iterator(std::vector<XmlNodeData*>::const_iterator it) : it_(it) {}
        std::vector<XmlNodeData*>::const_iterator it_;
    };

    XmlNodeList() = default;

    std::size_t length() const noexcept { return nodes_.size(); }
    // The node at a zero-based index; the empty reference past the end.
    XmlNode item(std::size_t index) const noexcept;

    iterator begin() const noexcept { return iterator(nodes_.begin()); }
    iterator end() const noexcept { return iterator(nodes_.end()); }

private:
    friend class XmlNode;
    friend class XmlDocument;
    friend struct XmlAccess;
    explicit XmlNodeList(std::vector<XmlNodeData*> nodes) noexcept : nodes_(std::move(nodes)) {}
    std::vector<XmlNodeData*> nodes_;
};

// Why the last load failed: empty reason when it did not.
struct XmlParseError {
    int code = 0;
    std::string reason;
    int line = 0;
    int column = 0;
};

// A parsed XML document: move-only, owning its tree. A new document, or one whose last load failed, has no
// child nodes.
//
// Parsing is safe for hostile input: nothing is fetched from the network or the file system, external and
// internal entities are never expanded, and the parser's default size limits hold. White-space-only text
// between elements is dropped at load (unless xml:space="preserve" asks to keep it), so the first child of a
// pretty-printed element is its first element.
class XmlDocument {
public:
    XmlDocument();
    // Takes over what the platform's parser read (see XmlParser.h).
    explicit XmlDocument(xml::Parsed parsed);
    ~XmlDocument();
    XmlDocument(XmlDocument&& other) noexcept;
    XmlDocument& operator=(XmlDocument&& other) noexcept;
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    // Parses text that is already Unicode (UTF-8 here): an encoding named in its XML declaration is ignored.
    // Returns false on any failure, leaving the document empty; parseError() tells why.
    bool loadXML(std::string_view text);
    // Parses the octets of a reply or file, so that a byte-order mark and the XML declaration's encoding
    // count. A body that is empty or not XML gives a document without child nodes.
    static XmlDocument fromBytes(std::string_view bytes);
    const XmlParseError& parseError() const noexcept;

    // "SelectionLanguage" takes "XPath" (the only language); "SelectionNamespaces" takes one or more
    // declarations such as "xmlns:d='DAV:' xmlns:x=\"urn:x\"", which bind prefixes for the selections below.
    // Anything else raises an Error.
    void setProperty(std::string_view name, std::string_view value);

    // XPath 1.0 selections from the document node. An expression that does not compile raises an Error.
    // Only nodes of the tree are returned (a namespace node selected by namespace:: is left out).
    XmlNode selectSingleNode(std::string_view xpath) const;
    XmlNodeList selectNodes(std::string_view xpath) const;

    bool hasChildNodes() const noexcept;
    XmlNodeList childNodes() const;
    XmlNode firstChild() const noexcept;
    XmlNode documentElement() const noexcept;
    // The text of the whole document, joined (see XmlNode::text).
    std::string text() const;
    // The document serialised as XML text, UTF-8, without indentation added.
    std::string xml() const;

    // Writes the document as UTF-8 XML text, indented for reading. The file is written beside its final
    // name and renamed into place, so a failed save never leaves half a file. Raises an Error on failure.
    void save(const std::string& path) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The version of the XML library in use at run time ("2.9.14").
std::string xmlLibraryVersion();

}  // namespace ostrel
