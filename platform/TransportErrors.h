#pragma once

// The transport's failures in this program's words: what a person reads first, then the transport's own
// account of where it failed. Nothing here knows the transfer that failed; the engine gathers the facts.
#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel::transport {

// The error number of a transport failure (its numeric code).
std::int32_t errorNumber(int transportCode);
// A reply abandoned for its size, with the number the transport gives that failure.
extern const std::int32_t kReplyTooLarge;
// A file of extra certificate authorities that cannot be read.
extern const std::int32_t kUnreadableAuthorities;

// What a person should read first for a failure of the transport (its numeric code).
std::string_view plainWordsFor(int transportCode);

struct Failure {
    int code = 0;
    // The transport's own words about this failure; empty where it gave none (its generic text stands in).
    std::string_view detail;
    bool connected = true;                // a connection was made before the failure
    bool askedForAuthentication = false;  // the last reply was a challenge
    long systemError = 0;                 // the system's error of the last failed connection, 0 for none
};
// The plain words with the transport's detail: the first line of the error's description.
std::string describe(const Failure& failure);
// The plain words and the detail, nothing weighed: what the protocol log shows for the failure.
std::string brief(int transportCode, std::string_view detail);

}  // namespace ostrel::transport
