#include <gtest/gtest.h>

#include "platform/HttpRequest.h"
#include "platform/TextCodec.h"

namespace ostrel {
namespace {

TEST(TextCodec, DecodesByCharsetThenByteOrderMarkThenUtf8) {
    EXPECT_EQ(text::decodeToUtf8("caf\xE9", "iso-8859-1"), "caf\xC3\xA9");
    EXPECT_EQ(text::decodeToUtf8("\xEF\xBB\xBF<a/>", ""), "<a/>");
    EXPECT_EQ(text::decodeToUtf8(std::string("\xFF\xFE<\0a\0/\0>\0", 10), ""), "<a/>");
    EXPECT_EQ(text::decodeToUtf8(std::string("\xFE\xFF\0<\0a\0/\0>", 10), ""), "<a/>");
    // Invalid bytes, an overlong form, a surrogate and a sequence cut off at the end each become U+FFFD.
    EXPECT_EQ(text::decodeToUtf8("a\xFF"
                                 "b\xC0\xAF"
                                 "c\xED\xA0\x80"
                                 "d\xE2\x82",
                                 ""),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD\xEF\xBF\xBD"
              "c\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
              "d\xEF\xBF\xBD\xEF\xBF\xBD");
    // An unknown charset falls back to UTF-8 rather than failing.
    EXPECT_EQ(text::decodeToUtf8("caf\xC3\xA9", "x-no-such-charset"), "caf\xC3\xA9");

    EXPECT_EQ(text::charsetOf("text/xml; charset=\"UTF-8\""), "utf-8");
    EXPECT_EQ(text::charsetOf("text/html;charset=ISO-8859-1;q=1"), "iso-8859-1");
    EXPECT_EQ(text::charsetOf("text/xml; xcharset=a"), "");
    EXPECT_EQ(text::charsetOf("text/xml"), "");
}

TEST(TextCodec, RequestUrlsAreEncodedOnceLikeABrowserDoes) {
    EXPECT_EQ(encodeUrlForRequest("http://h/WebDAV Folder/caf\xC3\xA9.xml"),
              "http://h/WebDAV%20Folder/caf%C3%A9.xml");
    EXPECT_EQ(encodeUrlForRequest("http://h/a%20b/%zz/100%"), "http://h/a%20b/%25zz/100%25");
    EXPECT_EQ(encodeUrlForRequest("http://h/a\r\nX: y"), "http://h/a%0D%0AX:%20y");
    EXPECT_EQ(encodeUrlForRequest("http://h/a#b?c=d&e"), "http://h/a%23b?c=d&e");
    EXPECT_EQ(encodeUrlForRequest("http://h//x/../y"), "http://h//x/../y");
}

}  // namespace
}  // namespace ostrel
