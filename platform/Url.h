#pragma once

// Request URLs: how one is made valid to send, whether it is one this client serves, and which server it
// and the references found in replies lead to. Nothing here knows the transfer in progress.
#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

// Makes a URL valid as a browser would before sending it (see HttpRequest). Every '?' is encoded as %3F: the
// URLs built here name resources, and a resource path never carries a query (a base URI with a query of its
// own has no meaning for WebDAV), so "report?v=2.xml" names that document, not "report" with a query.
std::string encodeUrlForRequest(std::string_view url);

namespace url {

// An absolute http:// or https:// URL (the scheme in any case).
bool isHttp(std::string_view url);
// The scheme and authority as written ("http://user@host:port"): what authentication state belongs to.
std::string_view serverOf(std::string_view url);

// The scheme, host and port a reference leads to, resolved against the URL it was found at.
struct Origin {
    std::string scheme;
    std::string host;
    std::string port;
};
std::optional<Origin> originOf(const std::string& base, const std::string& reference);
// The same server: the same host and port, or the same host moving from http to https.
bool isSameServer(const Origin& from, const Origin& to);
// Whether a redirect's location, found while the transfer is at currentUrl, stays on the server the request
// was opened on (requestUrl). A location that cannot be resolved leads elsewhere.
bool staysOnServer(const std::string& requestUrl, const std::string& currentUrl, const std::string& location);

}  // namespace url
}  // namespace ostrel
