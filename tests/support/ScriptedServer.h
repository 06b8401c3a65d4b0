#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/Loopback.h"

namespace ostrel::test {

// One request as the server read it off the wire.
struct RecordedRequest {
    std::string requestLine;  // "PUT /a%20b.xml HTTP/1.1"
    std::string method;       // "PUT"
    std::string target;       // "/a%20b.xml" exactly as sent
    // In the order received, names as sent, values trimmed of spaces and tabs.
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;    // body octets
    std::string raw;     // every octet received for this request
    int connection = 0;  // 0-based index of the accepted connection

    // First header of that name (case-insensitive), if any.
    std::optional<std::string> header(std::string_view name) const;
    // How many times the name occurs (case-insensitive).
    std::size_t headerCount(std::string_view name) const;
};

// What the server writes back for one request.
struct Reply {
    struct Chunk {
        std::string bytes;
        std::chrono::milliseconds delayBefore{0};
    };
    std::vector<Chunk> chunks;  // written in order, each after its delay
    bool closeAfter = false;    // close the connection after the last chunk

    // "HTTP/1.1 <status> <reason>", the headers as given, a Content-Length for the body (left out when the
    // headers already carry Content-Length or Transfer-Encoding, so a test can send a lying length), the
    // body.
    static Reply http(int status, std::string reason, std::string body = {},
                      std::vector<std::pair<std::string, std::string>> headers = {});
    // The bytes exactly as given.
    static Reply raw(std::string bytes, bool closeAfter = false);
    // Close the connection without sending a byte.
    static Reply drop();
    // Send nothing for that long, then close. The wait ends early when the server is destroyed.
    static Reply silent(std::chrono::milliseconds howLong);
};

// A loopback HTTP/1.1 server that records every request byte for byte and answers with scripted replies.
//
// Each accepted connection is served by its own thread, which keeps reading requests (keep-alive, pipelining)
// until the peer closes or a reply ends the connection. A request is recorded before its reply is chosen and
// written. Replies come from the queue in order; when it is empty the answer is "500 No scripted reply".
// "Expect: 100-continue" gets no interim reply unless the script holds one: the body is awaited like any
// other.
class ScriptedServer {
public:
    // Binds 127.0.0.1 on a free port and starts serving; throws std::runtime_error when it cannot.
    ScriptedServer();
    // Stops at once, even while a delayed or silent reply is pending, and joins every thread.
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    int port() const { return listener_.port(); }
    std::string baseUrl() const;  // "http://127.0.0.1:<port>"

    void enqueue(Reply reply);

    std::vector<RecordedRequest> requests() const;
    int connectionsAccepted() const;
    bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
    // Queued replies no request has taken yet: lets a test check its whole script was played.
    std::size_t pendingReplies() const;

private:
    void acceptLoop();
    void serveConnection(int fd, int index);
    Reply takeReply(const RecordedRequest& request);
    bool readRequest(int fd, std::string& buffer, RecordedRequest& out) const;
    bool fill(int fd, std::string& buffer) const;
    bool pause(std::chrono::milliseconds howLong) const;

    LoopbackListener listener_;
    int stopPipe_[2] = {-1, -1};  // readable once the server is stopping; every wait polls it

    mutable std::mutex mutex_;
    mutable std::condition_variable recorded_;
    std::deque<Reply> queue_;
    std::vector<RecordedRequest> requests_;
    std::vector<std::thread> workers_;
    int accepted_ = 0;

    std::thread acceptor_;
};

}  // namespace ostrel::test
