#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "platform/Error.h"
#include "platform/HttpRequest.h"
#include "support/DavServer.h"
#include "support/ScriptedServer.h"

namespace ostrel {
namespace {

using test::Reply;
using test::ScriptedServer;
using namespace std::chrono_literals;

Error sendExpectingError(HttpRequest& request, std::string_view body = {}) {
    try {
        request.send(body);
    } catch (const Error& error) {
        return error;
    }
    ADD_FAILURE() << "send succeeded where it should have failed";
    return Error(0, "", "");
}

TEST(HttpRequest, ReusedObjectSendsOnlyEachRequestsOwnHeadersAndBodyOverOneConnection) {
    ScriptedServer server;
    server.enqueue(Reply::http(200, "OK", "<a/>", {{"Content-Type", "text/xml"}}));
    server.enqueue(Reply::http(207, "Multi-Status", "<multistatus xmlns='DAV:'/>"));
    server.enqueue(Reply::http(204, "No Content"));

    HttpRequest request;
    request.open("GET", server.baseUrl() + "/dav/a.xml", false, "u", "p");
    request.setRequestHeader("Content-Type", "text/xml");
    request.setRequestHeader("Content-Length", "0");
    request.setRequestHeader("If", "(<opaquelocktoken:1>)");
    request.send();
    EXPECT_EQ(request.status(), 200);
    EXPECT_EQ(request.responseText(), "<a/>");

    const std::string query = "<?xml version='1.0'?><propfind xmlns='DAV:'><allprop/></propfind>";
    request.open("PROPFIND", server.baseUrl() + "/dav/", false, "u", "p");
    request.setRequestHeader("Content-Type", "text/xml");
    request.send(query);
    EXPECT_EQ(request.status(), 207);

    request.open("UNLOCK", server.baseUrl() + "/dav/a.xml", false, "u", "p");
    request.setRequestHeader("Lock-Token", "<opaquelocktoken:1>");
    request.send();
    EXPECT_EQ(request.status(), 204);
    EXPECT_EQ(request.responseBody(), "");

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].requestLine, "GET /dav/a.xml HTTP/1.1");
    EXPECT_EQ(requests[0].header("If"), "(<opaquelocktoken:1>)");
    EXPECT_EQ(requests[0].headerCount("Content-Length"), 1u);
    EXPECT_EQ(requests[0].body, "");

    EXPECT_EQ(requests[1].method, "PROPFIND");
    EXPECT_EQ(requests[1].body, query);
    EXPECT_EQ(requests[1].header("Content-Length"), std::to_string(query.size()));
    EXPECT_EQ(requests[1].header("Content-Type"), "text/xml");
    EXPECT_FALSE(requests[1].header("If")) << "a header of the previous request carried over";
    EXPECT_FALSE(requests[1].header("Expect"));

    EXPECT_EQ(requests[2].method, "UNLOCK");
    EXPECT_EQ(requests[2].body, "");
    EXPECT_EQ(requests[2].header("Content-Length"), "0");
    EXPECT_FALSE(requests[2].header("Content-Type")) << "the transport added a Content-Type of its own";
    EXPECT_FALSE(requests[2].header("If"));
    EXPECT_EQ(requests[2].header("Lock-Token"), "<opaquelocktoken:1>");

    for (const auto& r : requests) EXPECT_EQ(r.connection, 0) << r.requestLine;
    EXPECT_EQ(server.connectionsAccepted(), 1);
    EXPECT_EQ(request.connectionsOpened(), 1);
}

TEST(HttpRequest, ContentLengthCountsUtf8OctetsAndIsSentOnce) {
    ScriptedServer server;
    for (int i = 0; i < 3; ++i) server.enqueue(Reply::http(201, "Created"));
    HttpRequest request;
    const std::string body = "<a>caf\xC3\xA9 \xE2\x82\xAC</a>";  // 13 characters, 16 octets
    request.open("PUT", server.baseUrl() + "/a.xml");
    request.setRequestHeader("Content-Length", std::to_string(body.size()));
    request.send(body);
    request.open("PUT", server.baseUrl() + "/b.xml");
    request.send(body);  // no length set by the caller: the transport's must still be exact
    request.open("DELETE", server.baseUrl() + "/c.xml");
    request.setRequestHeader("Content-Length", "0");
    request.send();

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].header("Content-Length"), "16");
    EXPECT_EQ(requests[0].headerCount("Content-Length"), 1u);
    EXPECT_EQ(requests[0].body, body);
    EXPECT_EQ(requests[1].header("Content-Length"), "16");
    EXPECT_EQ(requests[2].header("Content-Length"), "0");
    EXPECT_EQ(requests[2].headerCount("Content-Length"), 1u);

    // A caller's length that does not match the body would corrupt the connection: refused, nothing sent.
    request.open("PUT", server.baseUrl() + "/d.xml");
    request.setRequestHeader("Content-Length", "10");
    EXPECT_EQ(sendExpectingError(request, body).number(), errors::kHttpBadHeader);
    EXPECT_EQ(server.requests().size(), 3u);
}

TEST(HttpRequest, AnswersBasicAndDigestChallengesWithTheGivenCredentials) {
    ScriptedServer server;
    server.enqueue(Reply::http(401, "Unauthorized", "no", {{"WWW-Authenticate", "Basic realm=\"r\""}}));
    server.enqueue(Reply::http(200, "OK", "<ok/>"));
    server.enqueue(
        Reply::http(401, "Unauthorized", "no",
                    {{"WWW-Authenticate", "Digest realm=\"ostrel\", nonce=\"abc123\", qop=\"auth\""}}));
    server.enqueue(Reply::http(201, "Created"));

    HttpRequest request;
    request.open("GET", server.baseUrl() + "/basic.xml", false, "alice", "s3cret");
    request.send();
    EXPECT_EQ(request.status(), 200);
    const std::string body = "<doc>kept for the second round</doc>";
    request.open("PUT", server.baseUrl() + "/digest.xml", false, "alice", "s3cret");
    request.setRequestHeader("Content-Length", std::to_string(body.size()));
    request.send(body);
    EXPECT_EQ(request.status(), 201);

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_FALSE(requests[0].header("Authorization"));
    EXPECT_EQ(requests[1].header("Authorization"), "Basic YWxpY2U6czNjcmV0");  // alice:s3cret
    const std::string digest = requests[3].header("Authorization").value_or("");
    EXPECT_TRUE(digest.starts_with("Digest ")) << digest;
    EXPECT_NE(digest.find("username=\"alice\""), std::string::npos) << digest;
    EXPECT_NE(digest.find("nonce=\"abc123\""), std::string::npos) << digest;
    EXPECT_NE(digest.find("uri=\"/digest.xml\""), std::string::npos) << digest;
    EXPECT_EQ(requests[3].body, body) << "the body must be sent again after the challenge";
    EXPECT_EQ(requests[3].headerCount("Content-Length"), 1u);
}

TEST(HttpRequest, AuthenticatesAgainstApacheWithBasicAndDigest) {
    for (const char* scheme : {"basic", "digest"}) {
        SCOPED_TRACE(scheme);
        test::DavServer apache({.auth = scheme, .user = "alice", .password = "s3cret w/ space"});
        HttpRequest request;
        request.open("GET", apache.url() + "/xbrl/config/Document_1.xml", false, "alice", "s3cret w/ space");
        request.send();
        EXPECT_EQ(request.status(), 200);
        EXPECT_TRUE(request.responseXML().hasChildNodes());

        const std::string body = "<note>written with " + std::string(scheme) + "</note>";
        request.open("PUT", apache.url() + "/xbrl/new.xml", false, "alice", "s3cret w/ space");
        request.setRequestHeader("Content-Length", std::to_string(body.size()));
        request.send(body);
        EXPECT_EQ(request.status(), 201);
        request.open("GET", apache.url() + "/xbrl/new.xml", false, "alice", "s3cret w/ space");
        request.send();
        EXPECT_EQ(request.responseText(), body);

        request.open("GET", apache.url() + "/xbrl/config/Document_1.xml", false, "alice", "wrong");
        request.send();
        EXPECT_EQ(request.status(), 401);
        EXPECT_EQ(request.statusText(), "Unauthorized");
    }
}

TEST(HttpRequest, StatusAndReasonPhraseOfTheFinalStatusLine) {
    ScriptedServer server;
    const std::vector<std::pair<int, std::string>> cases = {{200, "OK"},
                                                            {207, "Multi-Status"},
                                                            {404, "Not Found"},
                                                            {423, "Locked"},
                                                            {299, "Quite Unusual Indeed"}};
    for (const auto& [status, reason] : cases) server.enqueue(Reply::http(status, reason, "body"));
    server.enqueue(
        Reply::raw("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 201 Made It\r\nContent-Length: 2\r\n\r\nok"));
    server.enqueue(Reply::raw("HTTP/1.1 404\r\nContent-Length: 0\r\n\r\n"));

    HttpRequest request;
    for (const auto& [status, reason] : cases) {
        request.open("GET", server.baseUrl() + "/x");
        request.send();
        EXPECT_EQ(request.status(), status);
        EXPECT_EQ(request.statusText(), reason);
        EXPECT_EQ(request.responseText(), "body");
    }
    request.open("PUT", server.baseUrl() + "/x");
    request.send("hi");
    EXPECT_EQ(request.status(), 201);
    EXPECT_EQ(request.statusText(), "Made It");
    EXPECT_EQ(request.responseText(), "ok");

    request.open("GET", server.baseUrl() + "/x");
    request.send();
    EXPECT_EQ(request.statusText(), "Not Found") << "the standard phrase where the server sent none";
}

TEST(HttpRequest, UrlsArePercentEncodedOnceAndHeadersCannotBeInjected) {
    ScriptedServer server;
    server.enqueue(Reply::http(200, "OK"));
    server.enqueue(Reply::http(200, "OK"));
    HttpRequest request;
    request.open("GET", server.baseUrl() + "/WebDAV Folder/caf\xC3\xA9 doc.xml");
    request.send();
    request.open("GET", server.baseUrl() + "/already%20encoded/a b");
    request.send();
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].target, "/WebDAV%20Folder/caf%C3%A9%20doc.xml");
    EXPECT_EQ(requests[1].target, "/already%20encoded/a%20b");

    request.open("COPY", server.baseUrl() + "/a.xml");
    EXPECT_THROW(request.setRequestHeader("Destination", "http://h/x\r\nX-Injected: 1"), Error);
    EXPECT_THROW(request.setRequestHeader("Bad\r\nName", "v"), Error);
    EXPECT_THROW(request.setRequestHeader("Bad Name", "v"), Error);
    request.send();
    request.open("GET", server.baseUrl() + "/a\r\nX-Injected: 1");
    request.send();
    requests = server.requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_FALSE(requests[2].header("Destination"));
    for (const auto& r : requests) EXPECT_FALSE(r.header("X-Injected")) << r.raw;
    EXPECT_EQ(requests[3].target, "/a%0D%0AX-Injected:%201");

    HttpRequest fresh;
    EXPECT_THROW(fresh.send(), Error) << "send before open";
    EXPECT_THROW(fresh.open("GET", "ftp://127.0.0.1/a"), Error);
    EXPECT_THROW(fresh.open("GET", "/only/a/path"), Error);
    EXPECT_THROW(fresh.open("GET", server.baseUrl(), true), Error) << "asynchronous mode is not supported";
}

int unusedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);  // nothing listens there now
    return ntohs(address.sin_port);
}

TEST(HttpRequest, TransportFailuresRaiseClearErrors) {
    HttpRequest request;
    const int port = unusedPort();
    request.open("GET", "http://127.0.0.1:" + std::to_string(port) + "/dav/a.xml");
    Error refused = sendExpectingError(request);
    EXPECT_EQ(refused.number(), errors::kHttpBase + 7);
    EXPECT_NE(refused.description().find("Could not connect"), std::string::npos) << refused.description();
    EXPECT_NE(refused.description().find(std::to_string(port)), std::string::npos) << refused.description();
    EXPECT_NE(refused.description().find("Connection refused"), std::string::npos) << refused.description();
    EXPECT_THROW(request.status(), Error) << "no reply to read after a failure";

    ScriptedServer server;
    server.enqueue(Reply::raw("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n<partial", true));
    server.enqueue(Reply::silent(30s));
    server.enqueue(Reply::drop());
    server.enqueue(Reply::http(200, "OK", "<fine/>"));
    request.setTimeouts({.connect = 15000ms, .stall = 1s});

    request.open("GET", server.baseUrl() + "/cut");
    Error cut = sendExpectingError(request);
    EXPECT_NE(cut.description().find("closed before the whole reply"), std::string::npos)
        << cut.description();

    const auto start = std::chrono::steady_clock::now();
    request.open("GET", server.baseUrl() + "/stall");
    Error stalled = sendExpectingError(request);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_NE(stalled.description().find("did not answer in time"), std::string::npos)
        << stalled.description();

    request.open("GET", server.baseUrl() + "/drop");
    Error dropped = sendExpectingError(request);
    EXPECT_NE(dropped.description().find("without sending a reply"), std::string::npos)
        << dropped.description();

    // After every failure the same object works for the next request.
    request.open("GET", server.baseUrl() + "/fine");
    request.send();
    EXPECT_EQ(request.status(), 200);
    EXPECT_EQ(request.responseXML().documentElement().nodeName(), "fine");
}

TEST(HttpRequest, ResponseTextDecodesAndResponseXmlParsesOctets) {
    ScriptedServer server;
    server.enqueue(Reply::http(200, "OK", "caf\xE9", {{"Content-Type", "text/plain; charset=ISO-8859-1"}}));
    server.enqueue(Reply::http(200, "OK", "<?xml version='1.0' encoding='ISO-8859-1'?><a>caf\xE9</a>",
                               {{"Content-Type", "text/xml"}}));
    server.enqueue(Reply::http(200, "OK", "bad \xFF byte"));
    const std::string page = "<html><head><title>201 Created</title></head></html>";
    server.enqueue(Reply::http(201, "Created", page, {{"Content-Type", "text/html; charset=iso-8859-1"}}));
    server.enqueue(Reply::http(201, "Created", page, {{"Content-Type", "application/xhtml+xml"}}));
    server.enqueue(Reply::http(201, "Created", page));
    HttpRequest request;
    request.open("GET", server.baseUrl() + "/1");
    request.send();
    EXPECT_EQ(request.responseText(), "caf\xC3\xA9");
    EXPECT_FALSE(request.responseXML().hasChildNodes());
    request.open("GET", server.baseUrl() + "/2");
    request.send();
    EXPECT_EQ(request.responseXML().text(), "caf\xC3\xA9");
    request.open("GET", server.baseUrl() + "/3");
    request.send();
    EXPECT_EQ(request.responseText(), "bad \xEF\xBF\xBD byte");

    // Only a reply labelled as XML, or not labelled at all, is parsed.
    for (bool parsed : {false, true, true}) {
        request.open("PUT", server.baseUrl() + "/4");
        request.send("<a/>");
        EXPECT_EQ(request.responseXML().hasChildNodes(), parsed) << request.getResponseHeader("Content-Type");
        EXPECT_EQ(request.responseText(), page);
    }
}

}  // namespace
}  // namespace ostrel

namespace ostrel {
namespace {

TEST(HttpRequest, RedirectsNeverCarryCredentialsToAnotherHostOrPort) {
    ScriptedServer first;
    ScriptedServer second;
    const auto challengeThenRedirect = [&first](const std::string& location) {
        first.enqueue(Reply::http(401, "Unauthorized", "", {{"WWW-Authenticate", "Basic realm=\"r\""}}));
        first.enqueue(Reply::http(307, "Temporary Redirect", "", {{"Location", location}}));
    };
    challengeThenRedirect(second.baseUrl() + "/elsewhere.xml");  // another port
    second.enqueue(Reply::http(200, "OK", "<moved/>"));
    challengeThenRedirect("http://localhost:" + std::to_string(first.port()) +
                          "/renamed.xml");  // another host
    first.enqueue(Reply::http(200, "OK", "<renamed/>"));
    first.enqueue(Reply::http(401, "Unauthorized", "", {{"WWW-Authenticate", "Basic realm=\"r\""}}));
    first.enqueue(Reply::http(307, "Temporary Redirect", "", {{"Location", "/same-host.xml"}}));
    first.enqueue(Reply::http(200, "OK", "<same/>"));

    for (const char* path : {"/a.xml", "/b.xml", "/c.xml"}) {
        HttpRequest request;  // each meets the challenge afresh
        request.open("PROPFIND", first.baseUrl() + path, false, "alice", "s3cret");
        request.setRequestHeader("Content-Length", "4");
        request.send("<x/>");
    }
    const auto moved = second.requests();
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(moved[0].method, "PROPFIND") << "a 307 keeps the method and body";
    EXPECT_EQ(moved[0].body, "<x/>");
    EXPECT_FALSE(moved[0].header("Authorization")) << "credentials followed to another port";

    const auto requests = first.requests();
    ASSERT_EQ(requests.size(), 8u);
    EXPECT_TRUE(requests[1].header("Authorization"));
    EXPECT_EQ(requests[4].target, "/renamed.xml");
    EXPECT_FALSE(requests[4].header("Authorization")) << "credentials followed to another host name";
    EXPECT_EQ(requests[7].target, "/same-host.xml");
    EXPECT_TRUE(requests[7].header("Authorization")) << "the same host and port keeps them";
}

TEST(HttpRequest, OversizedRepliesAndUnreachableServersEndInClearErrors) {
    ScriptedServer server;
    server.enqueue(Reply::http(200, "OK", std::string(3000, 'x')));
    server.enqueue(Reply::raw("HTTP/1.1 200 OK\r\nContent-Length: 999999999999\r\n\r\nxx", true));
    server.enqueue(Reply::http(200, "OK", std::string(1000, 'y')));
    HttpRequest request;
    request.setMaxReplyBytes(2048);
    for (int i = 0; i < 2; ++i) {
        request.open("GET", server.baseUrl() + "/big");
        const Error tooLarge = sendExpectingError(request);
        EXPECT_NE(tooLarge.description().find("larger than the 2048 bytes this client accepts"),
                  std::string::npos)
            << tooLarge.description();
    }
    request.open("GET", server.baseUrl() + "/fits");
    request.send();
    EXPECT_EQ(request.responseBody().size(), 1000u);

    // A host that never answers the connection attempt: a listening socket whose backlog is full drops
    // further connection requests, as an unreachable host does.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ::connect(filler, reinterpret_cast<sockaddr*>(&address), length);
        fillers.push_back(filler);
    }
    request.setTimeouts({.connect = 1000ms, .stall = 5s});
    request.open("GET", "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/a.xml");
    const auto start = std::chrono::steady_clock::now();
    const Error unreachable = sendExpectingError(request);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_NE(unreachable.description().find("Could not connect to the server"), std::string::npos)
        << unreachable.description();
    for (int fd : fillers) ::close(fd);
    ::close(listener);
}

TEST(HttpRequest, AConnectionTheServerDroppedIsReplacedTransparently) {
    ScriptedServer server;
    // The first reply says nothing about closing, then the server drops the connection, as a restarted
    // server does: the next request must still get through.
    Reply closing = Reply::http(200, "OK", "<one/>");
    closing.closeAfter = true;
    server.enqueue(closing);
    server.enqueue(Reply::http(201, "Created"));
    HttpRequest request;
    request.open("GET", server.baseUrl() + "/1");
    request.send();
    request.open("PUT", server.baseUrl() + "/2");
    request.send("<two/>");
    EXPECT_EQ(request.status(), 201);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].body, "<two/>");
    EXPECT_EQ(server.connectionsAccepted(), 2);
}

}  // namespace
}  // namespace ostrel
