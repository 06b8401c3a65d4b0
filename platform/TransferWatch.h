#pragma once

// What another thread may see of a transfer in flight, and how it may stop it: the progress counts, what is
// being sent where, the cancel flag and the socket a cancel shuts down. Internal to the platform layer; the
// engine feeds it from the transport's callbacks.
#include <atomic>
#include <mutex>
#include <string>

#include "platform/HttpRequest.h"

namespace ostrel {

class TransferWatch {
public:
    // A new request: what it is (its URL as shown), and no progress yet.
    void begin(const std::string& method, const std::string& shownUrl);
    // The transport's counts; false once the transfer is to stop.
    bool progressed(long long sent, long long toSend, long long received, long long toReceive);
    HttpRequest::Progress progress() const;

    bool cancelled() const { return cancelled_; }
    void cancel();
    void clearCancel() { cancelled_ = false; }

    // The transport opens and closes its sockets through these two, so that a cancel from another thread
    // can shut the connection down: a transfer waiting for a stalled server only notices a cancel flag about
    // once a second, a shut-down socket at once.
    int openSocket(int family, int type, int protocol);
    int closeSocket(int fd);

private:
    static constexpr int kNoSocket = -1;

    std::atomic<bool> cancelled_{false};
    std::atomic<long long> sent_{0}, toSend_{0}, received_{0}, toReceive_{0};
    mutable std::mutex mutex_;  // guards socket_, method_ and url_
    int socket_ = kNoSocket;
    std::string method_;
    std::string url_;
};

}  // namespace ostrel
