#pragma once

// A reply as the transport hands it over: header lines one by one (those of a 100 Continue, a challenge or a
// redirect before the final reply's), then the body in pieces. What must not be taken in is refused: the
// reader keeps why, and the transport is to stop the transfer. Internal to the platform layer; nothing here
// knows the transport.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/PageBuffer.h"

namespace ostrel {
class BodySink;
}

namespace ostrel::http {

class ReplyReader {
public:
    // Why the reader stopped the transfer: the error's number and the first line of its description.
    struct Refusal {
        std::int32_t number = 0;
        std::string description;
    };

    // Replies larger than this are refused instead of filling the memory.
    void setMaxBytes(std::size_t bytes) { maxBytes_ = bytes; }
    // Hands the body of every reply from now on to the sink (nullptr: none) instead of keeping it; only its
    // start is kept then, as much as keptStart octets, for the texts that quote it.
    void setBodySink(BodySink* sink, std::size_t keptStart);
    // Forgets the reply, before a transfer or after a failed one.
    void clear();

    // requestUrl is the URL the request was opened on, currentUrl the one the transfer is at now (a redirect
    // may have led there): a Location is resolved against the latter and must stay on the former's server.
    void takeHeaderLine(std::string_view line, const std::string& requestUrl, std::string_view currentUrl);
    // Appends a piece of the body; false, with a refusal, when it would take the body over the limit.
    bool takeBody(std::string_view piece);

    const std::optional<Refusal>& refusal() const { return refusal_; }
    // The code as written in the last status line ("207"); empty before one.
    const std::string& statusCode() const { return statusCode_; }
    // The reason phrase of the last status line, as written (possibly empty).
    const std::string& reason() const { return reason_; }
    // A header of the last reply (case-insensitive name); nothing when absent.
    const std::string* header(std::string_view name) const;
    // The body, or its start where a sink took it.
    std::string_view body() const { return body_.view(); }
    // The octets of the whole body.
    std::size_t bodySize() const { return bodySize_; }
    // A reply of this transfer asked for Digest authentication.
    bool digestChallenged() const { return digestChallenged_; }

private:
    void takeAnnouncedLength(std::string_view value);
    void checkRedirect(const std::string& location, const std::string& requestUrl,
                       std::string_view currentUrl);
    void beginSink();
    void refuse(std::int32_t number, std::string description);
    void refuseTooLarge();

    std::size_t maxBytes_ = std::size_t(512) << 20;
    std::string statusCode_;
    std::string reason_;
    std::vector<std::pair<std::string, std::string>> headers_;
    PageBuffer body_;
    std::size_t bodySize_ = 0;
    BodySink* sink_ = nullptr;
    std::size_t keptStart_ = 0;
    bool sinkBegun_ = false;  // the sink knows the reply of the last status line
    std::optional<Refusal> refusal_;
    bool digestChallenged_ = false;
};

}  // namespace ostrel::http
