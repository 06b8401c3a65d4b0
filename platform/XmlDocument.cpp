#include "platform/XmlDocument.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <cstdlib>
#include <exception>
#include <new>
#include <string>
#include <utility>

#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/XmlParser.h"

namespace ostrel {

namespace {

constexpr const char* kSource = "XmlDocument";

xmlNode* raw(XmlNodeData* node) noexcept {
    return reinterpret_cast<xmlNode*>(node);
}
XmlNodeData* handle(xmlNode* node) noexcept {
    return reinterpret_cast<XmlNodeData*>(node);
}
std::string str(const xmlChar* text) {
    return text ? reinterpret_cast<const char*>(text) : std::string();
}

using xml::DocPtr;
using xml::emptyDocument;
using xml::isXmlSpace;
using xml::parse;
using xml::trimmed;

struct XPathCtxtFree {
    void operator()(xmlXPathContext* ctxt) const noexcept { xmlXPathFreeContext(ctxt); }
};
struct XPathObjectFree {
    void operator()(xmlXPathObject* obj) const noexcept { xmlXPathFreeObject(obj); }
};
struct BufferFree {
    void operator()(xmlBuffer* buffer) const noexcept { xmlBufferFree(buffer); }
};

void appendText(const xmlNode* node, std::string& out) {
    // Iterative walk: replies may nest deeply and the stack must not be the limit.
    const xmlNode* start = node;
    const xmlNode* cur = node;
    while (cur) {
        switch (cur->type) {
            case XML_TEXT_NODE:
            case XML_CDATA_SECTION_NODE:
                if (cur->content) out += reinterpret_cast<const char*>(cur->content);
                break;
            default:
                break;
        }
        const bool descend =
            (cur->type == XML_ELEMENT_NODE || cur->type == XML_DOCUMENT_NODE) && cur->children;
        if (descend) {
            cur = cur->children;
            continue;
        }
        while (cur && cur != start && !cur->next) cur = cur->parent;
        if (!cur || cur == start) break;
        cur = cur->next;
    }
}

std::string nodeText(const xmlNode* node) {
    if (!node) return {};
    switch (node->type) {
        case XML_ELEMENT_NODE:
        case XML_DOCUMENT_NODE: {
            std::string out;
            appendText(node, out);
            return trimmed(std::move(out));
        }
        case XML_ATTRIBUTE_NODE: {
            // The value's own text: an entity reference in it is never expanded.
            std::string value;
            for (const xmlNode* part = node->children; part; part = part->next) {
                if (part->type == XML_TEXT_NODE && part->content)
                    value += reinterpret_cast<const char*>(part->content);
            }
            return value;
        }
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
        case XML_COMMENT_NODE:
        case XML_PI_NODE:
            return str(node->content);
        default:
            // Entity references, document types and declarations have no text of their own here.
            return {};
    }
}

// Parses "xmlns:d='DAV:' xmlns:x=\"urn:x\"" into prefix and namespace pairs.
std::vector<std::pair<std::string, std::string>> parseNamespaceDeclarations(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> result;
    std::size_t pos = 0;
    auto skipSpace = [&] {
        while (pos < text.size() && isXmlSpace(text[pos])) ++pos;
    };
    auto fail = [&] {
        return Error(
            errors::kXmlBadArgument, kSource,
            "SelectionNamespaces is not a list of xmlns:prefix='uri' declarations: " + std::string(text));
    };
    skipSpace();
    while (pos < text.size()) {
        constexpr std::string_view kXmlns = "xmlns";
        if (text.substr(pos, kXmlns.size()) != kXmlns) throw fail();
        pos += kXmlns.size();
        std::string prefix;
        if (pos < text.size() && text[pos] == ':') {
            const std::size_t start = ++pos;
            while (pos < text.size() && text[pos] != '=' && !isXmlSpace(text[pos])) ++pos;
            prefix = std::string(text.substr(start, pos - start));
            if (prefix.empty()) throw fail();
        }
        skipSpace();
        if (pos >= text.size() || text[pos] != '=') throw fail();
        ++pos;
        skipSpace();
        if (pos >= text.size() || (text[pos] != '\'' && text[pos] != '"')) throw fail();
        const char quote = text[pos++];
        const std::size_t close = text.find(quote, pos);
        if (close == std::string_view::npos) throw fail();
        std::string uri(text.substr(pos, close - pos));
        pos = close + 1;
        // XPath 1.0 has no default namespace for names without a prefix, so a bare xmlns='...' binds nothing.
        if (!prefix.empty()) result.emplace_back(std::move(prefix), std::move(uri));
        skipSpace();
    }
    return result;
}

// Feeds the serialiser's output to a file. Errors are kept, not thrown: they must not unwind through the
// parser library's C code.
struct SaveSink {
    files::AtomicFile& file;
    std::exception_ptr failure;

    static int write(void* context, const char* data, int length) {
        auto* sink = static_cast<SaveSink*>(context);
        if (sink->failure || length < 0) return -1;
        try {
            sink->file.write(std::string_view(data, static_cast<std::size_t>(length)));
        } catch (...) {
            sink->failure = std::current_exception();
            return -1;
        }
        return length;
    }
};

// A document that names the XHTML DTD would otherwise be written by XHTML rules, which add a <meta> element
// and change empty elements: what is saved must be the document that was received.
constexpr int kSaveOptions = XML_SAVE_NO_XHTML | XML_SAVE_AS_XML;

}  // namespace

struct XmlAccess {
    static XmlNodeList listOf(xmlNode* first) {
        std::vector<XmlNodeData*> nodes;
        for (xmlNode* n = first; n; n = n->next) nodes.push_back(handle(n));
        return XmlNodeList(std::move(nodes));
    }
};

// ---------------------------------------------------------------------------------------------------------
// XmlNode

XmlNodeType XmlNode::nodeType() const noexcept {
    if (!node_) return XmlNodeType::None;
    switch (raw(node_)->type) {
        case XML_ELEMENT_NODE:
            return XmlNodeType::Element;
        case XML_ATTRIBUTE_NODE:
            return XmlNodeType::Attribute;
        case XML_TEXT_NODE:
            return XmlNodeType::Text;
        case XML_CDATA_SECTION_NODE:
            return XmlNodeType::CData;
        case XML_ENTITY_REF_NODE:
            return XmlNodeType::EntityReference;
        case XML_PI_NODE:
            return XmlNodeType::ProcessingInstruction;
        case XML_COMMENT_NODE:
            return XmlNodeType::Comment;
        case XML_DOCUMENT_NODE:
            return XmlNodeType::Document;
        default:
            return XmlNodeType::Other;
    }
}

std::string XmlNode::nodeName() const {
    if (!node_) return {};
    const xmlNode* n = raw(node_);
    switch (n->type) {
        case XML_TEXT_NODE:
            return "#text";
        case XML_CDATA_SECTION_NODE:
            return "#cdata-section";
        case XML_COMMENT_NODE:
            return "#comment";
        case XML_DOCUMENT_NODE:
            return "#document";
        default:
            break;
    }
    if ((n->type == XML_ELEMENT_NODE || n->type == XML_ATTRIBUTE_NODE) && n->ns && n->ns->prefix) {
        return str(n->ns->prefix) + ":" + str(n->name);
    }
    return str(n->name);
}

std::string XmlNode::localName() const {
    if (!node_) return {};
    const xmlNode* n = raw(node_);
    return (n->type == XML_ELEMENT_NODE || n->type == XML_ATTRIBUTE_NODE) ? str(n->name) : std::string();
}

std::string XmlNode::namespaceURI() const {
    if (!node_) return {};
    const xmlNode* n = raw(node_);
    if ((n->type == XML_ELEMENT_NODE || n->type == XML_ATTRIBUTE_NODE) && n->ns) return str(n->ns->href);
    return {};
}

bool XmlNode::isElement(std::string_view localName, std::string_view namespaceURI) const noexcept {
    if (!node_) return false;
    const xmlNode* n = raw(node_);
    if (n->type != XML_ELEMENT_NODE || !n->ns || !n->ns->href) return false;
    return reinterpret_cast<const char*>(n->name) == localName &&
           reinterpret_cast<const char*>(n->ns->href) == namespaceURI;
}

std::string XmlNode::text() const {
    return nodeText(raw(node_));
}

namespace {

std::string serialised(xmlNode* node) {
    std::unique_ptr<xmlBuffer, BufferFree> buffer(xmlBufferCreate());
    if (!buffer) return {};
    xmlSaveCtxt* ctxt = xmlSaveToBuffer(buffer.get(), "UTF-8", kSaveOptions);
    if (!ctxt) return {};
    xmlSaveTree(ctxt, node);
    xmlSaveClose(ctxt);
    return std::string(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                       static_cast<std::size_t>(xmlBufferLength(buffer.get())));
}

}  // namespace

std::string XmlNode::xml() const {
    return node_ ? serialised(raw(node_)) : std::string();
}

std::string XmlNode::xmlWithNamespaces() const {
    if (!node_ || raw(node_)->type != XML_ELEMENT_NODE) return xml();
    // A copy in a document of its own, so that the shown document is left as it is.
    DocPtr doc(xmlNewDoc(BAD_CAST "1.0"));
    xmlNode* copy = doc ? xmlDocCopyNode(raw(node_), doc.get(), 1) : nullptr;
    if (!copy) throw std::bad_alloc();
    xmlDocSetRootElement(doc.get(), copy);
    // Nearest first: a prefix declared on the copy already (its own, or one its names needed) is refused by
    // xmlNewNs, so an outer declaration of the same prefix never shadows the one in force.
    for (const xmlNode* up = raw(node_)->parent; up && up->type == XML_ELEMENT_NODE; up = up->parent) {
        for (const xmlNs* ns = up->nsDef; ns; ns = ns->next) xmlNewNs(copy, ns->href, ns->prefix);
    }
    return serialised(copy);
}

bool XmlNode::hasChildNodes() const noexcept {
    if (!node_) return false;
    const xmlNode* n = raw(node_);
    return n->type != XML_ATTRIBUTE_NODE && n->type != XML_ENTITY_REF_NODE && n->children != nullptr;
}

XmlNode XmlNode::firstChild() const noexcept {
    return hasChildNodes() ? XmlNode(handle(raw(node_)->children)) : XmlNode();
}

XmlNode XmlNode::nextSibling() const noexcept {
    if (!node_ || raw(node_)->type == XML_ATTRIBUTE_NODE) return {};
    return XmlNode(handle(raw(node_)->next));
}

XmlNode XmlNode::parentNode() const noexcept {
    if (!node_ || raw(node_)->type == XML_ATTRIBUTE_NODE) return {};
    return XmlNode(handle(raw(node_)->parent));
}

XmlNodeList XmlNode::childNodes() const {
    return hasChildNodes() ? XmlAccess::listOf(raw(node_)->children) : XmlNodeList();
}

XmlNodeList XmlNode::attributes() const {
    if (!node_ || raw(node_)->type != XML_ELEMENT_NODE) return {};
    return XmlAccess::listOf(reinterpret_cast<xmlNode*>(raw(node_)->properties));
}

std::vector<std::pair<std::string, std::string>> XmlNode::namespaceDeclarations() const {
    std::vector<std::pair<std::string, std::string>> declarations;
    if (!node_ || raw(node_)->type != XML_ELEMENT_NODE) return declarations;
    for (const xmlNs* ns = raw(node_)->nsDef; ns; ns = ns->next)
        declarations.emplace_back(str(ns->prefix), str(ns->href));
    return declarations;
}

XmlNode XmlNodeList::item(std::size_t index) const noexcept {
    return index < nodes_.size() ? XmlNode(nodes_[index]) : XmlNode();
}

// ---------------------------------------------------------------------------------------------------------
// XmlDocument

struct XmlDocument::Impl {
    DocPtr doc = emptyDocument();
    XmlParseError error;
    std::vector<std::pair<std::string, std::string>> namespaces;

    xmlNode* node() const noexcept { return reinterpret_cast<xmlNode*>(doc.get()); }

    std::unique_ptr<xmlXPathObject, XPathObjectFree> evaluate(std::string_view xpath) const {
        std::unique_ptr<xmlXPathContext, XPathCtxtFree> ctxt(xmlXPathNewContext(doc.get()));
        if (!ctxt) throw Error(errors::kXmlBadArgument, kSource, "out of memory");
        for (const auto& [prefix, uri] : namespaces) {
            xmlXPathRegisterNs(ctxt.get(), reinterpret_cast<const xmlChar*>(prefix.c_str()),
                               reinterpret_cast<const xmlChar*>(uri.c_str()));
        }
        const std::string expression(xpath);
        // Keep the engine quiet on stderr; a failed evaluation is reported as an Error below.
        ctxt->error = [](void*, xmlErrorPtr) {};
        std::unique_ptr<xmlXPathObject, XPathObjectFree> result(
            xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(expression.c_str()), ctxt.get()));
        if (!result) {
            throw Error(errors::kXmlBadArgument, kSource,
                        "The XPath expression \"" + expression +
                            "\" cannot be evaluated (an unknown prefix or a "
                            "syntax error)");
        }
        return result;
    }
};

XmlDocument::XmlDocument() : impl_(std::make_unique<Impl>()) {}

XmlDocument::XmlDocument(xml::Parsed parsed) : impl_(std::make_unique<Impl>()) {
    if (parsed.doc) impl_->doc = std::move(parsed.doc);
    impl_->error = std::move(parsed.error);
}
XmlDocument::~XmlDocument() = default;
XmlDocument::XmlDocument(XmlDocument&& other) noexcept = default;
XmlDocument& XmlDocument::operator=(XmlDocument&& other) noexcept = default;

bool XmlDocument::loadXML(std::string_view text) {
    // The text is already Unicode, so a declared encoding says nothing about its bytes.
    DocPtr doc = parse(text, "UTF-8", XML_PARSE_IGNORE_ENC, impl_->error);
    impl_->doc = doc ? std::move(doc) : emptyDocument();
    return impl_->doc && impl_->doc->children;
}

XmlDocument XmlDocument::fromBytes(std::string_view bytes) {
    XmlDocument document;
    DocPtr doc = parse(bytes, nullptr, 0, document.impl_->error);
    if (doc) document.impl_->doc = std::move(doc);
    return document;
}

const XmlParseError& XmlDocument::parseError() const noexcept {
    return impl_->error;
}

void XmlDocument::setProperty(std::string_view name, std::string_view value) {
    if (name == "SelectionLanguage") {
        if (value != "XPath") {
            throw Error(errors::kXmlBadArgument, kSource,
                        "SelectionLanguage \"" + std::string(value) + "\" is not supported; use XPath");
        }
    } else if (name == "SelectionNamespaces") {
        impl_->namespaces = parseNamespaceDeclarations(value);
    } else {
        throw Error(errors::kXmlBadArgument, kSource,
                    "Unknown document property \"" + std::string(name) + "\"");
    }
}

XmlNodeList XmlDocument::selectNodes(std::string_view xpath) const {
    auto result = impl_->evaluate(xpath);
    std::vector<XmlNodeData*> nodes;
    if (result->type == XPATH_NODESET && result->nodesetval) {
        const xmlNodeSet* set = result->nodesetval;
        nodes.reserve(static_cast<std::size_t>(set->nodeNr));
        for (int i = 0; i < set->nodeNr; ++i) {
            xmlNode* n = set->nodeTab[i];
            if (n && n->type != XML_NAMESPACE_DECL) nodes.push_back(handle(n));
        }
    }
    return XmlNodeList(std::move(nodes));
}

XmlNode XmlDocument::selectSingleNode(std::string_view xpath) const {
    auto result = impl_->evaluate(xpath);
    if (result->type == XPATH_NODESET && result->nodesetval) {
        const xmlNodeSet* set = result->nodesetval;
        for (int i = 0; i < set->nodeNr; ++i) {
            xmlNode* n = set->nodeTab[i];
            if (n && n->type != XML_NAMESPACE_DECL) return XmlNode(handle(n));
        }
    }
    return {};
}

bool XmlDocument::hasChildNodes() const noexcept {
    return impl_->doc && impl_->doc->children;
}

XmlNodeList XmlDocument::childNodes() const {
    return hasChildNodes() ? XmlAccess::listOf(impl_->doc->children) : XmlNodeList();
}

XmlNode XmlDocument::firstChild() const noexcept {
    return hasChildNodes() ? XmlNode(handle(impl_->doc->children)) : XmlNode();
}

XmlNode XmlDocument::documentElement() const noexcept {
    return XmlNode(handle(xmlDocGetRootElement(impl_->doc.get())));
}

std::string XmlDocument::text() const {
    return nodeText(impl_->node());
}

std::string XmlDocument::xml() const {
    std::unique_ptr<xmlBuffer, BufferFree> buffer(xmlBufferCreate());
    if (!buffer) return {};
    xmlSaveCtxt* ctxt = xmlSaveToBuffer(buffer.get(), "UTF-8", kSaveOptions);
    if (!ctxt) return {};
    xmlSaveDoc(ctxt, impl_->doc.get());
    xmlSaveClose(ctxt);
    return std::string(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                       static_cast<std::size_t>(xmlBufferLength(buffer.get())));
}

void XmlDocument::save(const std::string& path) const {
    files::AtomicFile file(path);
    SaveSink sink{file, nullptr};
    // Streamed to the file as it is serialised: a document of tens of megabytes is never also held as text.
    xmlSaveCtxt* ctxt =
        xmlSaveToIO(&SaveSink::write, nullptr, &sink, "UTF-8", XML_SAVE_FORMAT | kSaveOptions);
    if (!ctxt)
        throw Error(errors::kXmlBadArgument, kSource, "The document could not be serialised for " + path);
    xmlSaveDoc(ctxt, impl_->doc.get());
    const int flushed = xmlSaveClose(ctxt);
    if (sink.failure) std::rethrow_exception(sink.failure);
    if (flushed < 0)
        throw Error(errors::kXmlBadArgument, kSource, "The document could not be serialised for " + path);
    file.commit();
}

std::string xmlLibraryVersion() {
    // The library names its version as one number: major * 10000 + minor * 100 + patch.
    const long number = std::strtol(xmlParserVersion, nullptr, 10);
    return std::to_string(number / 10000) + "." + std::to_string(number / 100 % 100) + "." +
           std::to_string(number % 100);
}

}  // namespace ostrel
