#include "ReplyClock.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace ostrel::bench {

ReplyClock::ReplyClock(int upstreamPort) : upstreamPort_(upstreamPort) {
    if (::pipe2(wake_, O_CLOEXEC) != 0) throw std::runtime_error("relay: no pipe");
    thread_ = std::thread([this] { relay(); });
}

ReplyClock::~ReplyClock() {
    const char stop = 's';
    [[maybe_unused]] const ssize_t ignored = ::write(wake_[1], &stop, 1);
    thread_.join();
    ::close(wake_[0]);
    ::close(wake_[1]);
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
        std::vector<pollfd> fds = {{wake_[0], POLLIN, 0}, {listener_.fd(), POLLIN, 0}};
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
            const int client = ::accept4(listener_.fd(), nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                const int server = test::connectLoopback(upstreamPort_);
                if (server >= 0) {
                    test::noDelay(client);
                    pairs.push_back({client, server});
                    ++connections_;
                } else {
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
                alive = test::sendAll(to, std::string_view(buffer.data(), static_cast<std::size_t>(got)));
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
