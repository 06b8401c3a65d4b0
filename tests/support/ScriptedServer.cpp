#include "tests/support/ScriptedServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <exception>
#include <stdexcept>

namespace ostrel::test {
namespace {

// A request head larger than this is not something our client sends; treat it as garbage.
constexpr std::size_t kMaxHead = 1 << 20;

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

int pollTimeout(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

[[noreturn]] void fail(const char* what) {
    throw std::runtime_error(std::string("ScriptedServer: ") + what + ": " + std::strerror(errno));
}

}  // namespace

std::optional<std::string> RecordedRequest::header(std::string_view name) const {
    for (const auto& [n, v] : headers)
        if (equalsIgnoreCase(n, name)) return v;
    return std::nullopt;
}

std::size_t RecordedRequest::headerCount(std::string_view name) const {
    std::size_t count = 0;
    for (const auto& h : headers)
        if (equalsIgnoreCase(h.first, name)) ++count;
    return count;
}

Reply Reply::http(int status, std::string reason, std::string body,
                  std::vector<std::pair<std::string, std::string>> headers) {
    std::string out = "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n";
    bool framed = false;
    for (const auto& [name, value] : headers) {
        out += name + ": " + value + "\r\n";
        framed =
            framed || equalsIgnoreCase(name, "Content-Length") || equalsIgnoreCase(name, "Transfer-Encoding");
    }
    if (!framed) out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    out += "\r\n";
    out += body;
    return raw(std::move(out));
}

Reply Reply::raw(std::string bytes, bool closeAfter) {
    Reply r;
    r.chunks.push_back({std::move(bytes), std::chrono::milliseconds(0)});
    r.closeAfter = closeAfter;
    return r;
}

Reply Reply::drop() {
    Reply r;
    r.closeAfter = true;
    return r;
}

Reply Reply::silent(std::chrono::milliseconds howLong) {
    // An empty chunk is a pure wait; the connection then closes.
    Reply r;
    r.chunks.push_back({std::string(), howLong});
    r.closeAfter = true;
    return r;
}

ScriptedServer::ScriptedServer() {
    if (::pipe2(stopPipe_, O_CLOEXEC | O_NONBLOCK) != 0) fail("pipe");
    acceptor_ = std::thread([this] { acceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
    // The byte is never read, so the pipe stays readable and wakes every present and future wait.
    char byte = 'x';
    while (::write(stopPipe_[1], &byte, 1) < 0 && errno == EINTR) {
    }
    acceptor_.join();
    // The acceptor has ended, so nobody adds workers any more.
    for (auto& worker : workers_) worker.join();
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
}

std::string ScriptedServer::baseUrl() const {
    return "http://127.0.0.1:" + std::to_string(port());
}

void ScriptedServer::enqueue(Reply reply) {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(reply));
}

std::vector<RecordedRequest> ScriptedServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

int ScriptedServer::connectionsAccepted() const {
    std::lock_guard lock(mutex_);
    return accepted_;
}

bool ScriptedServer::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return recorded_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

std::size_t ScriptedServer::pendingReplies() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

void ScriptedServer::acceptLoop() {
    for (;;) {
        pollfd fds[2] = {{listener_.fd(), POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents != 0) return;
        int fd = ::accept4(listener_.fd(), nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            // Out of descriptors or an aborted handshake: back off briefly rather than spin.
            if (errno != EINTR && errno != ECONNABORTED && !pause(std::chrono::milliseconds(10))) return;
            continue;
        }
        std::lock_guard lock(mutex_);
        int index = accepted_++;
        workers_.emplace_back([this, fd, index] { serveConnection(fd, index); });
    }
}

void ScriptedServer::serveConnection(int fd, int index) {
    std::string buffer;  // bytes read but not yet consumed: a pipelined next request starts here
    for (;;) {
        RecordedRequest request;
        if (!readRequest(fd, buffer, request)) break;
        request.connection = index;
        Reply reply = takeReply(request);
        bool ok = true;
        for (const auto& chunk : reply.chunks) {
            if (!pause(chunk.delayBefore) || !sendAll(fd, chunk.bytes, stopPipe_[0])) {
                ok = false;
                break;
            }
        }
        if (!ok || reply.closeAfter) break;
    }
    ::close(fd);
}

Reply ScriptedServer::takeReply(const RecordedRequest& request) {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
    recorded_.notify_all();
    if (queue_.empty()) return Reply::http(500, "No scripted reply");
    Reply reply = std::move(queue_.front());
    queue_.pop_front();
    return reply;
}

bool ScriptedServer::readRequest(int fd, std::string& buffer, RecordedRequest& out) const {
    // Reads on until `pattern` occurs at or after `from`, and puts its position in `at`.
    auto find = [&](std::string_view pattern, std::size_t from, std::size_t& at) {
        for (;;) {
            at = buffer.find(pattern, from);
            if (at != std::string::npos) return true;
            if (buffer.size() - from > kMaxHead || !fill(fd, buffer)) return false;
        }
    };
    auto need = [&](std::size_t size) {
        while (buffer.size() < size)
            if (!fill(fd, buffer)) return false;
        return true;
    };

    std::size_t headEnd = 0;
    if (!find("\r\n\r\n", 0, headEnd)) return false;

    std::string_view head(buffer.data(), headEnd);
    std::size_t lineEnd = head.find("\r\n");
    out.requestLine = std::string(head.substr(0, lineEnd));
    std::size_t sp1 = out.requestLine.find(' ');
    std::size_t sp2 = sp1 == std::string::npos ? sp1 : out.requestLine.find(' ', sp1 + 1);
    out.method = out.requestLine.substr(0, sp1);
    if (sp1 != std::string::npos) out.target = out.requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
    while (lineEnd != std::string_view::npos && lineEnd < head.size()) {
        std::size_t start = lineEnd + 2;
        lineEnd = head.find("\r\n", start);
        std::string_view line =
            head.substr(start, lineEnd == std::string_view::npos ? head.npos : lineEnd - start);
        std::size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            out.headers.emplace_back(std::string(line), std::string());
        else
            out.headers.emplace_back(std::string(line.substr(0, colon)),
                                     std::string(trim(line.substr(colon + 1))));
    }

    std::size_t end = headEnd + 4;
    // Our client sends bodies with a Content-Length, never chunked.
    if (auto length = out.header("Content-Length")) {
        std::size_t size = 0;
        auto [ptr, ec] = std::from_chars(length->data(), length->data() + length->size(), size);
        if (ec != std::errc() || ptr != length->data() + length->size() || !need(end + size)) return false;
        out.body.assign(buffer, end, size);
        end += size;
    }
    out.raw.assign(buffer, 0, end);
    buffer.erase(0, end);
    return true;
}

bool ScriptedServer::fill(int fd, std::string& buffer) const {
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (fds[1].revents != 0) return false;
        char chunk[65536];
        ssize_t n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0) {
            buffer.append(chunk, static_cast<std::size_t>(n));
            return true;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) return false;
    }
}

bool ScriptedServer::pause(std::chrono::milliseconds howLong) const {
    auto deadline = std::chrono::steady_clock::now() + howLong;
    for (;;) {
        pollfd stop{stopPipe_[0], POLLIN, 0};
        int rc = ::poll(&stop, 1, pollTimeout(deadline));
        if (rc > 0) return false;
        if (rc == 0 && std::chrono::steady_clock::now() >= deadline) return true;
        if (rc < 0 && errno != EINTR) return false;
    }
}

}  // namespace ostrel::test
