#pragma once

// The headers of one request, each name once and in the order first set. Internal to the platform layer;
// nothing here knows the transport.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ostrel::http {

class RequestHeaders {
public:
    using Entries = std::vector<std::pair<std::string, std::string>>;

    void clear() { entries_.clear(); }
    // Setting a name again replaces its earlier value. A name that is not an HTTP token, or a value holding
    // CR, LF or NUL, is refused with an Error so that no header can be injected.
    void set(std::string_view name, std::string_view value);
    // The value of a header (case-insensitive name); nothing when it was not set.
    const std::string* find(std::string_view name) const;
    // Refuses with an Error a Content-Length that differs from the octet count of the body to be sent.
    void checkLength(std::size_t bodyOctets) const;
    const Entries& entries() const { return entries_; }

private:
    Entries entries_;
};

}  // namespace ostrel::http
