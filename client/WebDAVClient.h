#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Error.h"
#include "platform/HttpRequest.h"
#include "platform/MultistatusReader.h"
#include "platform/XmlDocument.h"

namespace ostrel {

class BodySink;
namespace client {
class ReplyReading;
}

// The one object through which the program talks to its WebDAV server. Each operation is one synchronous
// request on a single reused request object; its reply comes back as a parsed XML document or as an Error.
// The client's own errors all carry the number kErrorNumber and differ by source and description.
//
// Resource paths are relative to the server URI and joined to it as plain text ("uri/resource"): nothing is
// trimmed or repaired here. A path never carries a query, so a "?" in it is part of a name and goes out as
// %3F; the request object makes the rest of the URL valid.
//
// A reply to PROPFIND, PROPPATCH or LOCK counts only when its root element is in the DAV: namespace; an
// error page instead (HTML, or XHTML that happens to be well-formed) is "Failed to load response".
class WebDAVClient {
public:
    static constexpr std::int32_t kErrorNumber = errors::kObjectDefined;

    // What a store expects to find where it writes: anything (the plain PUT), the very copy the text was
    // fetched from, or no document at all (a new one).
    struct StoreExpectation {
        enum class Kind { Anything, Unchanged, Absent };
        Kind kind = Kind::Anything;
        // Unchanged: the validator FetchDocument or a store gave for the copy the text came from; empty when
        // the server gave none, and then nothing can be compared.
        std::string etag;
    };
    enum class StoreConflict { None, Changed, Exists };
    struct StoreResult {
        XmlDocument reply;  // the PUT's reply; no child nodes when it was not sent or had no body
        StoreConflict conflict = StoreConflict::None;
        std::string etag;  // the validator of the stored copy; empty when the server gives none
    };
    // What the server holds at a resource now, as far as a store's conflict check needs it.
    struct ResourceVersion {
        bool exists = false;
        std::string etag;
        // Changed within the second before the reply (RFC 7232, 2.2.2): a validator made then may not tell a
        // change of the same size apart (nginx's ETag counts whole seconds).
        bool recent = false;
    };

    WebDAVClient() = default;
    WebDAVClient(WebDAVClient&&) noexcept = default;
    WebDAVClient& operator=(WebDAVClient&&) noexcept = default;
    WebDAVClient(const WebDAVClient&) = delete;
    WebDAVClient& operator=(const WebDAVClient&) = delete;

    // COPY with "Overwrite: F". Sources without "http://" and destinations without "://" are taken as paths
    // relative to the server URI.
    void CopyResource(const std::string& sSourceURL, const std::string& sDestinationURL);
    // MOVE with "Overwrite: F", or COPY when bCopy is true (the source then stays).
    void MoveResource(const std::string& sSourceURL, const std::string& sDestinationURL, bool bCopy);
    // MKCOL, with XMLProp as an optional text/xml body. Fails like the document operations for a status of
    // 300 or above; otherwise returns the reply (no child nodes when it had no XML body).
    XmlDocument MakeCollection(const std::string& Collection, const std::string& XMLProp = "");
    // PUT of the whole text; a non-empty token is kept and sent in an "If" header.
    XmlDocument UpdateDocument(const std::string& resource, const std::string& xmldoc,
                               const std::string& token = "");
    // UpdateDocument that never overwrites silently: the store is not sent when the server holds something
    // else than expected (the result names the conflict), and it carries If-Match or If-None-Match so that
    // a server honouring them refuses a change made in between. Anything stores as UpdateDocument does.
    StoreResult StoreDocument(const std::string& resource, const std::string& xmldoc,
                              const std::string& token, const StoreExpectation& expected);
    // HEAD, and where its reply has no ETag a Depth-0 PROPFIND of getetag. Raises for a status of 300 or
    // above other than 404 and 410, which say that nothing is there.
    ResourceVersion CurrentVersion(const std::string& resource);
    struct FetchedDocument {
        XmlDocument document;
        std::string etag;
    };
    // GetDocument, and the validator of the copy it fetched: the reply's ETag, or else the server's getetag;
    // with a digest of the octets fetched, since a validator may not change with them.
    FetchedDocument FetchDocument(const std::string& resource);
    XmlDocument GetAllPropertyNames(const std::string& resource);
    XmlDocument GetAllProperties(const std::string& resource);
    // DELETE; a non-empty token is kept and sent in an "If" header.
    XmlDocument DeleteDocument(const std::string& resource, const std::string& token = "");
    // GET. A reply with a body that yields no document (not XML by its media type, or not well-formed) is
    // an error saying why; an empty body gives a document without child nodes.
    XmlDocument GetDocument(const std::string& resource);
    // The kept lock token in angle brackets ("<opaquelocktoken:...>"), or empty.
    const std::string& opaquetoken() const noexcept { return opaquetoken_; }
    void WebDAVURI(const std::string& uri) { WebDAVURI_ = uri; }
    const std::string& WebDAVURI() const noexcept { return WebDAVURI_; }
    void UserId(const std::string& userId) { UserId_ = userId; }
    const std::string& UserId() const noexcept { return UserId_; }
    void Password(const std::string& password) { Password_ = password; }
    const std::string& Password() const noexcept { return Password_; }
    // The resource named by the last property search, lock or unlock.
    const std::string& LastReferencedResource() const noexcept { return LastReferencedResource_; }
    // PROPPATCH setting one property; the reply is returned whatever its status, as long as it is a DAV:
    // reply. A 2xx without a body is success (an empty document); properties a 207 says were not set raise
    // "The server did not set NAME (STATUS)".
    XmlDocument PropertyUpdate(const std::string& resource, const std::string& PropertyName,
                               const std::string& PropertyValue, const std::string& NameSpace = "");
    // PROPFIND with the caller's body and no Depth header (depth infinity); a server that refuses unlimited
    // depth is asked once more with Depth 1. The reply is returned whatever its status, as long as it is a
    // DAV: reply.
    XmlDocument PropertyFind(const std::string& qry, const std::string& resource);
    // The same with a Depth header ("0", "1") and no second request.
    XmlDocument PropertyFind(const std::string& qry, const std::string& resource, std::string_view depth);
    // The same, with a multistatus reply read by reader while it arrives instead of becoming a document, so
    // that the listing of a large collection is read as fast as the server sends it; the document returned
    // is then empty. Any other reply (a DAV:error) is returned as a document, as above.
    XmlDocument PropertyFind(const std::string& qry, const std::string& resource, std::string_view depth,
                             MultistatusReader& reader);
    // Takes an exclusive write lock and keeps its token.
    void LockResource(const std::string& resource);
    // Releases a lock with the given token, or with the kept one when none is given.
    void UnlockResource(const std::string& resource, const std::string& token = "");
    // PROPFIND for one property in the DAV: namespace (the name is trimmed of spaces and inserted as markup).
    XmlDocument FindPropertyByName(const std::string& resource, const std::string& PropertyName);

    // Transport tuning, beyond the WebDAV operations: time limits, an extra trusted certificate authority,
    // and how many connections the client has opened (one, while the server keeps it alive).
    void SetTimeouts(const HttpRequest::Timeouts& timeouts) { httpRequest_.setTimeouts(timeouts); }
    void TrustCertificateAuthorities(const std::string& pemFile) { httpRequest_.setExtraCaFile(pemFile); }
    void PinPublicKey(const std::string& endpoint, const std::string& pin) {
        httpRequest_.pinPublicKey(endpoint, pin);
    }
    long ConnectionsOpened() const { return httpRequest_.connectionsOpened(); }
    // For a watcher on another thread while an operation runs: its progress, and a way to stop it (the
    // operation then raises "Cancelled"). Every other member is for one thread at a time.
    HttpRequest::Progress Progress() const { return httpRequest_.progress(); }
    void Cancel() { httpRequest_.cancel(); }
    void ClearCancel() { httpRequest_.clearCancel(); }
    // A protocol log: told of every round trip, on the thread that runs the operation (see HttpRequest).
    void SetExchangeObserver(ExchangeObserver* observer) { httpRequest_.setExchangeObserver(observer); }

private:
    struct Header {
        const char* name;
        std::string value;
    };
    using Headers = std::vector<Header>;

    XmlDocument ProcessDoc(const std::string& method, const std::string& resource, const std::string& body,
                           bool useLockToken);
    // ProcessDoc's request with extra conditional headers; returns the status without judging it.
    int sendDocument(const std::string& method, const std::string& url, const std::string& body,
                     bool useLockToken, const Headers& conditions = {}, BodySink* reading = nullptr);
    void TransferResource(const std::string& method, const std::string& sSourceURL,
                          const std::string& sDestinationURL, bool overwrite);

    std::string resourceUrl(const std::string& resource) const;
    std::string requestUrl(const std::string& resource) const;
    std::string propertyETag(const std::string& url);
    // A digest of the resource's octets as the server holds them now; empty when it has none.
    std::string currentDigest(const std::string& resource);
    // Opens the request, sets the headers in the order given and sends the body: every request of the class.
    // A reply that is read as it arrives goes to reading.
    void sendRequest(const std::string& method, const std::string& url, const Headers& headers,
                     std::string_view body = {}, BodySink* reading = nullptr,
                     HttpRequest::Keep keep = HttpRequest::Keep::Start);
    // An error of the client's whose details are the start of the reply's text.
    Error replyError(std::string source, std::string_view headline) const;
    [[noreturn]] void raiseForStatus(int status, const std::string& url) const;
    // GetDocument's request, its reply read by reading as it arrives.
    XmlDocument fetchDocument(const std::string& resource, client::ReplyReading& reading);
    // The DAV: document a property or lock reply held, read as it arrived.
    XmlDocument loadReply(const char* source, client::ReplyReading& reading) const;
    void sendPropfind(const std::string& qry, const std::string& resource, std::string_view depth,
                      BodySink& reading, HttpRequest::Keep keep = HttpRequest::Keep::Start);
    // Whether the reply reader was fed while it arrived is well-formed text, read again in one piece where
    // it is not, or where the octets were not the reply's text.
    bool readWhole(MultistatusReader& reader) const;
    bool refusesUnlimitedDepth() const;

    std::string WebDAVURI_;
    std::string UserId_;
    std::string Password_;
    std::string opaquetoken_;
    std::string LastReferencedResource_;
    HttpRequest httpRequest_;
};

}  // namespace ostrel
