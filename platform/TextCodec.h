#pragma once

#include <optional>
#include <string>
#include <string_view>

// Turning octets from the network into UTF-8 text that is safe to show and to parse.
namespace ostrel::text {

// The text with ASCII's capital letters made small, for names compared without regard to case (charsets,
// media types, hosts).
std::string asciiLower(std::string_view text);

// True when the octets are valid UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool isValidUtf8(std::string_view bytes);
// The octets as UTF-8, each byte that does not start a valid sequence replaced by U+FFFD.
std::string toValidUtf8(std::string_view bytes);
// True for the names of UTF-8 ("utf-8", "UTF8", ...).
bool isUtf8Name(std::string_view charset);
// The octets decoded from the named charset (any name iconv knows); nullopt when the name is empty or
// unknown. Undecodable bytes become U+FFFD; a byte-order mark is not part of the text.
std::optional<std::string> decodeFromCharset(std::string_view bytes, std::string_view charset);
// The octets decoded from the named charset (any name iconv knows), else by their byte-order mark, else as
// UTF-8; undecodable bytes become U+FFFD. A byte-order mark is not part of the text.
std::string decodeToUtf8(std::string_view bytes, std::string_view charset);
// The charset parameter of a Content-Type value, lower case and unquoted; empty when none.
std::string charsetOf(std::string_view contentType);
// Where to cut UTF-8 text at most limit octets long without splitting a character.
std::size_t utf8Boundary(std::string_view text, std::size_t limit);
// "… (N more octets)": what stands in a shown text for the part that was cut from it.
std::string moreOctets(long long count);
// Replaces every %xx escape by its octet: the text a server's href names. A "%" not followed by two hex
// digits stays as it is.
std::string decodePercentEscapes(std::string_view text);

}  // namespace ostrel::text
