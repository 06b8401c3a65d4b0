#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "Support.h"
#include "tests/support/Loopback.h"

namespace ostrel::bench {

// A byte-for-byte TCP relay on 127.0.0.1 in front of the real server, noting when it last passed a reply
// byte to the client. The windows make their request and fill their controls in one synchronous handler, so
// this is how the time after the reply arrived is told apart from the time the server took.
class ReplyClock {
public:
    // Relays to 127.0.0.1:upstreamPort; listens on a free loopback port.
    explicit ReplyClock(int upstreamPort);
    ~ReplyClock();
    ReplyClock(const ReplyClock&) = delete;
    ReplyClock& operator=(const ReplyClock&) = delete;

    int port() const { return listener_.port(); }
    // When the last byte from the server went to the client.
    Clock::time_point lastReplyByte() const;
    // Connections the client opened through the relay.
    long connections() const { return connections_.load(); }

private:
    void relay();

    int upstreamPort_;
    test::LoopbackListener listener_{16};
    int wake_[2] = {-1, -1};
    std::atomic<Clock::rep> lastReply_{0};
    std::atomic<long> connections_{0};
    std::thread thread_;
};

}  // namespace ostrel::bench
