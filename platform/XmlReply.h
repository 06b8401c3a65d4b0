#pragma once

#include <memory>
#include <string_view>

#include "platform/BodySink.h"
#include "platform/XmlDocument.h"

namespace ostrel {

class XmlStreamParser;
namespace text {
class Decoder;
}

// How a reply's body is read as XML.
enum class XmlReading {
    // As responseXML reads it: only a body with an XML media type, or none, decoded by the charset of its
    // Content-Type, else by its byte-order mark or XML declaration (RFC 7303).
    Reply,
    // The same, and a body of another media type but HTML read by its byte-order mark or declaration:
    // servers label a document by its name's extension, and an XML document may come as text/plain. Only a
    // reply with a status below 300 holds a document.
    Document,
    // Whatever its media type, the body decoded as responseText decodes it, then read as XML text.
    Text,
};

// Reads a reply's body as XML while it arrives, to the document that reading the whole body gives.
class XmlReplyReader : public BodySink {
public:
    explicit XmlReplyReader(XmlReading reading);
    ~XmlReplyReader() override;
    XmlReplyReader(const XmlReplyReader&) = delete;
    XmlReplyReader& operator=(const XmlReplyReader&) = delete;

    void begin(int status, std::string_view contentType) override;
    void take(std::string_view octets) override;
    // The document the body held. It has no child nodes when the body was empty, not read for its media
    // type, or not well-formed; parseError says why, except for a body that was not read.
    XmlDocument document();

private:
    XmlReading reading_;
    std::unique_ptr<XmlStreamParser> parser_;
    std::unique_ptr<text::Decoder> decoder_;
};

}  // namespace ostrel
