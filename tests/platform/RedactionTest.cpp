#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>

#include "platform/Redaction.h"
#include "platform/Url.h"

namespace ostrel {
namespace {

std::string base64(const std::string& bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        unsigned int triple = 0;
        for (std::size_t k = 0; k < 3; ++k)
            triple = triple << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k) out += k <= n ? kAlphabet[(triple >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

// How servers write a user name and password back: Apache's lower-case %xx in a Location, numeric character
// references in an href, and XML escaping of "&" alone.
std::string lowerHex(const std::string& text) {
    std::string out;
    for (const char c : text) {
        char escape[4];
        std::snprintf(escape, sizeof escape, "%%%02x", static_cast<unsigned char>(c));
        out += std::isalnum(static_cast<unsigned char>(c)) ? std::string(1, c) : std::string(escape);
    }
    return out;
}
std::string numericReferences(const std::string& text) {
    std::string out;
    for (const char c : text) out += "&#" + std::to_string(static_cast<unsigned char>(c)) + ";";
    return out;
}
std::string ampersandEscaped(const std::string& text) {
    std::string out;
    for (const char c : text) out += c == '&' ? std::string("&amp;") : std::string(1, c);
    return out;
}

// The secrets of one round trip, each in the place a server or the request put it.
struct Secrets {
    std::string authorization;  // the Authorization value sent
    std::string cookie;         // a Cookie sent, and a Set-Cookie received
    std::string uriUser;        // user information of the request URL
    std::string locationUser;   // ... of a Location the server wrote
    std::string hrefUser;       // ... of a link in its page
    std::string headerEcho;     // the Authorization value echoed in a header of the reply
    std::string bodyEcho;       // ... in the reply's body
};

Exchange roundTrip(const Secrets& s, const std::string& password) {
    const std::string host = "127.0.0.1:4000";
    const std::string path = "/ostrelwebdavserver/xbrl/config/Document_1.xml";
    Exchange e;
    e.url = "http://" + s.uriUser + "@" + host + path;
    e.headersOut = "PUT " + path + " HTTP/1.1\r\nHost: " + host + "\r\nAuthorization: " + s.authorization +
                   "\r\nCookie: " + s.cookie + "\r\nContent-Type: text/xml\r\n\r\n";
    e.headersIn =
        "HTTP/1.1 201 Created\r\nWWW-Authenticate: Basic realm=\"xml config\"\r\nSet-Cookie: " + s.cookie +
        "\r\nLocation: http://" + s.locationUser + "@" + host + path + "\r\nX-Echo: " + s.headerEcho +
        "\r\n\r\n";
    // The password's own text in a body is the user's document, not a credential.
    e.bodyOut = "<note a=\"" + ampersandEscaped(password) + "\">Document_1.xml e 1</note>";
    e.bodyIn = "<p>Resource " + path + " has been created.</p><a href=\"http://" + s.hrefUser + "@" + host +
               "/\">back</a><pre>" + s.bodyEcho + "</pre>";
    e.failure = "The server closed the connection without sending a reply: http://" + s.uriUser + "@" + host;
    return e;
}

// Every secret sits at a place fixed by the protocol; whatever the password, exactly those places are
// hidden and everything else reads as it went over the wire.
TEST(Redaction, CredentialsAreHiddenWhereTheyStandAndNothingElseIsTouched) {
    const std::string digestResponse = "6629fae49393a05397450978507c4ef1";
    const std::string hidden(redaction::kHidden);
    std::vector<std::string> room;
    for (const std::string password : {"e", "1", "config", "xml", "p\xC3\xA4 ss&<\"'"}) {
        for (const bool digest : {false, true}) {
            const std::string credentials = "alice:" + password;
            const std::string basic = "Basic " + base64(credentials);
            const std::string digestValue =
                "Digest username=\"alice\", realm=\"xml config\", nonce=\"e1\", "
                "uri=\"/x\", response=\"" +
                digestResponse + "\"";
            Secrets sent{.authorization = digest ? digestValue : basic,
                         .cookie = "sid=" + password + "\r\n\tPath=/",  // a folded line is part of it
                         .uriUser = encodeUrlForRequest(credentials),
                         .locationUser = lowerHex(credentials),
                         .hrefUser = numericReferences(credentials),
                         .headerEcho = digest ? digestValue : basic,
                         .bodyEcho = digest ? "response=&quot;" + digestResponse + "&quot;"
                                            : "token=" + base64(credentials)};
            Exchange exchange = roundTrip(sent, password);
            redaction::hideCredentials(exchange, room);

            const Secrets shown{hidden,
                                hidden,
                                hidden,
                                hidden,
                                hidden,
                                hidden,
                                digest ? "response=&quot;" + hidden + "&quot;" : "token=" + hidden};
            const Exchange expected = roundTrip(shown, password);
            const std::string row = password + (digest ? " digest" : " basic");
            EXPECT_EQ(exchange.url, expected.url) << row;
            EXPECT_EQ(exchange.headersOut, expected.headersOut) << row;
            EXPECT_EQ(exchange.headersIn, expected.headersIn) << row;
            EXPECT_EQ(exchange.bodyOut, expected.bodyOut) << row;
            EXPECT_EQ(exchange.bodyIn, expected.bodyIn) << row;
            EXPECT_EQ(exchange.failure, expected.failure) << row;
            ASSERT_EQ(room.size(), 1u) << row;
            EXPECT_EQ(room.front(), sent.authorization) << "the value sent is what an echo is looked for by";
        }
    }
}

TEST(Redaction, EchoesAreHiddenInTheFormsAServerWritesAndOnlyWhereTheyStandAlone) {
    const std::string token = base64("bob:pw");  // "Ym9iOnB3"
    const std::string digest = "Digest username=\"bob\", response=\"0f1e\"";
    // the value sent, a text the server sent back, what it reads as afterwards
    const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
        {"Basic " + token, "Authorization: Basic " + token, "Authorization: [hidden]"},
        {"Basic " + token, "/login?auth=Basic%20" + token, "/login?auth=[hidden]"},
        {"Basic " + token, "'" + token + "'", "'[hidden]'"},
        {"Basic " + token, "xx" + token + "yy " + token + "7", "xx" + token + "yy " + token + "7"},
        {"Basic " + token, "no credential here", "no credential here"},
        // Percent-encoding changes the padding of this one.
        {"Basic " + base64("bob:p"), "/x?t=" + base64("bob:p").substr(0, 7) + "%3D", "/x?t=[hidden]"},
        {digest, "?a=Digest%20username%3D%22bob%22%2C%20response%3D%220f1e%22", "?a=[hidden]"},
        {digest, "<p>username=&quot;bob&quot;, response=&quot;0f1e&quot;</p>", "<p>[hidden]</p>"},
        {digest, "bob 0f1e0", "bob 0f1e0"},
    };
    std::vector<std::string> room;
    for (const auto& [sent, text, afterwards] : cases) {
        Exchange exchange{.headersOut = "GET / HTTP/1.1\r\nAuthorization: " + sent + "\r\n\r\n",
                          .bodyIn = text};
        redaction::hideCredentials(exchange, room);
        EXPECT_EQ(exchange.bodyIn, afterwards) << text;
    }
    // Only a URL's user information is hidden: an "@" in its path, a mail address, a scheme-less text stay.
    for (const auto& [text, afterwards] : std::vector<std::pair<std::string, std::string>>{
             {"http://h/dav/bob@x.xml", "http://h/dav/bob@x.xml"},
             {"mail bob@example.org or //u@h", "mail bob@example.org or //u@h"},
             {"<a href='https://u:p@ss@h:1/?q=a@b'>", "<a href='https://[hidden]@h:1/?q=a@b'>"},
             {"a http://x@h b HTTP://y:z@h", "a http://[hidden]@h b HTTP://[hidden]@h"}}) {
        std::string hiddenIn = text;
        redaction::hideUserInfo(hiddenIn);
        EXPECT_EQ(hiddenIn, afterwards) << text;
    }
}

}  // namespace
}  // namespace ostrel
