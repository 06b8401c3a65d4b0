#include <gtest/gtest.h>

#include <optional>

#include "platform/BodySink.h"
#include "platform/HttpReply.h"
#include "platform/XmlReply.h"

namespace ostrel {
namespace {

TEST(HttpReply, WhatMustNotBeTakenInIsRefusedAndOnlyThat) {
    const std::string home = "http://127.0.0.1:4000/a.xml";
    // header lines as the transport hands them over, words of the refusal (empty: none)
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"HTTP/1.1 200 OK", "Content-Length: 999999999999"},
         "larger than the 2048 bytes this client accepts"},
        // A challenge or redirect announces a body the transport never delivers.
        {{"HTTP/1.1 401 Unauthorized", "Content-Length: 999999999999"}, ""},
        {{"HTTP/1.1 200 OK", "Transfer-Encoding: gzip, chunked"}, "transfer coding \"gzip, chunked\","},
        {{"HTTP/1.1 200 OK", "Transfer-Encoding: chunked, Chunked"}, ""},
        {{"HTTP/1.1 307 Moved", "Location: http://u:pw@127.0.0.2/x"},
         "to another server, http://[hidden]@127.0.0.2/x; it was not followed"},
        {{"HTTP/1.1 307 Moved", "Location: /b.xml"}, ""},
        {{"HTTP/1.1 304 Not Modified", "Location: http://127.0.0.2/x"}, ""},
    };
    http::ReplyReader reply;
    reply.setMaxBytes(2048);
    for (const auto& [lines, words] : cases) {
        reply.clear();
        for (const std::string& line : lines) reply.takeHeaderLine(line + "\r\n", home, home);
        const std::string refusal = reply.refusal() ? reply.refusal()->description : "";
        EXPECT_NE(refusal.find(words), std::string::npos) << refusal;
        EXPECT_EQ(refusal.empty(), words.empty()) << lines.back() << ": " << refusal;
    }
}

// A body handed to a sink: each reply's header begins it afresh (a challenge's or a redirect's body is not
// the final reply's), trailers after a chunked body do not, and only the start is kept.
TEST(HttpReply, ABodyGoesToTheSinkOfItsOwnReply) {
    struct Recorder : BodySink {
        std::string events;
        void begin(int status, std::string_view contentType) override {
            events += "|" + std::to_string(status) + " " + std::string(contentType) + ":";
        }
        void take(std::string_view octets) override { events += octets; }
    } sink;
    const std::string url = "http://127.0.0.1:4000/a.xml";
    http::ReplyReader reply;
    reply.setBodySink(&sink, 4);
    for (const char* line : {"HTTP/1.1 401 Unauthorized", "Content-Type: text/html", ""})
        reply.takeHeaderLine(std::string(line) + "\r\n", url, url);
    reply.takeBody("<p>no</p>");
    for (const char* line : {"HTTP/1.1 100 Continue", "", "HTTP/1.1 200 OK", "Content-Type: text/xml", ""})
        reply.takeHeaderLine(std::string(line) + "\r\n", url, url);
    for (const char* piece : {"<a>", "text", "</a>"}) reply.takeBody(piece);
    for (const char* line : {"Trailer-Field: 1", ""})
        reply.takeHeaderLine(std::string(line) + "\r\n", url, url);
    EXPECT_EQ(sink.events, "|401 text/html:<p>no</p>|100 :|200 text/xml:<a>text</a>");
    EXPECT_EQ(reply.body(), "<a>t");
    EXPECT_EQ(reply.bodySize(), 11u);
}

// A body kept whole keeps every octet across the moves of its pages, also after a clear, and one announced
// larger than a hostile server may make us reserve still grows to its size.
TEST(HttpReply, AKeptBodyIsEveryOctetAsItCame) {
    const std::string url = "http://127.0.0.1:4000/a.xml";
    http::ReplyReader reply;
    for (const std::size_t announced : {std::size_t(0), std::size_t(5000), std::size_t(100) << 20}) {
        reply.clear();
        for (const std::string& line :
             {std::string("HTTP/1.1 200 OK"), "Content-Length: " + std::to_string(announced)})
            reply.takeHeaderLine(line + "\r\n", url, url);
        std::string expected;
        for (std::size_t piece = 1; expected.size() < (std::size_t(3) << 20); piece = piece * 3 + 1) {
            const std::string octets(piece, static_cast<char>('a' + piece % 26));
            ASSERT_TRUE(reply.takeBody(octets));
            expected += octets;
        }
        EXPECT_EQ(reply.body(), expected) << announced;
    }
}

// The three ways a reply's body is read as XML: by its label as responseXML reads it, as a fetched document,
// and as text.
TEST(HttpReply, ABodyIsReadAsItsReadingAndLabelSay) {
    const std::string latin = "<a>caf\xE9</a>";
    const std::string page = "<html><head><title>201 Created</title></head></html>";
    const std::string utf16 = "\xFF\xFE" + std::string("<\0a\0>\0\xE9\0<\0/\0a\0>\0", 16);
    struct Case {
        XmlReading reading;
        int status;
        std::string contentType;
        std::string body;
        std::optional<std::string> text;  // nullopt: a document without child nodes
    };
    using enum XmlReading;
    const std::vector<Case> cases = {
        {Reply, 200, "text/xml; charset=utf-16be", std::string("\0<\0a\0>\0c\0a\0f\0\xE9\0<\0/\0a\0>", 22),
         "caf\xC3\xA9"},
        {Reply, 200, "application/xml; charset=iso-8859-1", latin, "caf\xC3\xA9"},
        {Reply, 200, "text/xml; charset=\"ISO-8859-1\"", "<?xml version='1.0' encoding='utf-8'?>" + latin,
         "caf\xC3\xA9"},
        {Reply, 200, "text/xml", "<?xml version='1.0' encoding='ISO-8859-1'?>" + latin, "caf\xC3\xA9"},
        {Reply, 200, "text/xml", utf16, "\xC3\xA9"},
        {Reply, 200, "text/xml; charset=utf-8", "<a>caf\xC3\xA9</a>", "caf\xC3\xA9"},
        {Reply, 200, "text/xml; charset=utf-8", latin, std::nullopt},
        {Reply, 200, "text/html; charset=iso-8859-1", page, std::nullopt},
        {Reply, 200, "application/xhtml+xml", page, "201 Created"},
        {Reply, 404, "", page, "201 Created"},
        // A fetched document is read under any label but HTML, and only from a success.
        {Document, 200, "text/plain; charset=utf-16", "<?xml version='1.0' encoding='ISO-8859-1'?>" + latin,
         "caf\xC3\xA9"},
        {Document, 200, "text/html", page, std::nullopt},
        {Document, 404, "text/xml", page, std::nullopt},
        // Text is decoded as responseText decodes it, whatever the label, and its declaration is not heeded.
        {Text, 200, "text/html", "<?xml version='1.0' encoding='ISO-8859-1'?><a>caf\xC3\xA9</a>",
         "caf\xC3\xA9"},
        {Text, 200, "text/xml; charset=utf-8", latin, "caf\xEF\xBF\xBD"},
        {Text, 403, "text/xml", utf16, "\xC3\xA9"},
    };
    for (const Case& c : cases) {
        XmlReplyReader reader(c.reading);
        reader.begin(c.status, c.contentType);
        reader.take(c.body);
        const XmlDocument document = reader.document();
        EXPECT_EQ(document.hasChildNodes() ? document.text() : std::optional<std::string>(), c.text)
            << static_cast<int>(c.reading) << " " << c.contentType;
    }
}

}  // namespace
}  // namespace ostrel
