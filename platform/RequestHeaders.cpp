#include "platform/RequestHeaders.h"

#include "platform/Error.h"
#include "platform/HttpText.h"
#include "platform/TextCodec.h"

namespace ostrel::http {

namespace {
constexpr const char* kSource = "HttpRequest";
}  // namespace

void RequestHeaders::set(std::string_view name, std::string_view value) {
    if (!isToken(name)) {
        throw Error(errors::kHttpBadHeader, kSource,
                    "The header name \"" + text::toValidUtf8(name) + "\" is not allowed in a request");
    }
    if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
        throw Error(errors::kHttpBadHeader, kSource,
                    "The value of header \"" + std::string(name) +
                        "\" contains a line break; it was refused so that no header can be injected");
    }
    for (auto& [key, existing] : entries_) {
        if (equalsIgnoreCase(key, name)) {
            existing = value;
            return;
        }
    }
    entries_.emplace_back(name, value);
}

const std::string* RequestHeaders::find(std::string_view name) const {
    for (const auto& [key, value] : entries_) {
        if (equalsIgnoreCase(key, name)) return &value;
    }
    return nullptr;
}

void RequestHeaders::checkLength(std::size_t bodyOctets) const {
    const std::string* length = find("Content-Length");
    if (length && trim(*length) != std::to_string(bodyOctets)) {
        throw Error(errors::kHttpBadHeader, kSource,
                    "Content-Length \"" + *length + "\" does not match the " + std::to_string(bodyOctets) +
                        " octets of the body");
    }
}

std::vector<std::string> RequestHeaders::transportLines() const {
    std::vector<std::string> lines;
    for (const auto& [name, value] : entries_) {
        // "Name;" is how the transport is told to send a header with an empty value.
        lines.push_back(value.empty() ? name + ";" : name + ": " + value);
    }
    for (const char* own : {"Content-Type", "Expect"}) {
        if (!find(own)) lines.push_back(std::string(own) + ":");
    }
    return lines;
}

}  // namespace ostrel::http
