#include <gtest/gtest.h>

#include "platform/HttpReply.h"

namespace ostrel {
namespace {

struct Case {
    std::vector<std::string> lines;  // header lines as the transport hands them over
    std::string body;
    std::string code;     // of the last status line
    std::string reason;   // ditto
    std::string refusal;  // words of the refusal; empty: none
};

TEST(HttpReply, TheLastStatusLineCountsAndWhatMustNotBeTakenInIsRefused) {
    const std::string home = "http://127.0.0.1:4000/a.xml";
    const std::string big(3000, 'x');
    const std::vector<Case> cases = {
        {{"HTTP/1.1 100 Continue\r\n", "\r\n", "HTTP/1.1 299 Made It\r\n"}, "", "299", "Made It", ""},
        {{"HTTP/1.1 404\r\n"}, "", "404", "", ""},
        {{"HTTP/1.1 200 OK", "Content-Length: 999999999999"}, "", "200", "OK", "larger than the 2048 bytes"},
        {{"HTTP/1.1 200 OK"}, big, "200", "OK", "larger than the 2048 bytes this client accepts"},
        // A challenge or redirect announces a body the transport never delivers.
        {{"HTTP/1.1 401 Unauthorized", "Content-Length: 999999999999"}, "", "401", "Unauthorized", ""},
        {{"HTTP/1.1 200 OK", "Transfer-Encoding: gzip, chunked"},
         "",
         "200",
         "OK",
         "coding \"gzip, chunked\","},
        {{"HTTP/1.1 200 OK", "Transfer-Encoding: chunked, Chunked"}, "", "200", "OK", ""},
        {{"HTTP/1.1 307 Moved", "Location: http://u:pw@127.0.0.2/x"},
         "",
         "307",
         "Moved",
         "to another server, http://[hidden]@127.0.0.2/x; it was not followed"},
        {{"HTTP/1.1 307 Moved", "Location: /b.xml"}, "", "307", "Moved", ""},
        {{"HTTP/1.1 304 Not Modified", "Location: http://127.0.0.2/x"}, "", "304", "Not Modified", ""},
    };
    http::ReplyReader reply;
    reply.setMaxBytes(2048);
    for (const Case& c : cases) {
        reply.clear();
        for (const std::string& line : c.lines) reply.takeHeaderLine(line, home, home);
        EXPECT_EQ(reply.takeBody(c.body), c.body.size() <= 2048) << "only a body over the limit is refused";
        EXPECT_EQ(reply.statusCode(), c.code);
        EXPECT_EQ(reply.reason(), c.reason);
        const std::string refusal = reply.refusal() ? reply.refusal()->description : "";
        EXPECT_NE(refusal.find(c.refusal), std::string::npos) << refusal;
        EXPECT_EQ(refusal.empty(), c.refusal.empty()) << c.lines.back() << ": " << refusal;
    }
    // Each status line starts a new reply; Digest is remembered for the whole transfer.
    reply.clear();
    for (const char* line : {"HTTP/1.1 401 Unauthorized", "WWW-Authenticate: digest realm=\"r\"", "X-Old: 1",
                             "HTTP/1.1 200 OK", "X-A:  1 "})
        reply.takeHeaderLine(line, home, home);
    EXPECT_TRUE(reply.digestChallenged());
    EXPECT_FALSE(reply.header("X-Old"));
    ASSERT_TRUE(reply.header("x-a"));
    EXPECT_EQ(*reply.header("x-a"), "1");
}

}  // namespace
}  // namespace ostrel
