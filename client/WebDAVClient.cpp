#include "client/WebDAVClient.h"

#include "client/Replies.h"

#include <string_view>

#include "platform/TextCodec.h"

namespace ostrel {

namespace {

constexpr std::string_view kCrLf = "\r\n";

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
constexpr std::string_view kGetETagQuery =
    "<?xml version='1.0'?><propfind xmlns='DAV:'><prop><getetag/></prop></propfind>";
static_assert(kLockBody.size() == 137, "servers see the lock body's length in Content-Length");

Error clientError(std::string source, std::string description) {
    return Error(WebDAVClient::kErrorNumber, std::move(source), std::move(description));
}

// Replaces every occurrence, scanning past what was inserted, so a replacement that contains the pattern
// is left as it is.
std::string replaceAll(std::string text, std::string_view pattern, std::string_view replacement) {
    std::size_t pos = 0;
    while ((pos = text.find(pattern, pos)) != std::string::npos) {
        text.replace(pos, pattern.size(), replacement);
        pos += replacement.size();
    }
    return text;
}

std::string trimSpaces(const std::string& text) {
    const std::size_t begin = text.find_first_not_of(' ');
    if (begin == std::string::npos) return {};
    return text.substr(begin, text.find_last_not_of(' ') - begin + 1);
}

bool contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

// True when the reply's text (see HttpRequest::responseText) is its octets as they are: UTF-8 by its label or
// for want of one, no byte-order mark, nothing to replace. Such a reply, nearly every one, is parsed where it
// lies instead of as a copy.
bool isItsOwnText(std::string_view body, const std::string& charset) {
    return (charset.empty() || charset == "utf-8" || charset == "utf8") &&
           !body.starts_with("\xEF\xBB\xBF") && text::isValidUtf8(body);
}

// The three document operations only ever address XML documents.
void checkDocumentName(const std::string& resource, const char* operation) {
    if (!contains(resource, ".xml")) throw clientError(operation, "Invalid document " + resource);
}

// An entity tag without its weakness mark: two copies are the same version when these match (the weak
// comparison of RFC 7232, 2.3.2, enough to tell an edit from none).
std::string_view opaqueTag(std::string_view etag) {
    return etag.starts_with("W/") ? etag.substr(2) : etag;
}

bool isStrongETag(std::string_view etag) {
    return !etag.empty() && !etag.starts_with("W/");
}

// A server that gives no validator now cannot be compared; what it gave before is all there is.
bool sameVersion(std::string_view now, std::string_view fetched) {
    return now.empty() || opaqueTag(now) == opaqueTag(fetched);
}

std::string octetCount(std::string_view body) {
    return std::to_string(body.size());
}

// Why a non-empty reply gave no document: the parser's reason, or else the label that kept it from being
// parsed at all.
std::string whyUnreadable(const XmlParseError& error, const std::string& contentType) {
    if (error.reason.empty()) {
        return "The reply is not an XML document: its media type is " +
               trimSpaces(contentType.substr(0, contentType.find(';')));
    }
    return "The reply is not well-formed XML (line " + std::to_string(error.line) + ", column " +
           std::to_string(error.column) + "): " + error.reason;
}

}  // namespace

std::string WebDAVClient::resourceUrl(const std::string& resource) const {
    // Joined as plain text; the request object sends "?" and "#" in it as part of the name.
    return WebDAVURI_ + "/" + resource;
}

void WebDAVClient::sendRequest(const std::string& method, const std::string& url, const Headers& headers,
                               std::string_view body) {
    httpRequest_.open(method, url, false, UserId_, Password_);
    for (const Header& header : headers) httpRequest_.setRequestHeader(header.name, header.value);
    httpRequest_.send(body);
}

std::string WebDAVClient::withReplyText(std::string message) const {
    return message.append(kCrLf).append(httpRequest_.responseTextForError());
}

// ---------------------------------------------------------------------------------------------------------
// Request core of the document operations

XmlDocument WebDAVClient::ProcessDoc(const std::string& method, const std::string& resource,
                                     const std::string& body, bool useLockToken) {
    const std::string url = resourceUrl(resource);
    const int status = sendDocument(method, url, body, useLockToken);
    if (status >= 300) raiseForStatus(status, url);
    return httpRequest_.responseXML();
}

int WebDAVClient::sendDocument(const std::string& method, const std::string& url, const std::string& body,
                               bool useLockToken, const Headers& conditions) {
    Headers headers{{"Content-Type", "text/xml"}, {"Content-Length", octetCount(body)}};
    if (useLockToken) headers.push_back({"If", "(" + opaquetoken_ + ")"});
    headers.insert(headers.end(), conditions.begin(), conditions.end());
    sendRequest(method, url, headers, body);
    return httpRequest_.status();
}

void WebDAVClient::raiseForStatus(int status, const std::string& url) const {
    switch (status) {
        case 423:
            throw clientError(url, "Resource has been locked");
        case 403:
            throw clientError(url,
                              withReplyText("You are not allowed to alter the properties of this resource"));
        case 409:
            throw clientError(url, withReplyText("Action is inappropriate"));
        case 507:
            throw clientError(url, withReplyText("Insufficient storage"));
        case 415:
            throw clientError(url, withReplyText("Unsupported media type"));
        default:
            throw clientError("ProcessDoc", withReplyText(httpRequest_.statusText()));
    }
}

XmlDocument WebDAVClient::loadReply(const char* source) const {
    XmlDocument reply;
    reply.setProperty("SelectionLanguage", "XPath");
    const std::string_view body = httpRequest_.responseBody();
    const bool loaded = isItsOwnText(body, text::charsetOf(httpRequest_.getResponseHeader("Content-Type")))
                            ? reply.loadXML(body)
                            : reply.loadXML(httpRequest_.responseText());
    // Every WebDAV reply to these methods is an element in the DAV: namespace (multistatus, prop, error).
    // Servers answer a refusal with an error page instead, and Apache's and lighttpd's are well-formed XHTML.
    if (!loaded || reply.documentElement().namespaceURI() != "DAV:") {
        throw clientError(source, withReplyText("Failed to load response"));
    }
    return reply;
}

// ---------------------------------------------------------------------------------------------------------
// Documents and collections

XmlDocument WebDAVClient::GetDocument(const std::string& resource) {
    checkDocumentName(resource, "GetDocument");
    XmlDocument reply = ProcessDoc("GET", resource, "", false);
    // Shown as an empty result, such a reply would be written to the result file, and storing it back from
    // the editor would replace the server's copy.
    if (!reply.hasChildNodes() && !httpRequest_.responseBody().empty()) {
        throw clientError(
            "GetDocument",
            withReplyText(whyUnreadable(reply.parseError(), httpRequest_.getResponseHeader("Content-Type"))));
    }
    return reply;
}

XmlDocument WebDAVClient::UpdateDocument(const std::string& resource, const std::string& xmldoc,
                                         const std::string& token) {
    checkDocumentName(resource, "UpdateDocument");
    if (!token.empty()) opaquetoken_ = token;
    return ProcessDoc("PUT", resource, xmldoc, !token.empty());
}

WebDAVClient::StoreResult WebDAVClient::StoreDocument(const std::string& resource, const std::string& xmldoc,
                                                     const std::string& token,
                                                     const StoreExpectation& expected) {
    using Kind = StoreExpectation::Kind;
    checkDocumentName(resource, "UpdateDocument");
    // The server is asked first: three servers in common use write whatever If-Match or If-None-Match says,
    // and only this comparison finds the change there. The condition then covers the moment in between on
    // the servers that honour it.
    Headers conditions;
    if (expected.kind == Kind::Absent) {
        if (CurrentVersion(resource).exists) return {XmlDocument(), StoreConflict::Exists, {}};
        conditions.push_back({"If-None-Match", "*"});
    } else if (expected.kind == Kind::Unchanged && !expected.etag.empty()) {
        const ResourceVersion now = CurrentVersion(resource);
        if (!now.exists || !sameVersion(now.etag, expected.etag)) {
            return {XmlDocument(), StoreConflict::Changed, {}};
        }
        // If-Match compares strongly (RFC 7232, 3.1): a weak validator never matches, so it goes only when
        // the server's is strong. Apache's stays weak for a second after each write.
        if (isStrongETag(now.etag)) conditions.push_back({"If-Match", now.etag});
    }
    if (!token.empty()) opaquetoken_ = token;
    const std::string url = resourceUrl(resource);
    const int status = sendDocument("PUT", url, xmldoc, !token.empty(), conditions);
    if (status == 412 && !conditions.empty()) {
        return {XmlDocument(),
                expected.kind == Kind::Absent ? StoreConflict::Exists : StoreConflict::Changed, {}};
    }
    if (status >= 300) raiseForStatus(status, url);
    StoreResult stored{httpRequest_.responseXML(), StoreConflict::None, httpRequest_.getResponseHeader("ETag")};
    if (stored.etag.empty()) stored.etag = CurrentVersion(resource).etag;
    return stored;
}

WebDAVClient::ResourceVersion WebDAVClient::CurrentVersion(const std::string& resource) {
    const std::string url = resourceUrl(resource);
    sendRequest("HEAD", url, {});
    const int status = httpRequest_.status();
    if (status == 404 || status == 410) return {};
    if (status >= 300) raiseForStatus(status, url);
    ResourceVersion version{true, httpRequest_.getResponseHeader("ETag")};
    if (version.etag.empty()) version.etag = propertyETag(url);
    return version;
}

std::string WebDAVClient::FetchedETag(const std::string& resource) {
    const std::string etag = httpRequest_.getResponseHeader("ETag");
    return etag.empty() ? propertyETag(resourceUrl(resource)) : etag;
}

std::string WebDAVClient::propertyETag(const std::string& url) {
    // Some servers give a GET or HEAD no ETag but report getetag.
    sendRequest("PROPFIND", url,
                {{"Content-Type", "text/xml"}, {"Depth", "0"}, {"Content-Length", octetCount(kGetETagQuery)}},
                kGetETagQuery);
    if (httpRequest_.status() != 207) return {};
    XmlDocument reply = httpRequest_.responseXML();
    return reply.hasChildNodes() ? replies::getetag(reply) : std::string();
}

XmlDocument WebDAVClient::DeleteDocument(const std::string& resource, const std::string& token) {
    checkDocumentName(resource, "DeleteDocument");
    if (!token.empty()) opaquetoken_ = token;
    return ProcessDoc("DELETE", resource, "", !token.empty());
}

XmlDocument WebDAVClient::MakeCollection(const std::string& Collection, const std::string& XMLProp) {
    const std::string url = resourceUrl(Collection);
    Headers headers;
    if (!XMLProp.empty()) headers.push_back({"Content-Type", "text/xml"});
    sendRequest("MKCOL", url, headers, XMLProp);
    const int status = httpRequest_.status();
    if (status >= 300) raiseForStatus(status, url);
    return httpRequest_.responseXML();
}

// ---------------------------------------------------------------------------------------------------------
// Copy and move

void WebDAVClient::CopyResource(const std::string& sSourceURL, const std::string& sDestinationURL) {
    TransferResource("COPY", sSourceURL, sDestinationURL, false);
}

void WebDAVClient::MoveResource(const std::string& sSourceURL, const std::string& sDestinationURL,
                                bool bCopy) {
    TransferResource(bCopy ? "COPY" : "MOVE", sSourceURL, sDestinationURL, false);
}

void WebDAVClient::TransferResource(const std::string& method, const std::string& sSourceURL,
                                    const std::string& sDestinationURL, bool overwrite) {
    const std::string source = contains(sSourceURL, "http://") ? sSourceURL : resourceUrl(sSourceURL);
    const std::string destination =
        contains(sDestinationURL, "://") ? sDestinationURL : resourceUrl(sDestinationURL);
    // The Destination is a URL like the request's (RFC 4918, 10.3): a space, "#" or "é" sent raw gets 400.
    sendRequest(method, source,
                {{"Destination", encodeUrlForRequest(destination)}, {"Overwrite", overwrite ? "T" : "F"}});
    const int status = httpRequest_.status();
    if (status == 401 || status == 403) throw clientError("CopyResource", "You don't have the permission");
    if (status >= 300) {
        throw clientError("CopyResource",
                          "Copy failed: " + std::to_string(status) + ": " + httpRequest_.statusText());
    }
}

// ---------------------------------------------------------------------------------------------------------
// Properties

XmlDocument WebDAVClient::PropertyFind(const std::string& qry, const std::string& resource) {
    if (WebDAVURI_.empty()) throw clientError("FindProperty", "WebDAVURI not initialized yet");
    LastReferencedResource_ = resource;
    // No Depth header: the server answers for the resource and everything below it, which is what the
    // collection listing reads its members from.
    sendRequest("PROPFIND", resourceUrl(resource),
                {{"Content-Type", "text/xml"}, {"Content-Length", octetCount(qry)}}, qry);
    return loadReply("FindProperty");
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
    sendRequest("PROPPATCH", resourceUrl(resource),
                {{"Content-Type", "text/xml"}, {"Content-Length", octetCount(body)}}, body);
    return loadReply("PropertyUpdate");
}

// ---------------------------------------------------------------------------------------------------------
// Locks

void WebDAVClient::LockResource(const std::string& resource) {
    LastReferencedResource_ = resource;
    sendRequest("LOCK", resourceUrl(resource),
                {{"Content-Type", "text/xml"}, {"Content-Length", octetCount(kLockBody)}}, kLockBody);
    const int status = httpRequest_.status();
    if (status == 423) throw clientError("LockResource", "Document is already locked");
    XmlDocument reply = loadReply("LockResource");
    // A refused lock can still name resources in DAV:href elements (a 207 lists the members that blocked a
    // depth-infinity lock, an error reply may name a conflicting lock); only a granted lock's reply carries
    // the new token.
    const bool granted = status < 300 && status != 207;
    const XmlNode href = granted ? replies::firstDavHref(reply) : XmlNode();
    if (!href) throw clientError("LockResource", withReplyText("Failed to lock resource"));
    opaquetoken_ = "<" + href.text() + ">";
}

void WebDAVClient::UnlockResource(const std::string& resource, const std::string& token) {
    LastReferencedResource_ = resource;
    const std::string& chosen = token.empty() ? opaquetoken_ : token;
    sendRequest("UNLOCK", resourceUrl(resource), {{"Content-Type", "text/xml"}, {"Lock-Token", chosen}});
    if (httpRequest_.status() != 204) throw clientError("UnlockResource", "Failed to unlock resource");
}

// ---------------------------------------------------------------------------------------------------------
// The collection listing

namespace {

Error listingRefused(const std::string& condition, std::string_view replyText) {
    const std::string what = condition == "propfind-finite-depth"
                                 ? "The server refuses listings of unlimited depth"
                                 : "The server refuses the listing";
    return clientError("FindProperty",
                       what + " (" + condition + ")" + std::string(kCrLf) + std::string(replyText));
}

}  // namespace

XmlDocument listCollection(WebDAVClient& client, const std::string& resource) {
    XmlDocument reply;
    try {
        reply = client.FindPropertyByName(resource, "displayname");
    } catch (const Error& error) {
        // The reply's text follows the first line of "Failed to load response".
        const std::string& description = error.description();
        const std::string condition = replies::refusalCondition(description);
        if (error.number() != WebDAVClient::kErrorNumber || condition.empty()) throw;
        throw listingRefused(condition, std::string_view(description).substr(description.find('\n') + 1));
    }
    const std::string condition = replies::refusalCondition(reply);
    if (!condition.empty()) throw listingRefused(condition, reply.xml());
    return reply;
}

}  // namespace ostrel
