#pragma once

#include <string_view>

namespace ostrel::test {

// A listening TCP socket on 127.0.0.1 and a free port picked by the system; closed on destruction.
// Shared by the scripted server and the benchmarks' relay.
class LoopbackListener {
public:
    explicit LoopbackListener(int backlog = 64);
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    int fd() const noexcept { return fd_; }
    int port() const noexcept { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

// A connection to 127.0.0.1:port with Nagle's delay off; -1 when it cannot be made.
int connectLoopback(int port);
// Turns Nagle's delay off, so that small replies are timed as they are written.
void noDelay(int fd);
// Writes every byte, waiting while the socket is full; false once the peer is gone. stopFd, when not -1, is
// polled too: when it becomes readable the write gives up.
bool sendAll(int fd, std::string_view bytes, int stopFd = -1);

}  // namespace ostrel::test
