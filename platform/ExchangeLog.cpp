#include "platform/ExchangeLog.h"

#include <algorithm>

namespace ostrel {

ExchangeLog::ExchangeLog(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 1)) {
    slots_.reserve(capacity_);
}

void ExchangeLog::setListener(std::function<void()> added) {
    std::lock_guard lock(mutex_);
    added_ = std::move(added);
}

void ExchangeLog::exchanged(Exchange& exchange) {
    std::function<void()> added;
    {
        std::lock_guard lock(mutex_);
        added = added_;
        if (slots_.size() < capacity_) {
            // A copy while the ring fills: each text is allocated once at its size, and the request object
            // keeps its grown ones for the next exchange.
            slots_.push_back(exchange);
        } else {
            std::swap(slots_[next_ % capacity_], exchange);
        }
        ++next_;
    }
    if (added) added();
}

std::uint64_t ExchangeLog::next() const {
    std::lock_guard lock(mutex_);
    return next_;
}

std::uint64_t ExchangeLog::oldestLocked() const {
    return next_ - slots_.size();
}

std::uint64_t ExchangeLog::oldest() const {
    std::lock_guard lock(mutex_);
    return oldestLocked();
}

std::optional<Exchange> ExchangeLog::at(std::uint64_t number) const {
    std::lock_guard lock(mutex_);
    if (number < oldestLocked() || number >= next_) return std::nullopt;
    return slots_[number % capacity_];
}

std::vector<Exchange> ExchangeLog::kept() const {
    std::vector<Exchange> copies;
    visitFrom(0, [&copies](std::uint64_t, const Exchange& exchange) { copies.push_back(exchange); });
    return copies;
}

std::uint64_t ExchangeLog::visitFrom(std::uint64_t from,
                                     const std::function<void(std::uint64_t, const Exchange&)>& visit) const {
    std::lock_guard lock(mutex_);
    const std::uint64_t oldest = oldestLocked();
    for (std::uint64_t number = std::max(from, oldest); number < next_; ++number)
        visit(number, slots_[number % capacity_]);
    return oldest;
}

}  // namespace ostrel
