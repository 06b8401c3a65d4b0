#include <gtest/gtest.h>

#include "platform/HttpReply.h"

namespace ostrel {
namespace {

TEST(HttpReply, WhatMustNotBeTakenInIsRefusedAndOnlyThat) {
    const std::string home = "http://127.0.0.1:4000/a.xml";
    // header lines as the transport hands them over, words of the refusal (empty: none)
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"HTTP/1.1 200 OK", "Content-Length: 999999999999"},
         "larger than the 2048 bytes this client accepts"},
        // A challenge or redirect announces a body the transport never delivers.
        {{"HTTP/1.1 401 Unauthorized", "Content-Length: 999999999999"}, ""},
        {{"HTTP/1.1 200 OK", "Transfer-Encoding: gzip, chunked"}, "transfer coding \"gzip, chunked\","},
        {{"HTTP/1.1 200 OK", "Transfer-Encoding: chunked, Chunked"}, ""},
        {{"HTTP/1.1 307 Moved", "Location: http://u:pw@127.0.0.2/x"},
         "to another server, http://[hidden]@127.0.0.2/x; it was not followed"},
        {{"HTTP/1.1 307 Moved", "Location: /b.xml"}, ""},
        {{"HTTP/1.1 304 Not Modified", "Location: http://127.0.0.2/x"}, ""},
    };
    http::ReplyReader reply;
    reply.setMaxBytes(2048);
    for (const auto& [lines, words] : cases) {
        reply.clear();
        for (const std::string& line : lines) reply.takeHeaderLine(line + "\r\n", home, home);
        const std::string refusal = reply.refusal() ? reply.refusal()->description : "";
        EXPECT_NE(refusal.find(words), std::string::npos) << refusal;
        EXPECT_EQ(refusal.empty(), words.empty()) << lines.back() << ": " << refusal;
    }
}

}  // namespace
}  // namespace ostrel
