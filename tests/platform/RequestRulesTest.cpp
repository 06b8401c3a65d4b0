#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "platform/Authentication.h"
#include "platform/RequestHeaders.h"

namespace ostrel::http {
namespace {

// What the transport kept is forgotten when the server as written, the user id or the password changes; a
// new path on the same server keeps it.
TEST(AuthenticationMemory, KeptAnswersBelongToOneServerUserAndPassword) {
    // url, user, password, forgotten before this request
    const std::vector<std::tuple<std::string, std::string, std::string, bool>> requests = {
        {"http://127.0.0.1:8080/a.xml", "alice", "s3cret", true},
        {"http://127.0.0.1:8080/b/c.xml", "alice", "s3cret", false},
        {"http://127.0.0.1:8081/a.xml", "alice", "s3cret", true},
        {"http://127.0.0.1:8080/a.xml", "alice", "s3cret", true},
        {"http://127.0.0.1:8080/a.xml", "bob", "s3cret", true},
        {"http://127.0.0.1:8080/a.xml", "bob", "other", true},
        // Spelt another way, the same server costs one challenge.
        {"http://bob@127.0.0.1:8080/a.xml", "bob", "other", true},
        {"https://bob@127.0.0.1:8080/a.xml", "bob", "other", true},
        {"https://bob@127.0.0.1:8080", "bob", "other", false},
    };
    AuthenticationMemory memory;
    for (const auto& [url, user, password, forgotten] : requests)
        EXPECT_EQ(memory.mustForgetFor(url, user, password), forgotten)
            << url << " " << user << " " << password;
}

// A nonce is held from the challenge that brought it until the transport forgets, whatever became of the
// transfer; only a completed 401 with a Digest challenge to a kept nonce is worth a fresh handshake.
TEST(AuthenticationMemory, OneFreshHandshakeOnlyWhereAKeptNonceWasRefused) {
    AuthenticationMemory memory;
    EXPECT_FALSE(memory.nonceHeld());
    memory.transferred(false);
    EXPECT_FALSE(memory.nonceHeld());
    memory.transferred(true);
    memory.transferred(false);
    EXPECT_TRUE(memory.nonceHeld()) << "a later transfer without a challenge keeps the nonce";
    memory.forgotten();
    EXPECT_FALSE(memory.nonceHeld());

    // reused a nonce, status, the reply challenged with Digest, worth a fresh handshake
    const std::vector<std::tuple<bool, long, bool, bool>> cases = {
        {true, 401, true, true},
        {false, 401, true, false},  // a first challenge: the transport answers it by itself
        {true, 401, false, false},  // Basic: a refusal
        {true, 200, true, false},
        {true, 403, true, false},
    };
    for (const auto& [reused, status, challenged, worth] : cases)
        EXPECT_EQ(AuthenticationMemory::worthFreshHandshake(reused, status, challenged), worth) << status;
}

// Every header goes as set, an empty value included; the transport adds no Content-Type or Expect of its
// own, and one the caller set is not doubled.
TEST(RequestHeaders, TransportLinesKeepTheCallersHeadersAndOnlyThose) {
    const std::vector<std::tuple<std::vector<std::pair<std::string, std::string>>, std::vector<std::string>>>
        cases = {
            {{}, {"Content-Type:", "Expect:"}},
            {{{"Depth", "1"}, {"If", ""}, {"depth", "0"}}, {"Depth: 0", "If;", "Content-Type:", "Expect:"}},
            {{{"content-type", "text/xml; charset=\"utf-8\""}},
             {"content-type: text/xml; charset=\"utf-8\"", "Expect:"}},
            {{{"Expect", "100-continue"}, {"Content-Type", ""}}, {"Expect: 100-continue", "Content-Type;"}},
        };
    for (const auto& [set, lines] : cases) {
        RequestHeaders headers;
        for (const auto& [name, value] : set) headers.set(name, value);
        EXPECT_EQ(headers.transportLines(), lines);
    }
}

}  // namespace
}  // namespace ostrel::http
