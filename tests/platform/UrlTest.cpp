#include <gtest/gtest.h>

#include <tuple>

#include "platform/Url.h"

namespace ostrel {
namespace {

TEST(Url, RequestUrlsAreEncodedOnceLikeABrowserDoes) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"http://h/WebDAV Folder/caf\xC3\xA9.xml", "http://h/WebDAV%20Folder/caf%C3%A9.xml"},
        {"http://h/a%20b/%zz/100%", "http://h/a%20b/%25zz/100%25"},
        {"http://h/a\r\nX: y", "http://h/a%0D%0AX:%20y"},
        // A resource path carries neither a fragment nor a query: both marks are part of the name.
        {"http://h/report?v=2.xml", "http://h/report%3Fv=2.xml"},
        {"http://h/a#b?c=d&e", "http://h/a%23b%3Fc=d&e"},
        {"http://h:8080//x/../y;p=1", "http://h:8080//x/../y;p=1"},
        {"http://h/\"<>\\^`{|}", "http://h/%22%3C%3E%5C%5E%60%7B%7C%7D"},
    };
    for (const auto& [url, encoded] : cases) EXPECT_EQ(encodeUrlForRequest(url), encoded) << url;
    for (const auto& [url, http] :
         {std::pair{"HTTPS://h/a", true}, {"ftp://127.0.0.1/a", false}, {"h/a", false}})
        EXPECT_EQ(url::isHttp(url), http) << url;
    EXPECT_EQ(url::serverOf("http://u@h:81/a/b"), "http://u@h:81");
}

TEST(Url, RedirectsStayOnlyOnTheSameHostAndPortOrMoveFromHttpToHttps) {
    const std::string home = "http://127.0.0.1:4000/a.xml";
    // where the transfer is now, the location, whether it stays on the server the request was opened on
    const std::vector<std::tuple<std::string, std::string, bool>> cases = {
        {home, "/same-server.xml", true},
        {home, "HTTP://127.0.0.1:4000/b", true},
        {home, "https://127.0.0.1:4443/", true},
        {home, "http://127.0.0.1:4001/moved.xml", false},
        {home, "http://localhost:4000/m.xml", false},
        {home, "ftp://127.0.0.1:4000/m.xml", false},
        // A location is resolved where the transfer is now, and compared with where the request began.
        {"https://127.0.0.1/b", "/c", true},
        {"https://127.0.0.1/b", "//localhost/c", false},
    };
    for (const auto& [current, location, stays] : cases)
        EXPECT_EQ(url::staysOnServer(home, current, location), stays) << current << " -> " << location;
}

}  // namespace
}  // namespace ostrel
