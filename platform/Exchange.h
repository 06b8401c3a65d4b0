#pragma once

#include <chrono>
#include <string>

namespace ostrel {

// One round trip between the request object and the server, as a protocol log shows it: the request as it
// went out and the reply as it came in. A request answered with an authentication challenge or a redirect
// takes more than one round trip, and each is an exchange of its own, so the log shows the 401 that asked
// for credentials as well as the final reply.
//
// Nothing secret is ever held here: before the exchange is made, the values of Authorization,
// Proxy-Authorization, Cookie and Set-Cookie are "[hidden]", and so is the user information of every URL
// ("http://[hidden]@host/") and every echo of an Authorization value sent in this round trip (see
// Redaction.h). Nothing else is touched, so a path or body that happens to hold the password's letters
// reads as it went over the wire.
struct Exchange {
    // Bodies are kept up to this many octets; bodyOut and bodyIn then end there.
    static constexpr std::size_t kMaxBody = std::size_t(64) << 10;

    std::chrono::system_clock::time_point time;  // when the request went out
    std::chrono::microseconds duration{0};       // until the reply was in (or the transfer failed)
    std::string method;
    std::string url;
    std::string user;
    int status = 0;  // 0 when no reply came
    std::string reason;
    long long octetsOut = 0;  // header and body octets, as on the wire
    long long octetsIn = 0;
    std::string headersOut;  // the request line and header lines as sent, CR LF kept
    std::string headersIn;   // the status line and header lines as received
    std::string bodyOut;
    std::string bodyIn;         // the reply's body after any chunked framing is taken off
    long long bodyOutSize = 0;  // the whole body's octets, also where bodyOut was cut
    long long bodyInSize = 0;
    std::string failure;  // why the transport gave up on this round trip; empty when it did not
    // Only a summary was recorded: one exchange for the whole request (its challenges and redirects
    // included) with the final status and the octets counted, and no header or body.
    bool summary = false;
};

// Told of every exchange of a request object it is attached to. Called on the thread that runs the
// request, once the exchange is over; it must not call back into that request object. The observer may take
// what the exchange holds (by moving or swapping it out): the request object clears the exchange before it
// records the next one into it, so texts swapped in keep their room for that next one.
class ExchangeObserver {
public:
    virtual ~ExchangeObserver() = default;
    // Asked on the thread that sends, as each request starts. Whole exchanges cost the transfer a few per
    // cent (the transport's verbose mode, copies of every header and body, hiding); a summary costs it
    // next to nothing.
    virtual bool wantsWholeExchanges() const = 0;
    virtual void exchanged(Exchange& exchange) = 0;
};

}  // namespace ostrel
