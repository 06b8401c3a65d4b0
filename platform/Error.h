#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace ostrel {

// The one exception type of the program. Every failure carries a number, the name of what failed (its
// source) and a description a person can read. Where a reply or a request explains the failure, its text is
// kept apart as the details, so that nobody has to cut it back out of the description: the description is
// then the headline, a line break and the details.
class Error : public std::runtime_error {
public:
    Error(std::int32_t number, std::string source, std::string description);
    Error(std::int32_t number, std::string source, std::string_view headline, std::string_view details);

    std::int32_t number() const noexcept { return number_; }
    const std::string& source() const noexcept { return source_; }
    const std::string& description() const noexcept { return description_; }
    std::string_view headline() const noexcept {
        return std::string_view(description_).substr(0, headlineLength_);
    }
    // Empty where the failure has no text beyond its headline.
    std::string_view details() const noexcept {
        return headlineLength_ == description_.size()
                   ? std::string_view()
                   : std::string_view(description_).substr(headlineLength_ + kBreak.size());
    }

private:
    static constexpr std::string_view kBreak = "\r\n";

    std::int32_t number_;
    std::string source_;
    std::string description_;
    std::size_t headlineLength_;
};

// Error numbers. The client's own errors share the base number for errors an object defines; the platform
// services have ranges of their own so that a message box tells at a glance which layer failed.
namespace errors {
// Base number for errors defined by an object (0x80040000): every error of the WebDAV client.
inline constexpr std::int32_t kObjectDefined = static_cast<std::int32_t>(0x80040000u);
// Transport failures of the request object: kHttpBase plus the transport's own failure code.
inline constexpr std::int32_t kHttpBase = static_cast<std::int32_t>(0x800C0000u);
// The request object was used out of order (send before open, reply read before send).
inline constexpr std::int32_t kHttpInvalidState = static_cast<std::int32_t>(0x800C0100u);
// A header name or value that would break the request (CR or LF, an empty name, a Content-Length that does
// not match the body).
inline constexpr std::int32_t kHttpBadHeader = static_cast<std::int32_t>(0x800C0101u);
// The URL cannot be used (empty, no scheme the request object speaks, malformed).
inline constexpr std::int32_t kHttpBadUrl = static_cast<std::int32_t>(0x800C0102u);
// A user id or password holding a control character (CR, LF, ...): refused before anything is sent.
inline constexpr std::int32_t kHttpBadCredentials = static_cast<std::int32_t>(0x800C0103u);
// A redirect to another server (host or port), which is never followed.
inline constexpr std::int32_t kHttpRedirectElsewhere = static_cast<std::int32_t>(0x800C0104u);
// A reply the request object refuses to read: a transfer coding it never asked for.
inline constexpr std::int32_t kHttpRefusedReply = static_cast<std::int32_t>(0x800C0105u);
// The user cancelled a command: its request in flight, or a step after it (writing or reading the result).
inline constexpr std::int32_t kHttpCancelled = static_cast<std::int32_t>(0x800C0110u);
// XML document service: an unknown property or an XPath expression that does not compile.
inline constexpr std::int32_t kXmlBadArgument = static_cast<std::int32_t>(0x800C0200u);
// The desktop's secret service refused to keep or forget a password.
inline constexpr std::int32_t kKeyring = static_cast<std::int32_t>(0x800C0300u);
// File operations: kFileBase plus the system's errno.
inline constexpr std::int32_t kFileBase = static_cast<std::int32_t>(0x80070000u);
}  // namespace errors

}  // namespace ostrel
