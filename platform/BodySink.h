#pragma once

#include <string_view>

namespace ostrel {

// Takes a reply's body as it arrives, in place of the request object keeping it whole (see
// HttpRequest::readBodyWith). Called on the thread that sends.
class BodySink {
public:
    virtual ~BodySink() = default;
    // A reply's header is in: its status code and Content-Type. What was taken before belongs to an earlier
    // reply of the same request (a challenge answered, a redirect followed, a request sent again) and is to
    // be forgotten.
    virtual void begin(int status, std::string_view contentType) = 0;
    // The next octets of the body, its transfer framing taken off. Throws nothing but std::bad_alloc, which
    // ends the transfer as running out of memory does.
    virtual void take(std::string_view octets) = 0;
};

}  // namespace ostrel
