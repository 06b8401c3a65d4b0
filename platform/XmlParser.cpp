#include "platform/XmlParser.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>

namespace ostrel::xml {

namespace {

std::string str(const xmlChar* text) {
    return text ? reinterpret_cast<const char*>(text) : std::string();
}

struct ParserCtxtFree {
    void operator()(xmlParserCtxt* ctxt) const noexcept { xmlFreeParserCtxt(ctxt); }
};
struct XmlCharFree {
    void operator()(xmlChar* text) const noexcept { xmlFree(text); }
};

// Hostile replies are a fact of life for a network client: no network access, no DTD loading, no entity
// substitution, no lifting of the parser's size limits, and no chatter on stderr.
constexpr int kSafeOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
// A parsed document takes several times the size of its text, so what is kept per node counts: white space
// between elements is left out as it is read rather than made into nodes and removed afterwards, and short
// texts live inside their node instead of in an allocation of their own. The tree is never modified after
// the load except by removing nodes, which compact texts allow.
constexpr int kLeanOptions = XML_PARSE_NOBLANKS | XML_PARSE_COMPACT;

bool isBlank(const xmlChar* text) noexcept {
    if (!text) return true;
    for (; *text; ++text) {
        if (!isXmlSpace(static_cast<char>(*text))) return false;
    }
    return true;
}

// The successor of a node in document order that does not descend into it, staying below root.
xmlNode* nextOutside(xmlNode* node, const xmlNode* root) noexcept {
    while (node && node != root && !node->next) node = node->parent;
    return (node && node != root) ? node->next : nullptr;
}

// True when an element's own xml:space attribute (written, or defaulted by the document's DTD) says
// "preserve".
bool asksToPreserveSpace(const xmlNode* element) {
    if (!element->properties && !element->doc->intSubset) return false;
    std::unique_ptr<xmlChar, XmlCharFree> space(
        xmlGetNsProp(element, reinterpret_cast<const xmlChar*>("space"), XML_XML_NAMESPACE));
    return space && xmlStrEqual(space.get(), reinterpret_cast<const xmlChar*>("preserve"));
}

// True when an element below a preserving element sets xml:space="default" again.
bool defaultInside(const xmlNode* preserving) {
    for (const xmlNode* node = preserving->children; node;) {
        if (node->type == XML_ELEMENT_NODE) {
            std::unique_ptr<xmlChar, XmlCharFree> space(
                xmlGetNsProp(node, reinterpret_cast<const xmlChar*>("space"), XML_XML_NAMESPACE));
            if (space && xmlStrEqual(space.get(), reinterpret_cast<const xmlChar*>("default"))) return true;
            if (node->children) {
                node = node->children;
                continue;
            }
        }
        node = nextOutside(const_cast<xmlNode*>(node), preserving);
    }
    return false;
}

// The document model keeps no white space that only separates elements; xml:space="preserve" overrides, for
// everything inside the element that says so.
// The walk never enters an element whose white space is preserved, so every element it reaches inherits "not
// preserved" and only its own attribute can change that: no walk up through the ancestors per element.
// When the parser already left out white space as it read, its rule differs from this one in one place, an
// xml:space="default" inside a preserving element: the walk then stops and returns false, and the partly
// cleaned tree is not to be used.
bool dropBlankText(xmlNode* root, bool readWithoutBlanks) {
    xmlNode* node = root->children;
    while (node) {
        if (node->type == XML_TEXT_NODE && isBlank(node->content)) {
            xmlNode* next = nextOutside(node, root);
            xmlUnlinkNode(node);
            xmlFreeNode(node);
            node = next;
        } else if (node->type == XML_ELEMENT_NODE && node->children) {
            if (!asksToPreserveSpace(node)) {
                node = node->children;
                continue;
            }
            if (readWithoutBlanks && defaultInside(node)) return false;
            node = nextOutside(node, root);
        } else {
            node = nextOutside(node, root);
        }
    }
    return true;
}

// Hands the parser the caller's octets a piece at a time, as it reads a file: the parser then holds a few
// kilobytes of input at once instead of a copy of the whole text.
struct PieceReader {
    const char* next;
    std::size_t left;

    static int read(void* context, char* buffer, int length) {
        auto* reader = static_cast<PieceReader*>(context);
        const std::size_t size = std::min(reader->left, static_cast<std::size_t>(std::max(length, 0)));
        std::memcpy(buffer, reader->next, size);
        reader->next += size;
        reader->left -= size;
        return static_cast<int>(size);
    }
};

// libxml2 sets up its global state on first use, which is not safe when two threads get there at once (the
// request worker and the editor's check both parse); so it is set up once, before any document is made.
void initialiseParserOnce() {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

// Keeps the parser's first error. The parser reads on after a fatal error to the end of the text, and what
// it finds there ("Premature end of data", a line later) is a consequence of the first error, not its cause.
void keepFirstError(void* context, xmlErrorPtr raised) {
    auto* ctxt = static_cast<xmlParserCtxt*>(context);
    auto* first = static_cast<XmlParseError*>(ctxt ? ctxt->_private : nullptr);
    if (!first || !raised || raised->level < XML_ERR_ERROR || first->code != 0) return;
    *first = {raised->code, trimmed(str(reinterpret_cast<const xmlChar*>(raised->message))), raised->line,
              raised->int2};
}

DocPtr parseOnce(std::string_view bytes, const char* encoding, int options, XmlParseError& error) {
    initialiseParserOnce();
    std::unique_ptr<xmlParserCtxt, ParserCtxtFree> ctxt(xmlNewParserCtxt());
    if (!ctxt) {
        error = {XML_ERR_NO_MEMORY, "out of memory", 0, 0};
        return nullptr;
    }
    XmlParseError first;
    ctxt->_private = &first;
    ctxt->sax->serror = &keepFirstError;
    PieceReader reader{bytes.data(), bytes.size()};
    DocPtr doc(xmlCtxtReadIO(ctxt.get(), &PieceReader::read, nullptr, &reader, nullptr, encoding, options));
    const bool wellFormed = doc && ctxt->wellFormed && ctxt->nsWellFormed;
    if (!wellFormed) {
        const xmlError* last = xmlCtxtGetLastError(ctxt.get());
        if (first.code != 0) {
            error = std::move(first);
        } else if (last && last->code != XML_ERR_OK) {
            error = {last->code, trimmed(str(reinterpret_cast<const xmlChar*>(last->message))), last->line,
                     last->int2};
        } else {
            error = {XML_ERR_INTERNAL_ERROR, "the document is not well-formed", 0, 0};
        }
        return nullptr;
    }
    return doc;
}

}  // namespace

void DocFree::operator()(_xmlDoc* doc) const noexcept {
    xmlFreeDoc(doc);
}

bool isXmlSpace(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string trimmed(std::string text) {
    std::size_t begin = 0;
    while (begin < text.size() && isXmlSpace(text[begin])) ++begin;
    std::size_t end = text.size();
    while (end > begin && isXmlSpace(text[end - 1])) --end;
    if (begin == 0 && end == text.size()) return text;
    return text.substr(begin, end - begin);
}

DocPtr parse(std::string_view bytes, const char* encoding, int extraOptions, XmlParseError& error) {
    error = {};
    if (bytes.size() > static_cast<std::size_t>(INT32_MAX)) {
        error = {XML_ERR_INTERNAL_ERROR, "document too large", 0, 0};
        return nullptr;
    }
    if (bytes.empty()) {
        error = {XML_ERR_DOCUMENT_EMPTY, "the document is empty", 0, 0};
        return nullptr;
    }
    // Text that is already Unicode is read as UTF-8 whatever it says; a byte-order mark before it is not part
    // of it.
    constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
    if (encoding && bytes.starts_with(kUtf8Bom)) bytes.remove_prefix(kUtf8Bom.size());
    DocPtr doc = parseOnce(bytes, encoding, kSafeOptions | kLeanOptions | extraOptions, error);
    // The parser leaves out white space following xml:space as written. A DTD can also declare content models
    // and xml:space defaults that the parser would weigh differently from dropBlankText's rule, and so can a
    // "default" inside a "preserve": such documents, rare and small, are read again with all their text so
    // that the rule alone decides.
    if (doc && !doc->intSubset && dropBlankText(reinterpret_cast<xmlNode*>(doc.get()), true)) return doc;
    if (!doc) return nullptr;
    doc = parseOnce(bytes, encoding, kSafeOptions | XML_PARSE_COMPACT | extraOptions, error);
    if (doc) dropBlankText(reinterpret_cast<xmlNode*>(doc.get()), false);
    return doc;
}

DocPtr emptyDocument() {
    initialiseParserOnce();
    return DocPtr(xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0")));
}

}  // namespace ostrel::xml
