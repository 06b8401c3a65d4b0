// Feeds arbitrary octets and charset names through the text codec, which turns every reply's body into the
// text the program parses and shows: the charset parameter of the Content-Type, the decoding by it, the
// cleaning of invalid UTF-8, where a shown text is cut, and the decoding of a server's percent escapes.
//
// Input layout: the first line (up to a newline, at most 200 bytes) is the reply's Content-Type value; the
// rest is the body.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Invariants.h"

using namespace ostrel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view body(reinterpret_cast<const char*>(data), size);
    const std::string charset = checkCharsetOf(takeFirstLine(body));
    checkCleaning(body);
    checkDecoding(body, charset);
    checkLongDecoding(body);
    checkBoundary(body);
    checkPercentEscapes(body);
    return 0;
}
