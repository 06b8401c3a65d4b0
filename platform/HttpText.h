#pragma once

// Text rules of HTTP shared by the request object's parts: names, status lines and media types. Internal to
// the platform layer; nothing here knows the transport.
#include <optional>
#include <string>
#include <string_view>

#include "platform/XmlDocument.h"

namespace ostrel::http {

bool equalsIgnoreCase(std::string_view a, std::string_view b);
// An HTTP token (RFC 9110): what a method or a header name must be.
bool isToken(std::string_view text);
// Without the spaces, tabs and line ends around it.
std::string_view trim(std::string_view text);
bool isHex(char c);

// The standard reason phrase of a status code; empty for a code without one.
std::string_view standardReasonPhrase(int status);
// XML media types (text/xml, application/xml, ...+xml), and a body without a label.
bool isXmlMediaType(std::string_view contentType);

struct StatusLine {
    std::string code;
    std::string reason;
};
// "HTTP/1.1 207 Multi-Status": the code and the reason phrase, which may be missing; nothing for a line
// that is not a status line.
std::optional<StatusLine> statusLineOf(std::string_view line);

// text/html, whatever its parameters.
bool isHtmlMediaType(std::string_view contentType);

// At most the first limit octets of a reply's body of size octets decoded by its Content-Type (see
// HttpRequest), then "… (N more octets)" for the rest. Only its start is needed: the limit and a few octets.
std::string quotedBody(std::string_view start, std::size_t size, const std::string& contentType,
                       std::size_t limit);
// A reply's body parsed as XML by its Content-Type (see HttpRequest::responseXML).
XmlDocument xmlBody(std::string_view body, int status, const std::string& contentType);

// A Transfer-Encoding naming chunked alone (once or more).
bool isOnlyChunked(std::string_view codings);
// "512 MiB", or the octets where the size is not whole mebibytes.
std::string sizeText(std::size_t bytes);

}  // namespace ostrel::http
