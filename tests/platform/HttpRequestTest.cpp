#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "platform/Error.h"
#include "platform/Exchange.h"
#include "platform/HttpRequest.h"
#include "platform/XmlReply.h"
#include "support/DavServer.h"
#include "support/Scenario.h"
#include "support/ScriptedServer.h"

namespace ostrel {
namespace {

using test::errorOf;
using test::Reply;
using test::ScriptedServer;
using namespace std::chrono_literals;
using Pairs = std::vector<std::pair<std::string, std::string>>;

bool contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

Reply challenge(const std::string& scheme) {
    return Reply::http(401, "Unauthorized", "no", {{"WWW-Authenticate", scheme}});
}

std::string digest(const std::string& nonce, const std::string& more = "") {
    return "Digest realm=\"r\", nonce=\"" + nonce + "\", qop=\"auth\"" + more;
}

// Opens and sends in one step; the reply's status.
int exchange(HttpRequest& request, const char* method, const std::string& url, const std::string& body = {},
             const std::string& password = "s3cret") {
    request.open(method, url, false, "alice", password);
    request.send(body);
    return request.status();
}

// A port on which nothing listens any more.
int deadPort() {
    ScriptedServer gone;
    return gone.port();
}

TEST(HttpRequest, EachRequestSendsExactlyItsOwnHeadersAndBody) {
    ScriptedServer server;
    for (int i = 0; i < 3; ++i) server.enqueue(Reply::http(200, "OK"));
    HttpRequest request;
    const std::string body = "<a>caf\xC3\xA9 \xE2\x82\xAC</a>";  // 13 characters, 16 octets
    request.open("PUT", server.baseUrl() + "/dav/a.xml", false, "u", "p");
    request.setRequestHeader("Content-Type", "text/xml");
    request.setRequestHeader("Content-Length", "16");
    request.setRequestHeader("If", "(<opaquelocktoken:1>)");
    EXPECT_THROW(request.setRequestHeader("Destination", "http://h/x\r\nX-Injected: 1"), Error);
    EXPECT_THROW(request.setRequestHeader("Bad Name", "v"), Error);
    request.send(body);
    request.open("PROPFIND", server.baseUrl() + "/dav/", false, "u", "p");
    request.send(body);  // no length set by the caller: the transport's must still be exact
    request.open("UNLOCK", server.baseUrl() + "/dav/a.xml", false, "u", "p");
    request.setRequestHeader("Content-Length", "0");
    request.send();
    // Refused before anything is sent: a length that does not match the body, a control character in the
    // credentials (it would end the Authorization header), a URL or mode this object does not serve.
    request.open("PUT", server.baseUrl() + "/d.xml");
    request.setRequestHeader("Content-Length", "13");
    EXPECT_TRUE(contains(errorOf([&] { request.send(body); }), "does not match")) << "lying Content-Length";
    for (const auto& [user, password] : Pairs{{"alice\r\nX-Injected: 1", "s3cret"}, {"alice", "p\x7F"}}) {
        const std::string refusal =
            errorOf([&] { request.open("GET", server.baseUrl(), false, user, password); });
        EXPECT_TRUE(contains(refusal, "control character")) << refusal;
    }
    EXPECT_NO_THROW(checkCredentials("caf\xC3\xA9 user", "s3cret w/ space"));
    EXPECT_THROW(request.open("GET", "ftp://127.0.0.1/a"), Error);
    EXPECT_THROW(request.open("GET", server.baseUrl(), true), Error) << "asynchronous mode is not supported";

    const auto sent = server.requests();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].requestLine, "PUT /dav/a.xml HTTP/1.1");
    EXPECT_EQ(sent[0].header("If"), "(<opaquelocktoken:1>)");
    EXPECT_EQ(sent[0].body, body);
    for (const auto& r : sent) {
        EXPECT_EQ(r.headerCount("Content-Length"), 1u) << r.raw;
        EXPECT_FALSE(r.header("Expect") || r.header("Destination") || r.header("X-Injected")) << r.raw;
        EXPECT_EQ(r.connection, 0) << r.raw;
    }
    EXPECT_EQ(sent[1].header("Content-Length"), "16");
    EXPECT_FALSE(sent[1].header("If")) << "a header of the previous request carried over";
    EXPECT_FALSE(sent[1].header("Content-Type")) << "the transport added a Content-Type of its own";
    EXPECT_EQ(request.connectionsOpened(), 1);
}

TEST(HttpRequest, DigestIsAnsweredOnceMoreWhenARestartedServerForgotItsNonce) {
    ScriptedServer server;
    server.enqueue(challenge("Basic realm=\"r\""));
    server.enqueue(Reply::http(200, "OK"));
    server.enqueue(challenge(digest("n1")));
    // The server restarts: the kept connection and the nonce are gone.
    server.enqueue(Reply::raw("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", true));
    for (const char* nonce : {"n2", "n2"}) server.enqueue(challenge(digest(nonce)));
    server.enqueue(Reply::http(201, "Created"));
    for (int i = 0; i < 6; ++i) server.enqueue(challenge(digest("n3")));  // a wrong password after that

    HttpRequest request;
    for (const char* path : {"/basic.xml", "/digest.xml"}) exchange(request, "GET", server.baseUrl() + path);
    const std::string body = "<doc>sent again intact</doc>";
    EXPECT_EQ(exchange(request, "PUT", server.baseUrl() + "/restarted.xml", body), 201);
    // Twice: a new password starts without credentials (two requests); the second time the transport tries
    // the nonce it kept (twice, after a refusal), and the one fresh handshake after it ends too.
    for (int attempt = 0; attempt < 2; ++attempt)
        EXPECT_EQ(exchange(request, "PUT", server.baseUrl() + "/wrong.xml", body, "wrong"), 401);

    const auto sent = server.requests();
    ASSERT_EQ(sent.size(), 13u) << "a wrong password must end after one fresh handshake";
    const auto authorization = [&](std::size_t i) { return sent[i].header("Authorization").value_or(""); };
    EXPECT_EQ(authorization(1), "Basic YWxpY2U6czNjcmV0");  // alice:s3cret
    EXPECT_TRUE(contains(authorization(4), "nonce=\"n1\""));
    EXPECT_TRUE(contains(authorization(6), "nonce=\"n2\""));
    EXPECT_EQ(sent[6].body, body);
    EXPECT_EQ(sent[6].headerCount("Content-Length"), 1u);
}

// Apache answers a nonce it no longer knows with stale=true, which the transport handles by itself; a server
// that answers with a fresh challenge instead is what needs the second try, here after a request that
// failed or was cancelled while the transport kept its nonce.
TEST(HttpRequest, DigestIsAnsweredOnceMoreAlsoAfterACancelledOrFailedRequest) {
    for (const bool cancelled : {false, true}) {
        ScriptedServer server;
        server.enqueue(challenge(digest("n1")));
        server.enqueue(Reply::http(200, "OK"));
        if (!cancelled) server.enqueue(Reply::raw("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n<cut", true));
        for (const char* nonce : {"n2", "n2"}) server.enqueue(challenge(digest(nonce)));
        server.enqueue(Reply::http(201, "Created"));
        HttpRequest request;
        EXPECT_EQ(exchange(request, "GET", server.baseUrl() + "/a.xml"), 200);
        if (cancelled) request.cancel();
        EXPECT_THROW(exchange(request, "GET", server.baseUrl() + "/b.xml"), Error);
        request.clearCancel();
        EXPECT_EQ(exchange(request, "PUT", server.baseUrl() + "/c.xml", "<c/>"), 201)
            << (cancelled ? "after a cancelled request" : "after a failed request");
        EXPECT_EQ(server.pendingReplies(), 0u);
    }
}

// Credentials belong to the server, user id and password they were given for (which changes count is the
// authentication memory's table): after a change the first request carries none, and the server that asks
// gets them.
TEST(HttpRequest, CredentialsGoOnlyToTheServerTheyWereGivenForAndOnlyAfterItAsks) {
    for (const std::string& scheme : {std::string("Basic realm=\"r\""), digest("n1")}) {
        for (const std::string change : {"server", "password"}) {
            ScriptedServer first;
            ScriptedServer second;
            ScriptedServer& next = change == "server" ? second : first;
            first.enqueue(challenge(scheme));
            for (int i = 0; i < 2; ++i) first.enqueue(Reply::http(200, "OK"));
            next.enqueue(challenge(scheme));
            next.enqueue(Reply::http(200, "OK"));
            HttpRequest request;
            for (const char* path : {"/a.xml", "/b.xml"})
                EXPECT_EQ(exchange(request, "GET", first.baseUrl() + path), 200);
            request.open("GET", next.baseUrl() + "/c.xml", false, change == "user" ? "bob" : "alice",
                         change == "password" ? "other" : "s3cret");
            request.send();
            EXPECT_EQ(request.status(), 200) << scheme << ", another " << change;

            const auto sentFirst = first.requests();
            ASSERT_GE(sentFirst.size(), 3u);
            EXPECT_FALSE(sentFirst[0].header("Authorization")) << "sent before the server asked";
            EXPECT_TRUE(sentFirst[2].header("Authorization")) << "the same server, user and password go on";
            const auto sentNext = next.requests();
            ASSERT_EQ(sentNext.size(), change == "server" ? 2u : 5u);
            const std::size_t c = sentNext.size() - 2;
            EXPECT_FALSE(sentNext[c].header("Authorization")) << scheme << ", another " << change;
            EXPECT_TRUE(sentNext[c + 1].header("Authorization")) << scheme << ", another " << change;
        }
    }
}

// Apache 2.4 answers a nonce it no longer knows with stale=true: the same path, end to end.
TEST(HttpRequest, DigestAgainstApacheAlsoAfterItRestarted) {
    test::DavServer apache({.auth = "digest", .user = "alice", .password = "s3cret w/ space", .seed = false});
    const std::string url = apache.url() + "/new.xml";
    HttpRequest request;
    EXPECT_EQ(exchange(request, "PUT", url, "<first/>", "s3cret w/ space"), 201);
    apache.stop();
    apache.start();
    EXPECT_EQ(exchange(request, "PUT", url, "<second/>", "s3cret w/ space"), 204);
    EXPECT_EQ(exchange(request, "GET", url, "", "wrong"), 401);
}

TEST(HttpRequest, HostileRepliesEndInErrorsThatNameWhatHappened) {
    // A host that never answers the connection attempt: a listening socket whose backlog is full drops
    // further connection requests, as an unreachable host does.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    auto* address = reinterpret_cast<sockaddr*>(&at);
    socklen_t length = sizeof at;
    ASSERT_TRUE(::bind(listener, address, length) == 0 && ::listen(listener, 0) == 0);
    ::getsockname(listener, address, &length);
    int fillers[4];
    for (int& fd : fillers)
        ::connect(fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0), address, length);
    const std::string huge(1 << 20, 'h');
    const std::string ok = "HTTP/1.1 200 OK\r\n";
    // URL (empty: a scripted server answering with the replies), replies, words of the error
    const std::vector<std::tuple<std::string, std::vector<Reply>, std::string>> cases = {
        {"http://127.0.0.1:" + std::to_string(deadPort()), {}, "Connection refused"},
        {"http://127.0.0.1:" + std::to_string(ntohs(at.sin_port)), {}, "Could not connect to the server in"},
        {"", {Reply::raw(ok + "Content-Length: 100\r\n\r\n<partial", true)}, "closed before the whole reply"},
        {"", {Reply::silent(30s)}, "did not answer in time"},
        {"", {Reply::drop()}, "closed the connection without sending a reply"},
        {"", {Reply::raw("HELLO THERE\r\n\r\n", true)}, "The server's reply is not HTTP"},
        {"", {Reply::raw(ok + "X-Big: " + huge + "\r\n\r\n", true)}, "header is larger than"},
        {"", {Reply::http(302, "Found", "", {{"Location", huge.substr(0, 200000)}})}, "header is larger"},
        {"", {Reply::http(423, "Locked", "", {{"Lock-Token", "<" + huge + ">"}})}, "header is larger than"},
        {"", {Reply::http(200, "OK", std::string(3000, 'x'))}, "larger than the 2048 bytes this client"},
        {"", std::vector(30, challenge(digest("n", ", stale=true"))), "kept asking for authentication"},
    };
    HttpRequest request;
    request.setTimeouts({.connect = 1000ms, .stall = 1s});
    request.setMaxReplyBytes(2048);
    for (const auto& [url, replies, words] : cases) {
        ScriptedServer server;
        for (const Reply& reply : replies) server.enqueue(reply);
        // A password typed into the URL is not shown with the URL.
        const std::string withUser =
            "http://alice:s3cret@" + (url.empty() ? server.baseUrl() + "/a.xml" : url).substr(7);
        const std::string error = errorOf([&] { exchange(request, "GET", withUser); });
        EXPECT_TRUE(contains(error, words) && contains(error, "\r\nGET http://[hidden]@127.0.0.1:")) << error;
        EXPECT_FALSE(contains(error, "s3cret")) << error;
        EXPECT_FALSE(contains(error, "memory") || contains(error, "redirect")) << error;
        EXPECT_EQ(contains(error, "refused"), words == "Connection refused")
            << "no earlier error leaks: " << error;
        EXPECT_THROW(request.status(), Error) << "no reply to read after a failure";
    }
    for (int fd : fillers) ::close(fd);
    ::close(listener);
    ScriptedServer server;  // after every failure the same object works for the next request
    server.enqueue(Reply::http(200, "OK", "<fine/>"));
    exchange(request, "GET", server.baseUrl() + "/fine");
    EXPECT_EQ(request.responseXML().documentElement().nodeName(), "fine");
}

TEST(HttpRequest, RedirectsAreFollowedOnlyWithinTheSameServer) {
    ScriptedServer home;
    ScriptedServer elsewhere;
    const std::string location = elsewhere.baseUrl() + "/moved.xml";
    home.enqueue(Reply::http(307, "Temporary Redirect", "", {{"Location", location}}));
    HttpRequest refusing;
    const std::string error = errorOf([&] { exchange(refusing, "PUT", home.baseUrl() + "/a.xml", "<a/>"); });
    EXPECT_TRUE(contains(error, "to another server, " + location + ";")) << error;
    EXPECT_EQ(elsewhere.connectionsAccepted(), 0) << "something was sent to another server";

    home.enqueue(challenge("Basic realm=\"r\""));
    home.enqueue(Reply::http(307, "Temporary Redirect", "", {{"Location", "/same-server.xml"}}));
    home.enqueue(Reply::http(201, "Created"));
    // The same host moving to https is followed (and finds nothing listening).
    home.enqueue(
        Reply::http(301, "Moved", "", {{"Location", "https://127.0.0.1:" + std::to_string(deadPort())}}));
    HttpRequest request;
    EXPECT_EQ(exchange(request, "PROPFIND", home.baseUrl() + "/b.xml", "<x/>"), 201);
    EXPECT_TRUE(contains(errorOf([&] { exchange(request, "GET", home.baseUrl() + "/c.xml"); }), "Could not"));
    const auto sent = home.requests();
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(sent[3].requestLine, "PROPFIND /same-server.xml HTTP/1.1") << "a 307 keeps the method";
    EXPECT_EQ(sent[3].body, "<x/>");
    EXPECT_TRUE(sent[3].header("Authorization")) << "the same server keeps the credentials";
}

TEST(HttpRequest, RepliesAreReadFromTheFinalStatusLineAlsoAsTheyArrive) {
    ScriptedServer server;
    HttpRequest request;
    // A body read as it arrives is the final reply's: the challenge's before it is forgotten. The next
    // request keeps its body again.
    server.enqueue(Reply::http(401, "Unauthorized", "<no/>",
                               {{"WWW-Authenticate", "Basic realm=\"r\""}, {"Content-Type", "text/xml"}}));
    server.enqueue(Reply::http(200, "OK", "<yes/>", {{"Content-Type", "text/xml"}}));
    server.enqueue(Reply::http(200, "OK", "<kept/>", {{"Content-Type", "text/xml"}}));
    XmlReplyReader reader(XmlReading::Reply);
    request.open("GET", server.baseUrl() + "/doc.xml", false, "alice", "s3cret");
    request.readBodyWith(&reader, HttpRequest::Keep::Start);
    request.send();
    EXPECT_EQ(reader.document().documentElement().nodeName(), "yes");
    exchange(request, "GET", server.baseUrl() + "/doc.xml");
    EXPECT_EQ(request.responseXML().documentElement().nodeName(), "kept");
    // An error text quotes the first 64 KiB, cut between two characters, and counts the rest, also where
    // the body went to a reader; the log's summary counts the whole body.
    struct Summaries : ExchangeObserver {
        bool wantsWholeExchanges() const override { return false; }
        void exchanged(Exchange& exchange) override { last = exchange; }
        Exchange last;
    } summaries;
    request.setExchangeObserver(&summaries);
    const std::string latin = "<a>caf\xE9</a>";
    const std::string start(65535, 'a');
    for (XmlReplyReader* read : {static_cast<XmlReplyReader*>(nullptr), &reader}) {
        server.enqueue(Reply::http(404, "Not Found", start + "\xC3\xA9" + std::string(99, 'b')));
        server.enqueue(
            Reply::http(404, "Not Found", latin, {{"Content-Type", "text/html; charset=iso-8859-1"}}));
        for (const std::string& expected :
             {start + "\xE2\x80\xA6 (101 more octets)", std::string("<a>caf\xC3\xA9</a>")}) {
            request.open("GET", server.baseUrl() + "/missing.xml");
            if (read) request.readBodyWith(read, HttpRequest::Keep::Start);
            request.send();
            EXPECT_EQ(request.responseTextForError(), expected);
            EXPECT_EQ(summaries.last.bodyInSize, std::stoll(request.getResponseHeader("Content-Length")));
        }
    }
    // The status and reason phrase of the final status line; the standard phrase where there is none.
    server.enqueue(
        Reply::raw("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 299 Made It\r\nContent-Length: 0\r\n\r\n"));
    server.enqueue(Reply::raw("HTTP/1.1 404\r\nContent-Length: 0\r\n\r\n"));
    for (const auto& [status, reason] : {std::pair(299, "Made It"), std::pair(404, "Not Found")}) {
        EXPECT_EQ(exchange(request, "PUT", server.baseUrl() + "/x", "hi"), status);
        EXPECT_EQ(request.statusText(), reason);
    }
}

}  // namespace
}  // namespace ostrel
