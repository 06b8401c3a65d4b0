#pragma once

// Texts and small rules the client's operations share; not part of its interface.
#include <string>
#include <string_view>

#include "platform/Error.h"

namespace ostrel::client {

// An error of the client's own (number WebDAVClient::kErrorNumber).
Error clientError(std::string source, std::string description);
// The same with a text that explains it, usually the reply's: kept apart as the error's details.
Error clientError(std::string source, std::string_view headline, std::string_view details);
// Replaces every occurrence, scanning past what was inserted, so a replacement that contains the pattern
// is left as it is.
std::string replaceAll(std::string text, std::string_view pattern, std::string_view replacement);
// Without leading and trailing spaces (U+0020 only).
std::string trimSpaces(const std::string& text);
bool contains(std::string_view text, std::string_view part);
std::string octetCount(std::string_view body);
// A status in words a person reads, for replies whose body says nothing: "the server refused the user id or
// password (401 Unauthorized)".
std::string statusInWords(int status, const std::string& reason);

}  // namespace ostrel::client
