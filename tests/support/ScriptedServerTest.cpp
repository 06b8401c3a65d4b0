#include "tests/support/ScriptedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>

using namespace std::chrono_literals;
using namespace std::string_literals;
using ostrel::test::RecordedRequest;
using ostrel::test::Reply;
using ostrel::test::ScriptedServer;
using Clock = std::chrono::steady_clock;

namespace {

// A bare socket client, so the server is checked without the HTTP stack it is meant to test.
class Client {
public:
    explicit Client(int port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<std::uint16_t>(port));
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) ADD_FAILURE() << "connect";
    }
    ~Client() { ::close(fd_); }

    void send(const std::string& bytes) {
        EXPECT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    }
    // Reads until `want` octets are in, the peer closed, or the time is up.
    std::string read(std::size_t want, std::chrono::milliseconds timeout) {
        std::string got;
        const auto deadline = Clock::now() + timeout;
        while (got.size() < want && !closed_ && Clock::now() < deadline) {
            pollfd p{fd_, POLLIN, 0};
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (::poll(&p, 1, static_cast<int>(std::max<long>(left.count(), 1))) <= 0) continue;
            char buf[4096];
            ssize_t n = ::recv(fd_, buf, std::min(sizeof buf, want - got.size()), 0);
            if (n <= 0)
                closed_ = true;  // a reset counts as closed too
            else
                got.append(buf, static_cast<std::size_t>(n));
        }
        return got;
    }
    std::string readToClose(std::chrono::milliseconds timeout) { return read(SIZE_MAX, timeout); }
    bool closed() const { return closed_; }

private:
    int fd_;
    bool closed_ = false;
};

const std::string kNoReply = "HTTP/1.1 500 No scripted reply\r\nContent-Length: 0\r\n\r\n";

}  // namespace

TEST(ScriptedServer, RecordsRequestsExactlyOverOneKeptAliveConnection) {
    ScriptedServer server;
    EXPECT_FALSE(server.waitForRequests(1, 20ms));
    server.enqueue(Reply::http(201, "Created"));
    server.enqueue(Reply::http(207, "Multi-Status", "<x/>", {{"Content-Type", "text/xml"}}));
    Client client(server.port());

    // The body holds a NUL and a blank line: only Content-Length may decide where it ends.
    const std::string put =
        "PUT /a%20b.xml HTTP/1.1\r\nHost: h\r\nX-Two:  second \r\nx-one:\tfirst\r\n"
        "X-TWO: again\r\nContent-Length: 7\r\n\r\na\0\r\n\r\nb"s;
    client.send(put);
    const std::string created = "HTTP/1.1 201 Created\r\nContent-Length: 0\r\n\r\n";
    EXPECT_EQ(client.read(created.size(), 2s), created);

    // Two more back to back: a chunked body (extension, trailer), then a request nobody scripted.
    const std::string propfind =
        "PROPFIND /dir/ HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"
        "4;ext=1\r\n<a/>\r\nA\r\n0123456789\r\n0\r\nX-Trailer: t\r\n\r\n";
    client.send(propfind + "GET / HTTP/1.1\r\n\r\n");
    const std::string multi =
        "HTTP/1.1 207 Multi-Status\r\nContent-Type: text/xml\r\nContent-Length: 4\r\n\r\n<x/>";
    EXPECT_EQ(client.read(multi.size() + kNoReply.size(), 2s), multi + kNoReply);
    EXPECT_TRUE(client.read(1, 50ms).empty());
    EXPECT_FALSE(client.closed());

    ASSERT_TRUE(server.waitForRequests(3, 1s));
    const std::vector<RecordedRequest> got = server.requests();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].requestLine, "PUT /a%20b.xml HTTP/1.1");
    EXPECT_EQ(got[0].method, "PUT");
    EXPECT_EQ(got[0].target, "/a%20b.xml");
    const std::vector<std::pair<std::string, std::string>> headers = {
        {"Host", "h"}, {"X-Two", "second"}, {"x-one", "first"}, {"X-TWO", "again"}, {"Content-Length", "7"}};
    EXPECT_EQ(got[0].headers, headers);
    EXPECT_EQ(got[0].header("x-two"), "second");
    EXPECT_EQ(got[0].headerCount("X-two"), 2u);
    EXPECT_EQ(got[0].header("Depth"), std::nullopt);
    EXPECT_EQ(got[0].body, "a\0\r\n\r\nb"s);
    EXPECT_EQ(got[0].raw, put);
    EXPECT_EQ(got[1].method, "PROPFIND");
    EXPECT_EQ(got[1].body, "<a/>0123456789");
    EXPECT_EQ(got[1].raw, propfind);
    EXPECT_EQ(got[2].raw, "GET / HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(got[2].body.empty());
    for (const auto& r : got) EXPECT_EQ(r.connection, 0);
    EXPECT_EQ(server.connectionsAccepted(), 1);
    EXPECT_EQ(server.pendingReplies(), 0u);
}

TEST(ScriptedServer, DropAndSilentCloseWithoutAByteAfterRecording) {
    ScriptedServer server;
    server.enqueue(Reply::drop());
    server.enqueue(Reply::silent(100ms));
    const std::string noContent = "HTTP/1.1 204 No Content\r\n\r\n";
    server.enqueue(Reply::raw(noContent));

    Client dropped(server.port());
    dropped.send("DELETE /gone HTTP/1.1\r\n\r\n");
    EXPECT_EQ(dropped.readToClose(2s), "");
    EXPECT_TRUE(dropped.closed());
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].target, "/gone");

    Client silent(server.port());
    const auto start = Clock::now();
    silent.send("GET /quiet HTTP/1.1\r\n\r\n");
    EXPECT_EQ(silent.readToClose(2s), "");
    EXPECT_TRUE(silent.closed());
    EXPECT_GE(Clock::now() - start, 100ms);

    // A client that reconnects after a drop is served on a new connection.
    Client again(server.port());
    again.send("GET /again HTTP/1.1\r\n\r\n");
    EXPECT_EQ(again.read(noContent.size(), 2s), noContent);
    const auto got = server.requests();
    ASSERT_EQ(got.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(got[i].connection, i);
    EXPECT_EQ(server.connectionsAccepted(), 3);
}

TEST(ScriptedServer, DestructionDoesNotWaitForASilentReplyOrAnIdleClient) {
    auto server = std::make_unique<ScriptedServer>();
    server->enqueue(Reply::silent(60s));
    Client idle(server->port());
    Client waiting(server->port());
    waiting.send("GET /slow HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(server->waitForRequests(1, 2s));
    EXPECT_EQ(server->connectionsAccepted(), 2);

    const auto start = Clock::now();
    server.reset();
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_EQ(waiting.readToClose(1s), "");
    EXPECT_TRUE(waiting.closed());
    EXPECT_EQ(idle.readToClose(1s), "");
    EXPECT_TRUE(idle.closed());
}
