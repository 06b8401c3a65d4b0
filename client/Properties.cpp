// The property and lock operations of WebDAVClient: PROPFIND, PROPPATCH, LOCK and UNLOCK, whose replies count
// only when they are WebDAV documents.
#include <exception>
#include <string_view>

#include "client/ClientText.h"
#include "client/Replies.h"
#include "client/ReplyReading.h"
#include "client/WebDAVClient.h"
#include "platform/TextCodec.h"

namespace ostrel {

using namespace client;

namespace {

constexpr std::string_view kPropNameQuery =
    "<?xml version='1.0'?><propfind xmlns='DAV:'><propname/></propfind>";
constexpr std::string_view kAllPropQuery =
    "<?xml version='1.0'?><propfind xmlns='DAV:'><allprop/></propfind>";
constexpr std::string_view kPropQueryTemplate =
    "<?xml version='1.0'?><propfind xmlns='DAV:'><prop><$prop/></prop></propfind>";
constexpr std::string_view kPropertyUpdateTemplate =
    "<?xml version='1.0'?><propertyupdate xmlns='DAV:' $ns><set><prop><$prop>$value</$prop></prop></set>"
    "</propertyupdate>";
constexpr std::string_view kLockBody =
    "<?xml version='1.0' encoding='utf-8' ?><lockinfo xmlns='DAV:'><lockscope><exclusive/></lockscope>"
    "<locktype><write/></locktype></lockinfo>";
static_assert(kLockBody.size() == 137, "servers see the lock body's length in Content-Length");

// True when the reply's text (see HttpRequest::responseText) is its octets as they are: UTF-8 by its label or
// for want of one, no byte-order mark, nothing to replace. Such a reply, nearly every one, is parsed where it
// lies instead of as a copy.
bool isItsOwnText(std::string_view body, const std::string& charset) {
    return (charset.empty() || text::isUtf8Name(charset)) && !body.starts_with("\xEF\xBB\xBF") &&
           text::isValidUtf8(body);
}

// Feeds a reply's octets to a multistatus reader while they arrive, taken for the UTF-8 text nearly every
// reply is. What the reader raises waits until the transfer is over: nothing may unwind through it.
class FeedWhileReceiving final : public BodySink {
public:
    explicit FeedWhileReceiving(MultistatusReader& reader) : reader_(reader) {}

    void begin(int, std::string_view) override {
        attempt([this] { reader_.restart(); });
    }
    void take(std::string_view piece) override {
        attempt([this, piece] { reader_.feed(piece); });
    }
    void raiseFailure() const {
        if (failure_) std::rethrow_exception(failure_);
    }

private:
    template <typename Step>
    void attempt(Step&& step) noexcept {
        if (failure_) return;
        try {
            step();
        } catch (...) {
            failure_ = std::current_exception();
        }
    }

    MultistatusReader& reader_;
    std::exception_ptr failure_;
};

}  // namespace

XmlDocument WebDAVClient::loadReply(const char* source, ReplyReading& reading) const {
    XmlDocument reply = reading.document();
    reply.setProperty("SelectionLanguage", "XPath");
    // Every WebDAV reply to these methods is an element in the DAV: namespace (multistatus, prop, error).
    // Servers answer a refusal with an error page instead, and Apache's and lighttpd's are well-formed XHTML.
    if (!reply.hasChildNodes() || reply.documentElement().namespaceURI() != "DAV:") {
        // A reply without words of its own (webdav-server's 401, nginx's 405) is told by its status.
        if (reading.blank()) {
            throw clientError(
                source,
                "Failed to load response: " + statusInWords(httpRequest_.status(), httpRequest_.statusText()),
                std::string_view());
        }
        throw replyError(source, "Failed to load response");
    }
    return reply;
}

// ---------------------------------------------------------------------------------------------------------
// Properties

XmlDocument WebDAVClient::PropertyFind(const std::string& qry, const std::string& resource) {
    return PropertyFind(qry, resource, {});
}

XmlDocument WebDAVClient::PropertyFind(const std::string& qry, const std::string& resource,
                                       std::string_view depth) {
    if (WebDAVURI_.empty()) throw clientError("FindProperty", "WebDAVURI not initialized yet");
    LastReferencedResource_ = resource;
    // Read as it arrives: a listing of a large collection takes a while to come and to read.
    ReplyReading reading(XmlReading::Text);
    sendPropfind(qry, resource, depth, reading);
    // Without a Depth header the server answers for the resource and everything below it, which most
    // servers refuse (RFC 4918, 9.1: propfind-finite-depth; Apache says so on an HTML page). One level
    // below the resource is what a person asking about it wants to see.
    if (depth.empty() && refusesUnlimitedDepth()) sendPropfind(qry, resource, "1", reading);
    return loadReply("FindProperty", reading);
}

XmlDocument WebDAVClient::PropertyFind(const std::string& qry, const std::string& resource,
                                       std::string_view depth, MultistatusReader& reader) {
    if (WebDAVURI_.empty()) throw clientError("FindProperty", "WebDAVURI not initialized yet");
    LastReferencedResource_ = resource;
    FeedWhileReceiving feed(reader);
    // Kept whole: a reply the reader cannot take as it came is read once more (see readWhole).
    sendPropfind(qry, resource, depth, feed, HttpRequest::Keep::Whole);
    feed.raiseFailure();
    if (readWhole(reader) && reader.isMultistatus()) {
        XmlDocument read;
        read.setProperty("SelectionLanguage", "XPath");
        return read;
    }
    // Anything else is read as a document is, which also says why a reply is refused.
    ReplyReading reading(XmlReading::Text);
    reading.begin(httpRequest_.status(), httpRequest_.getResponseHeader("Content-Type"));
    reading.take(httpRequest_.responseBody());
    return loadReply("FindProperty", reading);
}

bool WebDAVClient::readWhole(MultistatusReader& reader) const {
    const std::string charset = text::charsetOf(httpRequest_.getResponseHeader("Content-Type"));
    if (reader.finish() && (charset.empty() || text::isUtf8Name(charset))) return true;
    // Read again in one piece, as loadReply reads it: a reply in another charset, or not valid UTF-8 after
    // all, as its decoded text. One piece also settles what a piece boundary may have made of a literal
    // holding ">" in a document type declaration, which libxml2's push parser takes for the end of it.
    reader.restart();
    const std::string_view body = httpRequest_.responseBody();
    if (isItsOwnText(body, charset)) {
        reader.feed(body);
    } else {
        reader.feed(httpRequest_.responseText());
    }
    return reader.finish();
}

void WebDAVClient::sendPropfind(const std::string& qry, const std::string& resource, std::string_view depth,
                                BodySink& reading, HttpRequest::Keep keep) {
    Headers headers{{"Content-Type", "text/xml"}};
    if (!depth.empty()) headers.push_back({"Depth", std::string(depth)});
    headers.push_back({"Content-Length", octetCount(qry)});
    sendRequest("PROPFIND", requestUrl(resource), headers, qry, &reading, keep);
}

bool WebDAVClient::refusesUnlimitedDepth() const {
    const int status = httpRequest_.status();
    return (status == 403 || status == 412 || status == 501) &&
           !replies::refusalCondition(std::string_view(httpRequest_.responseBody()).substr(0, 64 * 1024))
                .empty();
}

XmlDocument WebDAVClient::GetAllPropertyNames(const std::string& resource) {
    return PropertyFind(std::string(kPropNameQuery), resource);
}

XmlDocument WebDAVClient::GetAllProperties(const std::string& resource) {
    return PropertyFind(std::string(kAllPropQuery), resource);
}

XmlDocument WebDAVClient::FindPropertyByName(const std::string& resource, const std::string& PropertyName) {
    return PropertyFind(replaceAll(std::string(kPropQueryTemplate), "$prop", trimSpaces(PropertyName)),
                        resource);
}

XmlDocument WebDAVClient::PropertyUpdate(const std::string& resource, const std::string& PropertyName,
                                         const std::string& PropertyValue, const std::string& NameSpace) {
    // Each replacement works on the result of the one before: a "$value" or "$ns" inside the name is
    // replaced too.
    std::string body = replaceAll(std::string(kPropertyUpdateTemplate), "$prop", PropertyName);
    body = replaceAll(std::move(body), "$value", PropertyValue);
    body = replaceAll(std::move(body), "$ns", NameSpace);
    ReplyReading reading(XmlReading::Text);
    sendRequest("PROPPATCH", requestUrl(resource),
                {{"Content-Type", "text/xml"}, {"Content-Length", octetCount(body)}}, body, &reading);
    const int status = httpRequest_.status();
    // lighttpd answers a PROPPATCH it carried out with 204 and no body at all.
    if (status >= 200 && status < 300 && httpRequest_.responseBody().empty()) {
        XmlDocument done;
        done.setProperty("SelectionLanguage", "XPath");
        return done;
    }
    XmlDocument reply = loadReply("PropertyUpdate", reading);
    // A 207 can refuse what was asked inside (rclone and webdav-server answer 403 there).
    const std::string refused = replies::refusedProperties(reply);
    if (!refused.empty()) {
        throw replyError("PropertyUpdate", "The server did not set " + refused);
    }
    return reply;
}

// ---------------------------------------------------------------------------------------------------------
// Locks

void WebDAVClient::LockResource(const std::string& resource) {
    LastReferencedResource_ = resource;
    ReplyReading reading(XmlReading::Text);
    sendRequest("LOCK", requestUrl(resource),
                {{"Content-Type", "text/xml"}, {"Content-Length", octetCount(kLockBody)}}, kLockBody,
                &reading);
    const int status = httpRequest_.status();
    if (status == 423) throw clientError("LockResource", "Document is already locked");
    XmlDocument reply = loadReply("LockResource", reading);
    // A refused lock can still name resources in DAV:href elements (a 207 lists the members that blocked a
    // depth-infinity lock, an error reply may name a conflicting lock); only a granted lock's reply carries
    // the new token.
    const bool granted = status < 300 && status != 207;
    const XmlNode href = granted ? replies::firstDavHref(reply) : XmlNode();
    if (!href) throw replyError("LockResource", "Failed to lock resource");
    opaquetoken_ = "<" + href.text() + ">";
}

void WebDAVClient::UnlockResource(const std::string& resource, const std::string& token) {
    LastReferencedResource_ = resource;
    const std::string& chosen = token.empty() ? opaquetoken_ : token;
    sendRequest("UNLOCK", requestUrl(resource), {{"Content-Type", "text/xml"}, {"Lock-Token", chosen}});
    if (httpRequest_.status() != 204) throw clientError("UnlockResource", "Failed to unlock resource");
}

}  // namespace ostrel
