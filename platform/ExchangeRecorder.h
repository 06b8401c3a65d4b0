#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Exchange.h"

namespace ostrel {

// Records the round trips of a request object's transfers for an observer, from what the transport shows of
// the wire, and hands each over with its credentials hidden (see Redaction.h). One exchange is filled again
// for every round trip, so that its texts keep their room.
class ExchangeRecorder {
public:
    ExchangeObserver* observer() const { return observer_; }
    void setObserver(ExchangeObserver* observer) { observer_ = observer; }

    // A transfer starts with its first round trip.
    void begin(std::string_view method, std::string_view url, std::string_view user);
    // The request's line and headers as sent; url is where the transfer is at. A second request in the
    // same transfer (a challenge answered, a redirect followed) ends the round trip before it.
    void requestHeader(std::string_view data, std::string url);
    void requestBody(std::string_view data);
    void replyHeader(std::string_view data);
    // Octets of the reply's body as they came over the wire, framing included.
    void replyOctets(std::size_t octets);
    // The reply's body after any chunked framing is taken off.
    void replyBody(std::string_view data);
    // The round trip is over; failure says why the transport gave up on it, or is empty.
    void finish(std::string failure);

private:
    void clear();

    ExchangeObserver* observer_ = nullptr;
    Exchange exchange_;
    std::chrono::steady_clock::time_point start_;
    std::string method_;
    std::string user_;
    std::vector<std::string> sentCredentials_;  // room for the Authorization values of a round trip
};

}  // namespace ostrel
