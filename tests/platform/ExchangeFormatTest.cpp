#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <tuple>
#include <vector>

#include "platform/ExchangeFormat.h"
#include "ui/XmlFormat.h"

using namespace ostrel;

// A body is shown as it went over the wire, decoded for reading: an entity is never expanded (one that grows
// a reply a thousandfold froze the window), the declaration keeps its encoding, and indenting moves only
// white space between markup, when asked for. A summary says why it shows no more; a curl command gives the
// user id to -u, never the URL's hidden user information.
TEST(ExchangeFormat, DetailsAndCurlCommands) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    const auto reply = [](const std::string& type, const std::string& body, long long size = 0) -> Exchange {
        return {.headersIn = "HTTP/1.1 200 OK\r\nContent-Type: " + type + "\r\n\r\n",
                .bodyIn = body,
                .bodyInSize = size ? size : static_cast<long long>(body.size())};
    };
    const auto request = [](const std::string& method, const std::string& headers, const std::string& user) {
        return Exchange{
            .method = method,
            .url = "http://[hidden]@127.0.0.1:8/a.xml",
            .user = user,
            .headersOut = method + " /a.xml HTTP/1.1\r\nHost: 127.0.0.1:8\r\n" + headers + "\r\n"};
    };
    const std::string start =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
        "<!DOCTYPE r [<!ENTITY a \"aaaa\"><!ENTITY b \"&a;&a;&a;\">]>\n";
    const std::string body = start + "<r>  <x>&b;</x>  <y>caf\xE9</y></r>";
    Exchange summary = request("GET", "", "");
    summary.time = std::chrono::system_clock::from_time_t(1796673035) + std::chrono::milliseconds(123);
    summary.duration = std::chrono::microseconds(1450);
    std::tie(summary.status, summary.reason, summary.octetsOut, summary.octetsIn, summary.summary) =
        std::tuple(200, "OK", 120, 2345, true);
    const std::vector<std::tuple<Exchange, bool, std::string>> details = {
        {reply("text/xml", body), false, "\r\n\r\n\r\n" + start + "<r>  <x>&b;</x>  <y>caf\xC3\xA9</y></r>"},
        {reply("text/xml", body), true,
         "\r\n\r\n\r\n" + start + "<r>\n  <x>&b;</x>\n  <y>caf\xC3\xA9</y>\n</r>"},
        // The label's charset comes before the declaration.
        {reply("text/xml; charset=utf-8", "<a>caf\xC3\xA9</a>"), false, "\r\n\r\n\r\n<a>caf\xC3\xA9</a>"},
        // A body cut at the size kept is no whole document: shown as it came, indented or not.
        {reply("text/xml", "<r>  <x>1</x>  <x>", 100), true,
         "\r\n\r\n\r\n<r>  <x>1</x>  <x>\r\n\xE2\x80\xA6 (82 more octets)"},
        {reply("text/html", "<p>a<br></p>"), true, "\r\n\r\n\r\n<p>a<br></p>"},
        {summary, true,
         "2026-12-07 19:50:35.123  GET http://[hidden]@127.0.0.1:8/a.xml  200 OK  1.5 ms, 120 octets out, "
         "2345 in\r\n\r\nThe full exchange was not recorded: the protocol log had not been opened yet."},
    };
    for (const auto& [exchange, indent, expectedEnd] : details) {
        const std::string text =
            exchanges::detailsText(exchange, indent ? ui::indentedXml : exchanges::XmlIndenter());
        EXPECT_TRUE(text.ends_with(expectedEnd + "\r\n")) << text;
    }

    // The user id goes with -u, never as the hidden user information of the URL.
    EXPECT_EQ(exchanges::curlCommand(request("GET", "Authorization: [hidden]\r\nDepth: 1\r\n", "logger")),
              "curl -H 'Depth: 1' --anyauth -u 'logger' 'http://127.0.0.1:8/a.xml'");
}
