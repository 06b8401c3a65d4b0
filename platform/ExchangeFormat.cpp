#include "platform/ExchangeFormat.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "platform/HttpText.h"
#include "platform/Redaction.h"
#include "platform/TextCodec.h"

namespace ostrel::exchanges {

namespace {

bool containsNoCase(std::string_view text, std::string_view part) {
    const auto same = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    };
    return std::search(text.begin(), text.end(), part.begin(), part.end(), same) != text.end();
}

// The value of a header in a block of header lines; empty when it is not there.
std::string headerValue(std::string_view headers, std::string_view name) {
    while (!headers.empty()) {
        const std::size_t end = headers.find('\n');
        std::string_view line = headers.substr(0, end);
        headers.remove_prefix(end == std::string_view::npos ? headers.size() : end + 1);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || !http::equalsIgnoreCase(line.substr(0, colon), name)) continue;
        return std::string(http::trim(line.substr(colon + 1)));
    }
    return {};
}

// The encoding an XML declaration at the start of a body names; empty when there is none.
std::string declaredEncoding(std::string_view body) {
    if (!body.starts_with("<?xml")) return {};
    const std::string_view declaration = body.substr(0, body.find("?>"));
    std::size_t at = declaration.find("encoding");
    if (at == std::string_view::npos) return {};
    at = declaration.find_first_of("\"'", at);
    if (at == std::string_view::npos) return {};
    const std::size_t end = declaration.find(declaration[at], at + 1);
    return end == std::string_view::npos ? std::string()
                                         : std::string(declaration.substr(at + 1, end - at - 1));
}

// The body as it went over the wire, its octets decoded for reading (by the charset of its Content-Type,
// else a byte-order mark, else its XML declaration, else as UTF-8). Nothing in it is parsed or resolved;
// indenting, when asked for, only moves white space between markup, and a body the indenter cannot read as
// a whole document (HTML, text, XML cut at the size kept) stays as it came.
std::string readableBody(const std::string& body, const std::string& headers, const XmlIndenter& indent) {
    std::string charset = text::charsetOf(headerValue(headers, "Content-Type"));
    if (charset.empty()) charset = declaredEncoding(body);
    std::string decoded = text::decodeToUtf8(body, charset);
    const std::size_t start = decoded.find_first_not_of(" \t\r\n");
    if (!indent || start == std::string::npos || decoded[start] != '<') return decoded;
    return indent(decoded).value_or(decoded);
}

std::string bodyPart(const std::string& body, long long size, const std::string& headers,
                     const XmlIndenter& indent) {
    if (size == 0) return {};
    std::string text = "\r\n" + readableBody(body, headers, indent);
    if (static_cast<long long>(body.size()) < size) {
        text += "\r\n" + text::moreOctets(size - static_cast<long long>(body.size()));
    }
    return text + "\r\n";
}

std::string shellQuoted(std::string_view word) {
    std::string quoted = "'";
    for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Headers that curl makes itself from its own options, or that would carry a credential.
bool curlMakesItself(std::string_view name) {
    for (const char* own : {"Host", "Content-Length", "Authorization", "Proxy-Authorization"}) {
        if (http::equalsIgnoreCase(name, own)) return true;
    }
    return false;
}

// The user information of a URL is hidden in the log; curl is given the user id with -u instead, so the
// hidden text must not reach it as a user name.
std::string withoutUserInfo(const std::string& url) {
    const std::size_t start = url.find("://");
    const std::size_t at = start == std::string::npos ? start : url.find('@', start);
    if (at == std::string::npos || url.compare(start + 3, at - start - 3, redaction::kHidden) != 0)
        return url;
    return url.substr(0, start + 3) + url.substr(at + 1);
}

}  // namespace

std::string timeText(const Exchange& exchange) {
    const auto sinceEpoch = exchange.time.time_since_epoch();
    const auto seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
    const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch - seconds);
    const std::time_t whole = static_cast<std::time_t>(seconds.count());
    std::tm local{};
    localtime_r(&whole, &local);
    char text[40];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(text + length, sizeof text - length, ".%03d", static_cast<int>(milliseconds.count()));
    return text;
}

std::string outcomeText(const Exchange& exchange) {
    if (!exchange.failure.empty()) return exchange.failure;
    return std::to_string(exchange.status) + " " + exchange.reason;
}

std::string durationText(const Exchange& exchange) {
    // In whole numbers: a formatted floating-point number would follow the user's locale.
    const long long tenths = (exchange.duration.count() + 50) / 100;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " ms";
}

std::string detailsText(const Exchange& exchange, const XmlIndenter& indent) {
    std::string text = timeText(exchange) + "  " + exchange.method + " " + exchange.url + "  " +
                       outcomeText(exchange) + "  " + durationText(exchange) + ", " +
                       std::to_string(exchange.octetsOut) + " octets out, " +
                       std::to_string(exchange.octetsIn) + " in\r\n\r\n";
    if (exchange.summary) return text + std::string(kNotRecorded) + "\r\n";
    return text + exchange.headersOut +
           bodyPart(exchange.bodyOut, exchange.bodyOutSize, exchange.headersOut, indent) + "\r\n" +
           exchange.headersIn + bodyPart(exchange.bodyIn, exchange.bodyInSize, exchange.headersIn, indent);
}

std::string curlCommand(const Exchange& exchange) {
    std::string command = "curl";
    if (exchange.method != "GET") command += " -X " + exchange.method;
    bool typed = false;
    std::string_view headers = exchange.headersOut;
    headers.remove_prefix(std::min(headers.size(), headers.find('\n') + 1));  // the request line
    while (!headers.empty()) {
        const std::size_t end = headers.find('\n');
        std::string_view line = headers.substr(0, end);
        headers.remove_prefix(end == std::string_view::npos ? headers.size() : end + 1);
        while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::size_t colon = line.find(':');
        if (line.empty() || colon == std::string_view::npos || curlMakesItself(line.substr(0, colon)))
            continue;
        typed = typed || http::equalsIgnoreCase(line.substr(0, colon), "Content-Type");
        command += " -H " + shellQuoted(line);
    }
    if (exchange.bodyOutSize > 0) {
        // curl would label a body as a form otherwise; the request sent it without a type.
        if (!typed) command += " -H 'Content-Type:'";
        command += " --data-binary " + shellQuoted(exchange.bodyOut);
    }
    if (!exchange.user.empty()) command += " --anyauth -u " + shellQuoted(exchange.user);
    command += " " + shellQuoted(withoutUserInfo(exchange.url));
    if (static_cast<long long>(exchange.bodyOut.size()) < exchange.bodyOutSize) {
        command = "# The body is cut at its first " + std::to_string(exchange.bodyOut.size()) + " of " +
                  std::to_string(exchange.bodyOutSize) + " octets.\n" + command;
    }
    return command;
}

bool matches(const Exchange& exchange, std::string_view wanted, bool inBodies) {
    if (wanted.empty()) return true;
    for (const std::string* text : {&exchange.method, &exchange.url, &exchange.reason, &exchange.failure}) {
        if (containsNoCase(*text, wanted)) return true;
    }
    if (containsNoCase(std::to_string(exchange.status), wanted)) return true;
    if (!inBodies) return false;
    for (const std::string* text :
         {&exchange.headersOut, &exchange.headersIn, &exchange.bodyOut, &exchange.bodyIn}) {
        if (containsNoCase(*text, wanted)) return true;
    }
    return false;
}

}  // namespace ostrel::exchanges
