#include "platform/TransportErrors.h"

#include <curl/curl.h>

#include <cstring>

#include "platform/Error.h"
#include "platform/HttpText.h"

namespace ostrel::transport {

namespace {

std::string detailOf(int code, std::string_view detail) {
    return detail.empty() ? std::string(curl_easy_strerror(static_cast<CURLcode>(code)))
                          : std::string(http::trim(detail));
}

}  // namespace

std::int32_t errorNumber(int transportCode) {
    return errors::kHttpBase + static_cast<std::int32_t>(transportCode);
}

const std::int32_t kReplyTooLarge = errors::kHttpBase + CURLE_FILESIZE_EXCEEDED;
const std::int32_t kUnreadableAuthorities = errors::kHttpBase + CURLE_SSL_CACERT_BADFILE;

// The transport failures a desktop user actually meets, in plain words.
std::string_view plainWordsFor(int transportCode) {
    switch (static_cast<CURLcode>(transportCode)) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return "The server's host name could not be resolved";
        case CURLE_COULDNT_CONNECT:
            return "Could not connect to the server";
        case CURLE_OPERATION_TIMEDOUT:
            return "The server did not answer in time; the request was abandoned";
        case CURLE_PARTIAL_FILE:
            return "The connection closed before the whole reply had arrived";
        case CURLE_GOT_NOTHING:
            return "The server closed the connection without sending a reply";
        case CURLE_RECV_ERROR:
            return "The connection failed while the reply was being received";
        case CURLE_SEND_ERROR:
            return "The connection failed while the request was being sent";
        // libcurl calls a reply without a status line HTTP/0.9 and refuses it as an unsupported protocol; the
        // URL's scheme was checked by open, so here it can only be the reply.
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_UNSUPPORTED_PROTOCOL:
            return "The server's reply is not HTTP";
        case CURLE_PEER_FAILED_VERIFICATION:
            return "The server's certificate could not be verified";
        case CURLE_SSL_CONNECT_ERROR:
            return "The secure connection could not be established";
        case CURLE_URL_MALFORMAT:
            return "The URL is not valid";
        case CURLE_TOO_MANY_REDIRECTS:
            return "The server redirected the request too many times";
        case CURLE_LOGIN_DENIED:
            return "The server refused the user name and password";
        // libcurl holds a header line of at most CURL_MAX_HTTP_HEADER octets and reports a longer one as
        // out of memory: a huge status line, Location or Lock-Token.
        case CURLE_OUT_OF_MEMORY:
            return "The reply's header is larger than the 100 KiB this client accepts; the request was "
                   "abandoned";
        default:
            return "The request failed";
    }
}

std::string describe(const Failure& failure) {
    const auto code = static_cast<CURLcode>(failure.code);
    std::string description(plainWordsFor(code));
    if (code == CURLE_OPERATION_TIMEDOUT && !failure.connected) {
        description = "Could not connect to the server in time";
    }
    // The transport's own words say where it failed, except where they would mislead: a header too
    // large is "Out of memory" to it, and a challenge answered again and again counts as a redirect.
    bool withDetail = code != CURLE_OUT_OF_MEMORY;
    if (code == CURLE_TOO_MANY_REDIRECTS && failure.askedForAuthentication) {
        description = "The server kept asking for authentication";
        withDetail = false;
    }
    if (withDetail) description += ": " + detailOf(code, failure.detail);
    // The transport keeps the system's error of the last failed connection, also across requests.
    if (failure.systemError != 0 && code == CURLE_COULDNT_CONNECT)
        description += std::string(" (") + std::strerror(static_cast<int>(failure.systemError)) + ")";
    return description;
}

std::string brief(int transportCode, std::string_view detail) {
    return std::string(plainWordsFor(transportCode)) + ": " + detailOf(transportCode, detail);
}

}  // namespace ostrel::transport
