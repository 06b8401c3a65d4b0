#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "platform/XmlDocument.h"

namespace ostrel {

class BodySink;
class ExchangeObserver;

// One HTTP request object, reused for request after request over kept-alive connections.
//
// open starts a clean request (no method, header, body or credential of the previous one carries over);
// setRequestHeader adds a header that is sent exactly once, as set; send transmits the body and blocks until
// the whole reply is in. The object answers an authentication challenge with the user and password given to
// open, and only a challenge: credentials go to a server only after it has asked for them, and a request to
// another server (scheme, host and port), or with another user id or password, starts with none. A Digest
// challenge to a request that reused a kept nonce (the server restarted and forgot it) is answered once
// more with a fresh handshake, also after a request that failed or was cancelled. Redirects are followed only
// within the same server (same host and port, or the same host moving from http to https); a redirect
// elsewhere ends the request with an Error naming the location, and nothing is sent there.
//
// The request URL is made valid the way a browser does it: characters that may not stand in a URL (space,
// control characters, non-ASCII, and a few reserved marks such as '"', '#' and '?') are percent-encoded as
// UTF-8; everything else, existing %xx escapes included, is sent as given.
//
// Every failure of the transport raises an Error with number errors::kHttpBase plus the transport's code and
// a description naming what failed and where.
class HttpRequest {
public:
    struct Timeouts {
        std::chrono::milliseconds connect{15000};
        // A reply that brings no byte for this long is abandoned. Whole seconds; at least one.
        std::chrono::seconds stall{60};
    };

    HttpRequest();
    ~HttpRequest();
    HttpRequest(HttpRequest&& other) noexcept;
    HttpRequest& operator=(HttpRequest&& other) noexcept;
    HttpRequest(const HttpRequest&) = delete;
    HttpRequest& operator=(const HttpRequest&) = delete;

    // Only synchronous requests are supported: asynchronous = true raises an Error, and so do credentials
    // that checkCredentials refuses.
    void open(std::string_view method, std::string_view url, bool asynchronous = false,
              std::string_view user = {}, std::string_view password = {});
    // A header name or value holding CR or LF (or a name that is not an HTTP token) is refused with an Error
    // and nothing is sent. Setting a name again replaces its earlier value. A "Content-Length" must equal the
    // octet count of the body sent.
    void setRequestHeader(std::string_view name, std::string_view value);
    // What the request keeps of a body it hands to a sink: all of it, or only the start that
    // responseTextForError quotes (responseText, responseXML and responseBody then see no more than that).
    enum class Keep { Whole, Start };
    // Hands the body of the reply to the coming send to the sink as it arrives (see BodySink). Between open
    // and send; the sink is not owned.
    void readBodyWith(BodySink* sink, Keep keep);
    void send(std::string_view body = {});

    // The final reply: the status code and the reason phrase of the final status line (after any 100
    // Continue, authentication challenge or redirect); the standard phrase where the server sent none.
    int status() const;
    std::string statusText() const;
    // The body decoded to UTF-8 by the charset of its Content-Type, else a byte-order mark, else as UTF-8;
    // bytes that do not decode become U+FFFD.
    std::string responseText() const;
    // At most the first 64 KiB of the body, decoded like responseText, then "… (N more octets)" where N
    // counts the octets left out: for error descriptions, which must stay readable whatever the reply's size.
    std::string responseTextForError() const;
    // The body parsed as XML; an empty or non-XML body gives a document without child nodes. A body whose
    // Content-Type names a media type other than XML (text/xml, application/xml, ...+xml) is not XML. The
    // charset of the Content-Type decides the encoding, else a byte-order mark, else the XML declaration
    // (RFC 7303).
    XmlDocument responseXML() const;
    // The body's octets as received (see readBodyWith).
    std::string_view responseBody() const;
    // A header of the final reply (case-insensitive name); empty when absent.
    std::string getResponseHeader(std::string_view name) const;

    void setTimeouts(const Timeouts& timeouts);
    // Replies larger than this are abandoned with an Error instead of filling the memory (default 512 MiB).
    void setMaxReplyBytes(std::size_t bytes);
    // Trusts the certificate authorities in this PEM file in addition to the system's (libcurl's defaults,
    // which stay in force alone when no file is given).
    void setExtraCaFile(std::string path);
    // Trusts the server at endpoint ("host:port", see certificates::Endpoint) by its public key alone
    // ("sha256//BASE64"): a certificate with another key is refused, whoever signed it. An empty pin
    // forgets the endpoint's pin.
    void pinPublicKey(const std::string& endpoint, std::string pin);
    // Tells the observer of every round trip from the next request on, or of each request's summary where
    // it wants no whole exchanges (nullptr: none), on the thread that sends; the observer is not owned and
    // must outlive its use. Secrets are hidden before it sees anything.
    void setExchangeObserver(ExchangeObserver* observer);
    // Connections opened over the life of this object: tells whether keep-alive works.
    long connectionsOpened() const;

    // What another thread may see of a request in flight, and how it may stop it. Everything else is for the
    // one thread that uses the object.
    struct Progress {
        std::string method;
        std::string url;
        long long sent = 0;
        long long toSend = 0;  // 0 while unknown
        long long received = 0;
        long long toReceive = 0;  // 0 while unknown
    };
    Progress progress() const;
    // Ends the transfer in flight at once, or the next one if none is: send raises the error "Cancelled"
    // (errors::kHttpCancelled). The connection is dropped, so the next request opens a new one.
    void cancel();
    // Forgets an earlier cancel that came too late to stop anything.
    void clearCancel();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Raises an Error when the user id or password holds CR, LF or another control character, which could break
// out of an Authorization header.
void checkCredentials(std::string_view user, std::string_view password);

// The version of the HTTP library in use at run time ("7.88.1").
std::string httpLibraryVersion();

}  // namespace ostrel
