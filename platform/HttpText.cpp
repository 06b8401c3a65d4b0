#include "platform/HttpText.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/Error.h"
#include "platform/HttpRequest.h"
#include "platform/TextCodec.h"
#include "platform/XmlReply.h"

namespace ostrel {

namespace http {

namespace {

bool isTokenChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

}  // namespace

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool isToken(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c != '\0' && isTokenChar(c); });
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() &&
           (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n')) {
        text.remove_suffix(1);
    }
    return text;
}

bool isHex(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

std::string_view standardReasonPhrase(int status) {
    switch (status) {
        case 100:
            return "Continue";
        case 101:
            return "Switching Protocols";
        case 102:
            return "Processing";
        case 200:
            return "OK";
        case 201:
            return "Created";
        case 202:
            return "Accepted";
        case 203:
            return "Non-Authoritative Information";
        case 204:
            return "No Content";
        case 205:
            return "Reset Content";
        case 206:
            return "Partial Content";
        case 207:
            return "Multi-Status";
        case 208:
            return "Already Reported";
        case 300:
            return "Multiple Choices";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 303:
            return "See Other";
        case 304:
            return "Not Modified";
        case 307:
            return "Temporary Redirect";
        case 308:
            return "Permanent Redirect";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 402:
            return "Payment Required";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 406:
            return "Not Acceptable";
        case 407:
            return "Proxy Authentication Required";
        case 408:
            return "Request Timeout";
        case 409:
            return "Conflict";
        case 410:
            return "Gone";
        case 411:
            return "Length Required";
        case 412:
            return "Precondition Failed";
        case 413:
            return "Payload Too Large";
        case 414:
            return "URI Too Long";
        case 415:
            return "Unsupported Media Type";
        case 416:
            return "Range Not Satisfiable";
        case 417:
            return "Expectation Failed";
        case 422:
            return "Unprocessable Entity";
        case 423:
            return "Locked";
        case 424:
            return "Failed Dependency";
        case 426:
            return "Upgrade Required";
        case 428:
            return "Precondition Required";
        case 429:
            return "Too Many Requests";
        case 431:
            return "Request Header Fields Too Large";
        case 500:
            return "Internal Server Error";
        case 501:
            return "Not Implemented";
        case 502:
            return "Bad Gateway";
        case 503:
            return "Service Unavailable";
        case 504:
            return "Gateway Timeout";
        case 505:
            return "HTTP Version Not Supported";
        case 507:
            return "Insufficient Storage";
        case 508:
            return "Loop Detected";
        default:
            return "";
    }
}

bool isXmlMediaType(std::string_view contentType) {
    const std::string type = text::asciiLower(trim(contentType.substr(0, contentType.find(';'))));
    return type.empty() || type == "text/xml" || type == "application/xml" || type.ends_with("+xml");
}

std::optional<StatusLine> statusLineOf(std::string_view line) {
    line = trim(line);
    if (!line.starts_with("HTTP/")) return std::nullopt;
    StatusLine status;
    const std::size_t codeStart = line.find(' ');
    if (codeStart == std::string_view::npos) return status;
    const std::size_t reasonStart = line.find(' ', codeStart + 1);
    status.code = std::string(line.substr(codeStart + 1, reasonStart == std::string_view::npos
                                                             ? std::string_view::npos
                                                             : reasonStart - codeStart - 1));
    if (reasonStart != std::string_view::npos)
        status.reason = std::string(trim(line.substr(reasonStart + 1)));
    return status;
}

bool isHtmlMediaType(std::string_view contentType) {
    std::string_view type = contentType.substr(0, contentType.find(';'));
    type.remove_prefix(std::min(type.size(), type.find_first_not_of(' ')));
    type = type.substr(0, type.find_last_not_of(' ') + 1);
    return equalsIgnoreCase(type, "text/html");
}

std::string quotedBody(std::string_view start, std::size_t size, const std::string& contentType,
                       std::size_t limit) {
    const std::string charset = text::charsetOf(contentType);
    if (size <= limit) return text::decodeToUtf8(start, charset);
    // Cut between two characters where the reply is UTF-8, its usual form; UTF-16 is cut between two units.
    const bool utf16 =
        charset.starts_with("utf-16") || start.starts_with("\xFF\xFE") || start.starts_with("\xFE\xFF");
    const std::size_t cut = utf16 ? limit : text::utf8Boundary(start, limit);
    return text::decodeToUtf8(start.substr(0, cut), charset) +
           text::moreOctets(static_cast<long long>(size - cut));
}

XmlDocument xmlBody(std::string_view body, int status, const std::string& contentType) {
    XmlReplyReader reader(XmlReading::Reply);
    reader.begin(status, contentType);
    reader.take(body);
    return reader.document();
}

bool isOnlyChunked(std::string_view codings) {
    while (!codings.empty()) {
        const std::size_t comma = codings.find(',');
        if (!equalsIgnoreCase(trim(codings.substr(0, comma)), "chunked")) return false;
        codings.remove_prefix(comma == std::string_view::npos ? codings.size() : comma + 1);
    }
    return true;
}

std::string sizeText(std::size_t bytes) {
    constexpr std::size_t kMiB = std::size_t(1) << 20;
    return bytes % kMiB == 0 ? std::to_string(bytes / kMiB) + " MiB" : std::to_string(bytes) + " bytes";
}

}  // namespace http

namespace {
constexpr const char* kSource = "HttpRequest";
}  // namespace

void checkCredentials(std::string_view user, std::string_view password) {
    const auto holdsControl = [](std::string_view text) {
        return std::any_of(text.begin(), text.end(), [](char c) {
            const auto u = static_cast<unsigned char>(c);
            return u < 0x20 || u == 0x7F;
        });
    };
    for (const auto& [what, text] : {std::pair{"user id", user}, std::pair{"password", password}}) {
        if (holdsControl(text)) {
            throw Error(errors::kHttpBadCredentials, kSource,
                        std::string("The ") + what +
                            " holds a line break or another control character; it was refused so that "
                            "nothing can be injected into the request");
        }
    }
}

}  // namespace ostrel
