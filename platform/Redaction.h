#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Exchange.h"

// Hiding credentials in what a protocol log keeps. Everything is hidden by where it stands, whatever the
// password is, and nothing by searching for the password's text: a password such as "e" or "config" is
// found inside every path and header that happens to hold those letters, and a server writes a password in
// forms no search foresees (lower-case %xx, partial XML escaping, numeric character references, base64).
namespace ostrel::redaction {

inline constexpr std::string_view kHidden = "[hidden]";

// Replaces the values of Authorization, Proxy-Authorization, Cookie and Set-Cookie in a block of header
// lines (a request or status line first, then "Name: value" lines), continuation lines included. The values
// of Authorization and Proxy-Authorization as they were are added to sent, when given: what a server may
// echo.
void hideHeaderValues(std::string& block, std::vector<std::string>* sent = nullptr);

// Replaces the user information of every absolute URL in the text ("http://user:pw@host/a" becomes
// "http://[hidden]@host/a"); the user id goes with the password, as some servers take a token there.
void hideUserInfo(std::string& text);

// Everything above applied to one round trip: header values in both directions, the user information of
// every URL in it, and echoes of the Authorization values its request carried, as sent, percent-encoded or
// escaped as XML, wherever they stand on their own. sent is room for those values, kept by the caller so that
// it is not allocated again for every round trip.
void hideCredentials(Exchange& exchange, std::vector<std::string>& sent);

}  // namespace ostrel::redaction
