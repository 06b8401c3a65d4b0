#include <gtest/gtest.h>

#include <array>

#include "platform/TextCodec.h"
#include "platform/TextDecoder.h"

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

// Octets that arrive in pieces decode to the text that all of them give at once, wherever a piece ends: in
// the middle of a character, a byte-order mark or an undecodable sequence.
TEST(TextCodec, OctetsDecodedAsTheyArriveGiveTheSameText) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        // octets, charset
        {"\xEF\xBB\xBF<a>caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80</a>", ""},
        {"\xEF\xBB\xBF\xEF\xBB\xBF"
         "a\xFF.\xC0\xAF\xED\xA0\x80.\xE2\x82",
         "utf-8"},
        {std::string("\xFF\xFE<\0a\0/\0>\0\x3D\xD8\x00\xDE", 12), ""},
        {std::string("\xFE\xFF\0<\0a\0/\0>\xD8", 11), "utf-16"},
        {std::string("\xFE\xFF\xFE\xFF\0<\0a\xD8\x3D\xDE", 11), "utf-16be"},
        {std::string("\xFF\xFE<\0a\0", 6), "utf-16x"},
        {"caf\xE9 \x81\x40 \x82\xA0", "iso-8859-1"},
        {"\x82\xA0\x82\xA2 \x82\xFF \x82", "shift_jis"},
        {"a\xF4\x90\x80\x80"
         "b\xE2\x82",
         "iso-10646/utf8/"},  // glibc passes what is beyond Unicode
        {"caf\xC3\xA9", "x-no-such-charset"},
        {"\xEF\xBB", ""},
    };
    for (const auto& [octets, charset] : cases) {
        const std::string expected = text::decodeToUtf8(octets, charset);
        for (std::size_t piece = 1; piece <= octets.size(); ++piece) {
            std::string decoded;
            text::Decoder decoder(charset, [&decoded](std::string_view text) { decoded += text; });
            for (std::size_t at = 0; at < octets.size(); at += piece) decoder.push(octets.substr(at, piece));
            decoder.finish();
            EXPECT_EQ(decoded, expected) << charset << ", pieces of " << piece;
        }
    }
}

}  // namespace
}  // namespace ostrel
