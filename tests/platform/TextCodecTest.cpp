#include <gtest/gtest.h>

#include <array>

#include "platform/TextCodec.h"

namespace ostrel {
namespace {

TEST(TextCodec, DecodesByCharsetThenByteOrderMarkThenUtf8) {
    const std::string fffd = "\xEF\xBF\xBD";
    const std::vector<std::array<std::string, 3>> cases = {
        // octets, charset, text
        {"caf\xE9", "iso-8859-1", "caf\xC3\xA9"},
        {"\xEF\xBB\xBF<a/>", "", "<a/>"},
        {std::string("\xFF\xFE<\0a\0/\0>\0", 10), "", "<a/>"},
        {std::string("\xFE\xFF\0<\0a\0/\0>", 10), "", "<a/>"},
        // Invalid bytes, an overlong form, a surrogate and a sequence cut off at the end become U+FFFD.
        {"a\xFF.\xC0\xAF", "", "a" + fffd + "." + fffd + fffd},
        {"c\xED\xA0\x80.\xE2\x82", "", "c" + fffd + fffd + fffd + "." + fffd + fffd},
        {"caf\xC3\xA9", "x-no-such-charset", "caf\xC3\xA9"},  // an unknown charset falls back to UTF-8
        // Beyond U+10FFFF, which iconv lets through from UTF-8 under a name of its own.
        {"a\xF4\x90\x80\x80", "iso-10646/utf8/", "a" + fffd + fffd + fffd + fffd},
    };
    for (const auto& [octets, charset, text] : cases) EXPECT_EQ(text::decodeToUtf8(octets, charset), text);
    EXPECT_EQ(text::charsetOf("text/xml; charset=\"UTF-8\""), "utf-8");
    EXPECT_EQ(text::charsetOf("text/html;charset=ISO-8859-1;q=1"), "iso-8859-1");
    EXPECT_EQ(text::charsetOf("text/xml; xcharset=a"), "");
    EXPECT_EQ(text::charsetOf("text/xml"), "");
}

}  // namespace
}  // namespace ostrel
