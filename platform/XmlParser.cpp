#include "platform/XmlParser.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

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

// What one read keeps beside the parser; its handlers find it through the parser context.
struct ReadState {
    virtual ~ReadState() = default;
    // Called once the parser is set up, before it reads a byte.
    virtual void prepare(xmlSAXHandler&) {}

    XmlParseError first;
};

ReadState& stateOf(void* context) {
    return *static_cast<ReadState*>(static_cast<xmlParserCtxt*>(context)->_private);
}

// Keeps the parser's first error. The parser reads on after a fatal error to the end of the text, and what
// it finds there ("Premature end of data", a line later) is a consequence of the first error, not its cause.
void keepFirstError(void* context, xmlErrorPtr raised) {
    XmlParseError& first = stateOf(context).first;
    if (!raised || raised->level < XML_ERR_ERROR || first.code != 0) return;
    first = {raised->code, trimmed(str(reinterpret_cast<const xmlChar*>(raised->message))), raised->line,
             raised->int2};
}

DocPtr readOnce(ReadOctets read, void* source, const char* encoding, int options, ReadState& state,
                XmlParseError& error) {
    initialiseParserOnce();
    std::unique_ptr<xmlParserCtxt, ParserCtxtFree> ctxt(xmlNewParserCtxt());
    if (!ctxt) {
        error = {XML_ERR_NO_MEMORY, "out of memory", 0, 0};
        return nullptr;
    }
    ctxt->_private = &state;
    ctxt->sax->serror = &keepFirstError;
    state.prepare(*ctxt->sax);
    DocPtr doc(xmlCtxtReadIO(ctxt.get(), read, nullptr, source, nullptr, encoding, options));
    const bool wellFormed = doc && ctxt->wellFormed && ctxt->nsWellFormed;
    if (!wellFormed) {
        const xmlError* last = xmlCtxtGetLastError(ctxt.get());
        if (state.first.code != 0) {
            error = std::move(state.first);
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

DocPtr parseOnce(std::string_view bytes, const char* encoding, int options, XmlParseError& error) {
    PieceReader reader{bytes.data(), bytes.size()};
    ReadState state;
    return readOnce(&PieceReader::read, &reader, encoding, options, state, error);
}

// Reads a document in one pass with the result parse gives, for octets that cannot be read twice. parse
// reads a document again with all its white space where leaving it out as it reads (kLeanOptions) differs
// from the document model's rule: a document with a DTD, or with xml:space="default" inside a preserving
// element. This pass watches for both. A DTD comes before any text, and from it on all white space is kept.
// A "default" inside a "preserve" can come late, so until it does, the pass remembers what the lean reading
// does differently from a full one, and puts that right when it comes: white space before a line end that
// the parser left out of a text it then went on with, and two CDATA sections with only white space between,
// which the parser joins and a full reading keeps apart. When no such element comes, the joins are made at
// the end, as the lean reading makes them.
// White space that the lean reading still makes into text (mostly in mixed content) goes as soon as the node
// after it or the end of its element shows the text complete, so that no walk over the whole tree is needed
// after it; once all white space is kept, the rule's walk decides at the end.
class OnePass : public ReadState {
public:
    void prepare(xmlSAXHandler& sax) override {
        parser_ = sax;
        sax.startDocument = &startDocument;
        sax.internalSubset = &internalSubset;
        sax.startElementNs = &startElement;
        sax.endElementNs = &endElement;
        sax.cdataBlock = &cdataBlock;
        sax.comment = &comment;
        sax.processingInstruction = &processingInstruction;
    }

    // The lean reading's joins, where no full reading was needed. True when the blank-text rule is still to
    // be applied to the whole tree.
    bool finish() {
        if (keepingWhiteSpace_) return true;
        for (xmlNode* section : keptApart_) {
            xmlNodeAddContent(section->prev, section->content);
            xmlUnlinkNode(section);
            xmlFreeNode(section);
        }
        return false;
    }

private:
    struct LeftOut {
        xmlNode* parent;
        xmlNode* after;  // nullptr: before the parent's first child
        std::string text;
    };

    static OnePass& of(void* context) { return static_cast<OnePass&>(stateOf(context)); }
    static xmlParserCtxt& parserOf(void* context) { return *static_cast<xmlParserCtxt*>(context); }

    // The parser sets the lean options' handler for left-out white space once it has started.
    static void startDocument(void* context) {
        OnePass& self = of(context);
        self.parser_.startDocument(context);
        xmlSAXHandler& sax = *parserOf(context).sax;
        if (!self.keepingWhiteSpace_ && sax.ignorableWhitespace != sax.characters)
            sax.ignorableWhitespace = &leftOut;
    }

    static void internalSubset(void* context, const xmlChar* name, const xmlChar* externalId,
                               const xmlChar* systemId) {
        of(context).parser_.internalSubset(context, name, externalId, systemId);
        of(context).keepWhiteSpace(parserOf(context));
    }

    static void startElement(void* context, const xmlChar* localName, const xmlChar* prefix,
                             const xmlChar* uri, int namespaceCount, const xmlChar** namespaces,
                             int attributeCount, int defaulted, const xmlChar** attributes) {
        OnePass& self = of(context);
        self.dropBlank(parserOf(context).node ? parserOf(context).node->last : nullptr);
        ++self.depth_;
        if (!self.keepingWhiteSpace_) {
            // Five pointers an attribute: local name, prefix, URI, value and the value's end.
            for (int i = 0; i < attributeCount; ++i) {
                const xmlChar** attribute = attributes + 5 * i;
                if (!attribute[2] || !xmlStrEqual(attribute[2], XML_XML_NAMESPACE) ||
                    !xmlStrEqual(attribute[0], reinterpret_cast<const xmlChar*>("space")))
                    continue;
                const std::string_view value(reinterpret_cast<const char*>(attribute[3]),
                                             static_cast<std::size_t>(attribute[4] - attribute[3]));
                if (self.preserving_ == 0 && value == "preserve") self.preserving_ = self.depth_;
                if (self.preserving_ != 0 && value == "default") self.keepWhiteSpace(parserOf(context));
            }
        }
        self.parser_.startElementNs(context, localName, prefix, uri, namespaceCount, namespaces,
                                    attributeCount, defaulted, attributes);
    }

    static void endElement(void* context, const xmlChar* localName, const xmlChar* prefix,
                           const xmlChar* uri) {
        OnePass& self = of(context);
        if (xmlNode* element = parserOf(context).node) {
            self.dropBlank(element->last, true);
            self.dropBlank(element->children, true);
        }
        if (self.depth_ == self.preserving_) self.preserving_ = 0;
        --self.depth_;
        self.parser_.endElementNs(context, localName, prefix, uri);
    }

    static void leftOut(void* context, const xmlChar* text, int length) {
        OnePass& self = of(context);
        xmlParserCtxt& parser = parserOf(context);
        if (!parser.node) return;
        self.leftOutAfter_ = parser.node->last;
        // The parser leaves white space out at a line end too, and then goes on with the same text.
        if (*parser.input->cur != '\r') return;
        try {
            self.leftOut_.push_back(
                {parser.node, parser.node->last,
                 std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length))});
        } catch (const std::bad_alloc&) {
            self.outOfMemory(parser);
        }
    }

    static void cdataBlock(void* context, const xmlChar* text, int length) {
        OnePass& self = of(context);
        xmlParserCtxt& parser = parserOf(context);
        xmlNode* last = parser.node ? parser.node->last : nullptr;
        if (self.keepingWhiteSpace_ || !last || last->type != XML_CDATA_SECTION_NODE ||
            last != self.leftOutAfter_) {
            self.parser_.cdataBlock(context, text, length);
            // After the section is in: text before it that went first would let it join the one before.
            if (parser.node && parser.node->last) self.dropBlank(parser.node->last->prev);
            return;
        }
        xmlNode* section = xmlNewCDataBlock(parser.myDoc, text, length);
        if (!section) return;
        xmlAddChild(parser.node, section);
        // The parser appends the next CDATA block of the same section to this one, and keeps its length.
        parser.nodelen = length;
        parser.nodemem = length + 1;
        try {
            self.keptApart_.push_back(section);
        } catch (const std::bad_alloc&) {
            self.outOfMemory(parser);
        }
    }

    static void comment(void* context, const xmlChar* text) {
        of(context).dropBlank(parserOf(context).node ? parserOf(context).node->last : nullptr);
        of(context).parser_.comment(context, text);
    }

    static void processingInstruction(void* context, const xmlChar* target, const xmlChar* data) {
        of(context).dropBlank(parserOf(context).node ? parserOf(context).node->last : nullptr);
        of(context).parser_.processingInstruction(context, target, data);
    }

    // A complete text of white space only, outside any element that preserves it, as the rule drops it. An
    // element's first child stays until the element ends: whether it is text decides what the parser leaves
    // out after it.
    void dropBlank(xmlNode* text, bool elementEnds = false) const {
        if (keepingWhiteSpace_ || preserving_ != 0 || !text || text->type != XML_TEXT_NODE ||
            !isBlank(text->content) || (!elementEnds && text == text->parent->children))
            return;
        xmlUnlinkNode(text);
        xmlFreeNode(text);
    }

    // Nothing may unwind through the parser: it stops, and the document counts as not well-formed.
    void outOfMemory(xmlParserCtxt& parser) {
        if (first.code == 0) first = {XML_ERR_NO_MEMORY, "out of memory", 0, 0};
        parser.wellFormed = 0;
        xmlStopParser(&parser);
    }

    void keepWhiteSpace(xmlParserCtxt& parser) {
        keepingWhiteSpace_ = true;
        parser.keepBlanks = 1;
        parser.sax->ignorableWhitespace = parser.sax->characters;
        // Last first: each goes before the text or node that followed it, which may be the one put back
        // after it.
        for (auto it = leftOut_.rbegin(); it != leftOut_.rend(); ++it) putBack(*it);
        leftOut_.clear();
    }

    static void putBack(const LeftOut& text) {
        xmlNode* next = text.after ? text.after->next : text.parent->children;
        const auto* content = reinterpret_cast<const xmlChar*>(text.text.c_str());
        if (next && next->type == XML_TEXT_NODE && next->name == xmlStringText) {
            std::unique_ptr<xmlChar, XmlCharFree> joined(xmlStrncatNew(content, next->content, -1));
            xmlNodeSetContent(next, joined.get());
            return;
        }
        xmlNode* node = xmlNewDocText(text.parent->doc, content);
        if (!node) return;
        if (next) {
            xmlAddPrevSibling(next, node);
        } else {
            xmlAddChild(text.parent, node);
        }
    }

    xmlSAXHandler parser_{};
    bool keepingWhiteSpace_ = false;
    int depth_ = 0;
    int preserving_ = 0;  // the depth of the outermost open element that preserves white space; 0: none
    xmlNode* leftOutAfter_ = nullptr;  // the node after which the parser last left white space out
    std::vector<LeftOut> leftOut_;
    std::vector<xmlNode*> keptApart_;
};

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

DocPtr parseStream(ReadOctets read, void* source, Octets octets, XmlParseError& error) {
    error = {};
    OnePass pass;
    const bool text = octets == Octets::Text;
    DocPtr doc = readOnce(read, source, text ? "UTF-8" : nullptr,
                          kSafeOptions | kLeanOptions | (text ? XML_PARSE_IGNORE_ENC : 0), pass, error);
    if (!doc) return nullptr;
    if (pass.finish()) dropBlankText(reinterpret_cast<xmlNode*>(doc.get()), false);
    return doc;
}

DocPtr emptyDocument() {
    initialiseParserOnce();
    return DocPtr(xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0")));
}

}  // namespace ostrel::xml
