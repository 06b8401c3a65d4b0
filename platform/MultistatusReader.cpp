#include "platform/MultistatusReader.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <climits>
#include <cstring>
#include <exception>
#include <utility>

namespace ostrel {

namespace {

// As XmlDocument parses: no network, no entity substitution, the parser's own size limits, no chatter.
constexpr int kSafeOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_IGNORE_ENC;
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool isXmlSpace(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isBlank(std::string_view text) noexcept {
    for (const char c : text) {
        if (!isXmlSpace(c)) return false;
    }
    return true;
}

std::string trimmed(std::string_view text) {
    while (!text.empty() && isXmlSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isXmlSpace(text.back())) text.remove_suffix(1);
    return std::string(text);
}

bool equals(const xmlChar* text, const char* wanted) noexcept {
    return text && std::strcmp(reinterpret_cast<const char*>(text), wanted) == 0;
}

bool isDav(const xmlChar* uri, const xmlChar* localName, const char* wanted) noexcept {
    return equals(uri, "DAV:") && equals(localName, wanted);
}

// "HTTP/1.1 200 OK": what follows the protocol counts; a bare "200" too.
bool isSuccess(std::string_view statusLine) noexcept {
    const std::size_t space = statusLine.find(' ');
    return statusLine.substr(space == std::string_view::npos ? 0 : space + 1).starts_with('2');
}

// The attributes of a start tag come as five pointers each: local name, prefix, namespace, value, value end.
bool preservesSpace(int count, const xmlChar** attributes) noexcept {
    for (int i = 0; i < count; ++i) {
        const xmlChar** attribute = attributes + 5 * i;
        const std::string_view value(reinterpret_cast<const char*>(attribute[3]),
                                     static_cast<std::size_t>(attribute[4] - attribute[3]));
        if (equals(attribute[0], "space") &&
            equals(attribute[2], reinterpret_cast<const char*>(XML_XML_NAMESPACE)) && value == "preserve")
            return true;
    }
    return false;
}

void silent(void*, xmlErrorPtr) {}

struct ParserFree {
    void operator()(xmlParserCtxt* ctxt) const noexcept {
        // The document the parser keeps for a DTD's declarations; no element ever goes into it.
        if (ctxt->myDoc) xmlFreeDoc(ctxt->myDoc);
        xmlFreeParserCtxt(ctxt);
    }
};

}  // namespace

struct MultistatusReader::Impl {
    OnResponse onResponse;
    std::function<void()> onRestarted;
    std::unique_ptr<xmlParserCtxt, ParserFree> parser;
    std::exception_ptr failure;  // thrown by onResponse inside the parser, raised again by feed
    std::string start;           // the first octets, until it is known whether they are a byte-order mark
    bool started = false;
    bool broken = false;
    bool rootClosed = false;
    bool ended = false;  // what follows is not part of the document
    bool multistatus = false;
    int depth = 0;     // of the element being read; the root is 1
    int preserve = 0;  // depth of the outermost element whose white space is kept; 0 for none

    // The response being read (depth 2), its propstat (3), the first prop of that (4) and the first resource
    // type in that prop (5).
    bool inResponse = false;
    bool hrefSeen = false;
    bool hasPropstat = false;
    MultistatusResponse response;
    bool inPropstat = false;
    bool propSeen = false;
    bool statusSeen = false;
    bool nameSeen = false;
    bool typeSeen = false;
    bool inProp = false;
    bool inType = false;
    bool collection = false;
    std::string status;
    std::string name;

    // The text of the element being read out: its own text so far, and the run of characters since the last
    // markup, which may turn out to be white space only.
    std::string* target = nullptr;
    int targetDepth = 0;
    std::string text;
    std::string run;

    Impl(OnResponse responses, std::function<void()> restarts)
        : onResponse(std::move(responses)), onRestarted(std::move(restarts)) {
        reset();
    }

    void reset() {
        xmlSAXHandler handler;
        std::memset(&handler, 0, sizeof handler);
        // The default handlers keep a DTD's entity declarations, so that what is declared is also known.
        xmlSAXVersion(&handler, 2);
        handler.startElementNs = &onStart;
        handler.endElementNs = &onEnd;
        handler.characters = &onText;
        handler.ignorableWhitespace = &onText;
        handler.cdataBlock = &onCData;
        handler.comment = &onComment;
        handler.processingInstruction = &onInstruction;
        handler.reference = &onReference;
        handler.serror = &silent;
        parser.reset(xmlCreatePushParserCtxt(&handler, nullptr, nullptr, 0, nullptr));
        if (!parser) throw std::bad_alloc();
        xmlCtxtUseOptions(parser.get(), kSafeOptions);
        xmlSwitchEncoding(parser.get(), XML_CHAR_ENCODING_UTF8);
        parser->_private = this;
        failure = nullptr;
        start.clear();
        started = broken = rootClosed = ended = multistatus = inResponse = inPropstat = inProp = inType =
            false;
        depth = preserve = 0;
        target = nullptr;
        text.clear();
        run.clear();
    }

    void take(std::string_view piece) {
        if (ended) return;
        const std::size_t nul = piece.find('\0');
        if (nul == std::string_view::npos) return push(piece, false);
        push(piece.substr(0, nul), false);
        // libxml2 reading a whole text takes a NUL after the root element for the text's end; inside, it is
        // an error like any other.
        ended = rootClosed;
        if (!ended) push(piece.substr(nul), false);
    }

    void push(std::string_view piece, bool last) {
        if (piece.empty() && !last) return;
        while (!broken) {
            const int size = static_cast<int>(std::min<std::size_t>(piece.size(), INT_MAX));
            xmlParseChunk(parser.get(), piece.data(), size, last && size == static_cast<int>(piece.size()));
            broken = !parser->wellFormed || !parser->nsWellFormed || failure;
            piece.remove_prefix(static_cast<std::size_t>(size));
            if (piece.empty()) break;
        }
        if (failure) std::rethrow_exception(std::exchange(failure, nullptr));
    }

    // The parser calls back with its own context; entities are checked in contexts of their own, whose
    // content is not part of the reply's text.
    static Impl* owner(void* context) noexcept {
        auto* ctxt = static_cast<xmlParserCtxt*>(context);
        auto* self = ctxt ? static_cast<Impl*>(ctxt->_private) : nullptr;
        return self && self->parser.get() == ctxt && !self->failure ? self : nullptr;
    }

    // Nothing may unwind through the parser: a failure stops it and is raised again by feed.
    template <typename Step>
    static void guarded(void* context, Step&& step) noexcept {
        Impl* self = owner(context);
        if (!self) return;
        try {
            step(*self);
        } catch (...) {
            self->failure = std::current_exception();
            xmlStopParser(self->parser.get());
        }
    }

    static void onStart(void* context, const xmlChar* localName, const xmlChar*, const xmlChar* uri, int,
                        const xmlChar**, int attributeCount, int, const xmlChar** attributes) {
        guarded(context, [&](Impl& self) { self.startElement(localName, uri, attributeCount, attributes); });
    }
    static void onEnd(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
        guarded(context, [](Impl& self) { self.endElement(); });
    }
    static void onText(void* context, const xmlChar* characters, int length) {
        guarded(context, [&](Impl& self) {
            if (self.target)
                self.run.append(reinterpret_cast<const char*>(characters), static_cast<std::size_t>(length));
        });
    }
    static void onCData(void* context, const xmlChar* characters, int length) {
        guarded(context, [&](Impl& self) {
            if (!self.target) return;
            self.endRun();
            self.text.append(reinterpret_cast<const char*>(characters), static_cast<std::size_t>(length));
        });
    }
    // Markup that ends a run of text and adds none.
    static void onComment(void* context, const xmlChar*) {
        guarded(context, [](Impl& self) { self.endRun(); });
    }
    static void onInstruction(void* context, const xmlChar*, const xmlChar*) {
        guarded(context, [](Impl& self) { self.endRun(); });
    }
    static void onReference(void* context, const xmlChar*) {
        guarded(context, [](Impl& self) { self.endRun(); });
    }

    void endRun() {
        if (run.empty()) return;
        if (preserve != 0 || !isBlank(run)) text += run;
        run.clear();
    }

    void readText(std::string& into) {
        target = &into;
        targetDepth = depth;
        text.clear();
        run.clear();
    }

    void startElement(const xmlChar* localName, const xmlChar* uri, int attributeCount,
                      const xmlChar** attributes) {
        endRun();
        ++depth;
        if (preserve == 0 && preservesSpace(attributeCount, attributes)) preserve = depth;
        if (depth == 1) multistatus = isDav(uri, localName, "multistatus");
        if (!multistatus) return;
        if (depth == 2 && isDav(uri, localName, "response")) {
            inResponse = true;
            hrefSeen = hasPropstat = false;
            response = {};
        } else if (depth == 3 && inResponse) {
            if (!hrefSeen && isDav(uri, localName, "href")) {
                hrefSeen = true;
                readText(response.href);
            } else if (isDav(uri, localName, "propstat")) {
                inPropstat = true;
                propSeen = statusSeen = nameSeen = typeSeen = collection = false;
                status.clear();
                name.clear();
            }
        } else if (depth == 4 && inPropstat) {
            if (!propSeen && isDav(uri, localName, "prop")) {
                propSeen = inProp = true;
            } else if (!statusSeen && isDav(uri, localName, "status")) {
                statusSeen = true;
                readText(status);
            }
        } else if (depth == 5 && inProp) {
            if (!nameSeen && isDav(uri, localName, "displayname")) {
                nameSeen = true;
                readText(name);
            } else if (!typeSeen && isDav(uri, localName, "resourcetype")) {
                typeSeen = inType = true;
            }
        } else if (depth == 6 && inType && isDav(uri, localName, "collection")) {
            collection = true;
        }
    }

    void endElement() {
        endRun();
        if (target && targetDepth == depth) {
            *target = trimmed(text);
            target = nullptr;
        }
        if (depth == 5) inType = false;
        if (depth == 4) inProp = false;
        if (depth == 3 && inPropstat) endPropstat();
        if (depth == 2 && inResponse) {
            inResponse = false;
            if (hasPropstat) onResponse(response);
        }
        if (preserve == depth) preserve = 0;
        rootClosed = --depth == 0;
    }

    void endPropstat() {
        inPropstat = false;
        hasPropstat = true;
        if (!isSuccess(status)) return;
        if (response.displayName.empty()) response.displayName = name;
        response.collection = response.collection || collection;
    }
};

MultistatusReader::MultistatusReader(OnResponse onResponse, std::function<void()> onRestarted)
    : impl_(std::make_unique<Impl>(std::move(onResponse), std::move(onRestarted))) {}
MultistatusReader::~MultistatusReader() = default;
MultistatusReader::MultistatusReader(MultistatusReader&& other) noexcept = default;
MultistatusReader& MultistatusReader::operator=(MultistatusReader&& other) noexcept = default;

void MultistatusReader::feed(std::string_view text) {
    Impl& d = *impl_;
    if (d.started) return d.take(text);
    // A byte-order mark may come split over pieces.
    d.start.append(text);
    if (d.start.size() < kUtf8Bom.size() && kUtf8Bom.starts_with(d.start)) return;
    d.started = true;
    std::string_view first = d.start;
    if (first.starts_with(kUtf8Bom)) first.remove_prefix(kUtf8Bom.size());
    d.take(first);
    std::string().swap(d.start);
}

bool MultistatusReader::finish() {
    Impl& d = *impl_;
    if (!d.started) d.take(d.start);
    d.started = true;
    d.push({}, true);
    return !d.broken;
}

void MultistatusReader::restart() {
    impl_->reset();
    if (impl_->onRestarted) impl_->onRestarted();
}

bool MultistatusReader::isMultistatus() const noexcept {
    return impl_->multistatus;
}

}  // namespace ostrel
