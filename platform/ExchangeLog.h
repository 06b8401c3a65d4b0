#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/Exchange.h"

namespace ostrel {

// The last exchanges of a request object, as a protocol log keeps them. It is a ring: once it is full each
// new exchange is swapped with the oldest, which goes back to the request object to be cleared and filled
// again, so a long session neither copies nor allocates a whole exchange per request on the request's thread.
// Exchanges are numbered from 0 in the order they came; a reader asks for them by number and learns when one
// has been overwritten.
//
// Until someone watches the log, requests are kept as summaries only, so that a log nobody reads costs the
// requests nothing worth measuring; from then on, for the rest of the run, as whole exchanges.
//
// One thread adds (the one that runs the requests) while another reads.
class ExchangeLog : public ExchangeObserver {
public:
    // What a protocol log keeps.
    static constexpr std::size_t kKept = 1000;

    explicit ExchangeLog(std::size_t capacity);

    // Tells added, on the adding thread and outside the lock, of each exchange stored from now on.
    void setListener(std::function<void()> added);
    // Requests from the next one on are recorded whole.
    void watch() { watched_ = true; }
    bool wantsWholeExchanges() const override { return watched_; }
    // Keeps the exchange: a copy while the ring fills, then by swapping it with the oldest.
    void exchanged(Exchange& exchange) override;

    // The number the next exchange will have: how many have come so far.
    std::uint64_t next() const;
    // The number of the oldest exchange still kept (equal to next() while none is).
    std::uint64_t oldest() const;
    // A copy of exchange number, or nothing once it has been overwritten (or before it came).
    std::optional<Exchange> at(std::uint64_t number) const;
    // Copies of the kept exchanges, oldest first.
    std::vector<Exchange> kept() const;
    // Calls visit with the number and exchange of each kept one from number from on, oldest first, while
    // holding the lock: visit must be quick and must not call back into this log. Returns the number of
    // the oldest exchange kept at that moment.
    std::uint64_t visitFrom(std::uint64_t from,
                            const std::function<void(std::uint64_t, const Exchange&)>& visit) const;

private:
    std::uint64_t oldestLocked() const;

    const std::size_t capacity_;
    std::atomic<bool> watched_{false};
    mutable std::mutex mutex_;
    std::function<void()> added_;
    std::vector<Exchange> slots_;
    std::uint64_t next_ = 0;
};

}  // namespace ostrel
