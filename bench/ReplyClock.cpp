#include "ReplyClock.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace ostrel::bench {

namespace {

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return address;
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

void noDelay(int fd) {
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

}  // namespace

ReplyClock::ReplyClock(int upstreamPort) : upstreamPort_(upstreamPort) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) throw std::runtime_error("relay: no socket");
    sockaddr_in address = loopback(0);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0) {
        ::close(listener_);
        throw std::runtime_error(std::string("relay: cannot listen: ") + std::strerror(errno));
    }
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    if (::pipe2(wake_, O_CLOEXEC) != 0) {
        ::close(listener_);
        throw std::runtime_error("relay: no pipe");
    }
    thread_ = std::thread([this] { relay(); });
}

ReplyClock::~ReplyClock() {
    const char stop = 's';
    [[maybe_unused]] const ssize_t ignored = ::write(wake_[1], &stop, 1);
    thread_.join();
    ::close(wake_[0]);
    ::close(wake_[1]);
    ::close(listener_);
}

Clock::time_point ReplyClock::lastReplyByte() const {
    return Clock::time_point(Clock::duration(lastReply_.load()));
}

void ReplyClock::relay() {
    struct Pair {
        int client;
        int server;
    };
    std::vector<Pair> pairs;
    std::vector<char> buffer(256 * 1024);
    for (;;) {
        std::vector<pollfd> fds = {{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
        for (const Pair& pair : pairs) {
            fds.push_back({pair.client, POLLIN, 0});
            fds.push_back({pair.server, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents != 0) break;
        // Only the pairs that were polled have results; one accepted below waits for the next round.
        const std::size_t polled = pairs.size();
        if (fds[1].revents & POLLIN) {
            const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                sockaddr_in address = loopback(upstreamPort_);
                if (server >= 0 &&
                    ::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
                    noDelay(client);
                    noDelay(server);
                    pairs.push_back({client, server});
                    ++connections_;
                } else {
                    if (server >= 0) ::close(server);
                    ::close(client);
                }
            }
        }
        std::vector<Pair> open(pairs.begin() + static_cast<std::ptrdiff_t>(polled), pairs.end());
        for (std::size_t i = 0; i < polled; ++i) {
            const Pair pair = pairs[i];
            bool alive = true;
            for (int side = 0; side < 2 && alive; ++side) {
                const pollfd& result = fds[2 + 2 * i + static_cast<std::size_t>(side)];
                if (result.revents == 0) continue;
                const int from = side == 0 ? pair.client : pair.server;
                const int to = side == 0 ? pair.server : pair.client;
                const ssize_t got = ::recv(from, buffer.data(), buffer.size(), 0);
                if (got <= 0) {
                    alive = got < 0 && errno == EINTR;
                    continue;
                }
                alive = writeAll(to, buffer.data(), static_cast<std::size_t>(got));
                if (side == 1) lastReply_.store(Clock::now().time_since_epoch().count());
            }
            if (alive) {
                open.push_back(pair);
            } else {
                ::close(pair.client);
                ::close(pair.server);
            }
        }
        pairs.swap(open);
    }
    for (const Pair& pair : pairs) {
        ::close(pair.client);
        ::close(pair.server);
    }
}

}  // namespace ostrel::bench
