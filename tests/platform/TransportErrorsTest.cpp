#include <gtest/gtest.h>

#include <cerrno>
#include <tuple>

#include "platform/Error.h"
#include "platform/TransportErrors.h"

namespace ostrel {
namespace {

// libcurl's numbers for the failures below.
enum Code { kCouldNotConnect = 7, kTooManyRedirects = 47, kGotNothing = 52 };

TEST(TransportErrors, PlainWordsFirstThenTheTransportsOwn) {
    // code, detail, connected, the last reply a challenge, system error, description
    const std::vector<std::tuple<int, std::string, bool, bool, long, std::string>> cases = {
        {kCouldNotConnect, "Failed to connect", false, false, ECONNREFUSED,
         "Could not connect to the server: Failed to connect (Connection refused)"},
        {kGotNothing, "Empty reply\r\n", true, false, ECONNREFUSED,
         "The server closed the connection without sending a reply: Empty reply"},
        // A timeout before connecting, a header too large and a challenge without end are checked where the
        // request object meets them.
        {kTooManyRedirects, "Maximum (10) redirects followed", true, false, 0,
         "The server redirected the request too many times: Maximum (10) redirects followed"},
        {79, "SSH failed", true, false, 0, "The request failed: SSH failed"},
    };
    for (const auto& [code, detail, connected, challenged, systemError, description] : cases) {
        EXPECT_EQ(transport::describe({code, detail, connected, challenged, systemError}), description);
        EXPECT_EQ(transport::errorNumber(code), errors::kHttpBase + code);
    }
}

}  // namespace
}  // namespace ostrel
