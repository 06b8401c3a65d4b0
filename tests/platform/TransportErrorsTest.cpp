#include <gtest/gtest.h>

#include <cerrno>
#include <tuple>

#include "platform/Error.h"
#include "platform/TransportErrors.h"

namespace ostrel {
namespace {

// libcurl's numbers for the failures below.
enum Code {
    kCouldNotConnect = 7,
    kOutOfMemory = 27,
    kTimedOut = 28,
    kTooManyRedirects = 47,
    kGotNothing = 52
};

TEST(TransportErrors, PlainWordsFirstThenTheTransportsOwnUnlessTheyMislead) {
    // code, detail, connected, the last reply a challenge, system error, description
    const std::vector<std::tuple<int, std::string, bool, bool, long, std::string>> cases = {
        {kCouldNotConnect, "Failed to connect", false, false, ECONNREFUSED,
         "Could not connect to the server: Failed to connect (Connection refused)"},
        {kGotNothing, "Empty reply\r\n", true, false, ECONNREFUSED,
         "The server closed the connection without sending a reply: Empty reply"},
        {kTimedOut, "Timeout was reached", false, false, 0,
         "Could not connect to the server in time: Timeout was reached"},
        {kTimedOut, "Timeout was reached", true, false, 0,
         "The server did not answer in time; the request was abandoned: Timeout was reached"},
        {kOutOfMemory, "Out of memory", true, false, 0,
         "The reply's header is larger than the 100 KiB this client accepts; the request was abandoned"},
        {kTooManyRedirects, "Maximum (10) redirects followed", true, true, 0,
         "The server kept asking for authentication"},
        {kTooManyRedirects, "Maximum (10) redirects followed", true, false, 0,
         "The server redirected the request too many times: Maximum (10) redirects followed"},
        {79, "SSH failed", true, false, 0, "The request failed: SSH failed"},
    };
    for (const auto& [code, detail, connected, challenged, systemError, description] : cases) {
        EXPECT_EQ(transport::describe({code, detail, connected, challenged, systemError}), description);
        EXPECT_EQ(transport::errorNumber(code), errors::kHttpBase + code);
    }
    // Without words of its own for this failure, the transport's text for the code stands in.
    const std::string words = "The server closed the connection without sending a reply: ";
    const std::string generic = transport::describe({.code = kGotNothing});
    EXPECT_TRUE(generic.starts_with(words) && generic.size() > words.size()) << generic;
    EXPECT_EQ(transport::brief(kOutOfMemory, "Out of memory"),
              "The reply's header is larger than the 100 KiB this client accepts; the request was abandoned: "
              "Out of memory");
}

}  // namespace
}  // namespace ostrel
