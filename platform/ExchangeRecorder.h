#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Exchange.h"

namespace ostrel {

// Records the round trips of a request object's transfers for an observer, from what the transport shows of
// the wire, and hands each over with its credentials hidden (see Redaction.h). One exchange is filled again
// for every round trip, so that its texts keep their room. Where the observer wants no whole exchanges, a
// transfer is summed up from what the transport counted of it instead.
class ExchangeRecorder {
public:
    void setObserver(ExchangeObserver* observer) { observer_ = observer; }

    // A transfer starts with its first round trip; whether it is recorded, and how, is settled here for
    // the whole transfer.
    void begin(std::string_view method, std::string_view url, std::string_view user);
    bool recording() const { return mode_ != Mode::Off; }
    // The wire is wanted: every call below up to finish.
    bool recordsWire() const { return mode_ == Mode::Whole; }

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

    // What the transport counted of a whole transfer.
    struct Totals {
        int status = 0;
        std::string_view reason;
        long long octetsOut = 0;
        long long octetsIn = 0;
        long long bodyOutSize = 0;
        long long bodyInSize = 0;
    };
    // The transfer is over where no wire was recorded: its summary goes to the observer.
    void finishSummary(std::string failure, const Totals& totals);

private:
    enum class Mode { Off, Summary, Whole };
    void clear();

    ExchangeObserver* observer_ = nullptr;
    Mode mode_ = Mode::Off;
    Exchange exchange_;
    std::chrono::steady_clock::time_point start_;
    std::string method_;
    std::string user_;
    std::vector<std::string> sentCredentials_;  // room for the Authorization values of a round trip
};

}  // namespace ostrel
