#include "platform/XmlReply.h"

#include <string>

#include "platform/HttpText.h"
#include "platform/TextCodec.h"
#include "platform/TextDecoder.h"
#include "platform/XmlStreamParser.h"

namespace ostrel {

XmlReplyReader::XmlReplyReader(XmlReading reading) : reading_(reading) {}

XmlReplyReader::~XmlReplyReader() = default;

void XmlReplyReader::begin(int status, std::string_view contentType) {
    decoder_.reset();
    parser_.reset();
    if (reading_ == XmlReading::Document && status >= 300) return;
    using Input = XmlStreamParser::Input;
    const std::string charset = text::charsetOf(contentType);
    const auto decodeBy = [this](const std::string& name) {
        parser_ = std::make_unique<XmlStreamParser>(Input::Text);
        decoder_ = std::make_unique<text::Decoder>(
            name, [parser = parser_.get()](std::string_view text) { parser->push(text); });
    };
    if (reading_ == XmlReading::Text) {
        decodeBy(charset);
    } else if (!http::isXmlMediaType(contentType)) {
        // A page labelled as HTML or plain text is not an XML reply, even when it happens to be well-formed
        // (Apache's "201 Created" page is).
        if (reading_ == XmlReading::Document && !http::isHtmlMediaType(contentType))
            parser_ = std::make_unique<XmlStreamParser>(Input::Octets);
    } else if (text::isUtf8Name(charset)) {
        parser_ = std::make_unique<XmlStreamParser>(Input::Text);
    } else if (text::Decoder::knows(charset)) {
        // The label's charset outranks a byte-order mark and the XML declaration (RFC 7303, section 3).
        decodeBy(charset);
    } else {
        parser_ = std::make_unique<XmlStreamParser>(Input::Octets);
    }
}

void XmlReplyReader::take(std::string_view octets) {
    if (decoder_) {
        decoder_->push(octets);
    } else if (parser_) {
        parser_->push(octets);
    }
}

XmlDocument XmlReplyReader::document() {
    if (!parser_) return XmlDocument();
    if (decoder_) decoder_->finish();
    XmlDocument document = parser_->finish();
    decoder_.reset();
    parser_.reset();
    return document;
}

}  // namespace ostrel
