#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Exchange.h"

// How a protocol log shows an exchange: the columns of its row, the text of its details, the curl command
// that sends the same request, and which exchanges a filter lets through.
namespace ostrel::exchanges {

// What the details of a summary say in place of the headers and bodies that were never recorded.
inline constexpr std::string_view kNotRecorded =
    "The full exchange was not recorded: the protocol log had not been opened yet.";

// Indents a whole XML document for reading; nothing where the text is not one it can indent.
using XmlIndenter = std::function<std::optional<std::string>(const std::string& xml)>;

// When the request went out, in local time to the millisecond ("2026-12-07 19:50:35.123").
std::string timeText(const Exchange& exchange);
// The status code and reason phrase, or why the transport gave up.
std::string outcomeText(const Exchange& exchange);
// How long the round trip took, to a tenth of a millisecond ("12.3 ms").
std::string durationText(const Exchange& exchange);

// An exchange as readable text: a summary line, the request's headers and body, the reply's headers and
// body. A body is shown as it was sent or received, its octets decoded for reading; nothing in it is parsed
// or resolved. Given an indenter, a body that is a whole XML document is indented for reading.
std::string detailsText(const Exchange& exchange, const XmlIndenter& indent = {});

// A curl command line that sends the same request: its method, URL, headers and body, with "-u user" and
// no password (curl asks for it), and no Authorization header.
std::string curlCommand(const Exchange& exchange);

// Whether what the exchange's row shows (method, URL, status, reason, failure) holds wanted, letters
// compared without case; with inBodies, its headers and bodies count too. An empty wanted matches all.
bool matches(const Exchange& exchange, std::string_view wanted, bool inBodies);

}  // namespace ostrel::exchanges
