#pragma once

// The headers of one request, each name once and in the order first set. Internal to the platform layer;
// nothing here calls the transport.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ostrel::http {

class RequestHeaders {
public:
    void clear() { entries_.clear(); }
    // Setting a name again replaces its earlier value. A name that is not an HTTP token, or a value holding
    // CR, LF or NUL, is refused with an Error so that no header can be injected.
    void set(std::string_view name, std::string_view value);
    // The value of a header (case-insensitive name); nothing when it was not set.
    const std::string* find(std::string_view name) const;
    // Refuses with an Error a Content-Length that differs from the octet count of the body to be sent.
    void checkLength(std::size_t bodyOctets) const;
    // The header lines as the transport takes them. It would otherwise add headers of its own: a form
    // Content-Type for a body, and an Expect: 100-continue that stalls against servers that ignore it; an
    // empty "Name:" line tells it to send none of that name.
    std::vector<std::string> transportLines() const;

private:
    std::vector<std::pair<std::string, std::string>> entries_;
};

}  // namespace ostrel::http
