#include "platform/TransferWatch.h"

#include <sys/socket.h>
#include <unistd.h>

namespace ostrel {

void TransferWatch::begin(const std::string& method, const std::string& shownUrl) {
    {
        std::lock_guard lock(mutex_);
        method_ = method;
        url_ = shownUrl;
    }
    sent_ = toSend_ = received_ = toReceive_ = 0;
}

bool TransferWatch::progressed(long long sent, long long toSend, long long received, long long toReceive) {
    toReceive_ = toReceive;
    received_ = received;
    toSend_ = toSend;
    sent_ = sent;
    return !cancelled_;
}

HttpRequest::Progress TransferWatch::progress() const {
    HttpRequest::Progress progress{
        .sent = sent_, .toSend = toSend_, .received = received_, .toReceive = toReceive_};
    std::lock_guard lock(mutex_);
    progress.method = method_;
    progress.url = url_;
    return progress;
}

void TransferWatch::cancel() {
    cancelled_ = true;
    std::lock_guard lock(mutex_);
    if (socket_ != kNoSocket) ::shutdown(socket_, SHUT_RDWR);
}

int TransferWatch::openSocket(int family, int type, int protocol) {
    const int fd = ::socket(family, type | SOCK_CLOEXEC, protocol);
    std::lock_guard lock(mutex_);
    socket_ = fd;
    if (fd != kNoSocket && cancelled_) ::shutdown(fd, SHUT_RDWR);
    return fd;
}

int TransferWatch::closeSocket(int fd) {
    std::lock_guard lock(mutex_);
    if (socket_ == fd) socket_ = kNoSocket;
    return ::close(fd);
}

}  // namespace ostrel
