#include "client/WebDAVClient.h"

#include <time.h>

#include <cstdint>
#include <ctime>
#include <optional>
#include <string_view>

#include "client/ClientText.h"
#include "client/Names.h"
#include "client/Replies.h"
#include "client/ReplyReading.h"
#include "platform/Url.h"

namespace ostrel {

using namespace client;

namespace {

constexpr std::string_view kGetETagQuery =
    "<?xml version='1.0'?><propfind xmlns='DAV:'><prop><getetag/></prop></propfind>";

// The three document operations only ever address XML documents.
void checkDocumentName(const std::string& resource, const char* operation) {
    if (!isDocumentName(resource)) throw clientError(operation, "Invalid document " + resource);
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

// A validator may stay the same across a change: Apache's is weak for a second after each write, and then
// changes only with the size and the file system's clock tick of a few milliseconds; nginx's counts whole
// seconds. A remembered validator therefore carries the digest of the copy's octets (an entity tag never
// holds a space), compared where the server's validator cannot be trusted alone.
constexpr std::string_view kDigestMark = " digest:";

std::string remembered(std::string etag, const std::string& digest) {
    if (!etag.empty()) etag += std::string(kDigestMark) + digest;
    return etag;
}

// An HTTP date (IMF-fixdate, RFC 7231 7.1.1.1) in seconds since the epoch.
std::optional<std::time_t> httpDate(const std::string& text) {
    std::tm parts{};
    const char* end = ::strptime(text.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &parts);
    if (!end) return std::nullopt;
    return ::timegm(&parts);
}

// Seconds are all an HTTP date tells, so "less than a second before the reply" is read as "within the same
// or the previous second".
bool changedJustBefore(const std::string& lastModified, const std::string& date) {
    const std::optional<std::time_t> modified = httpDate(lastModified);
    const std::optional<std::time_t> now = httpDate(date);
    return modified && now && *now - *modified < 2;
}

std::string_view etagOf(std::string_view validator) {
    return validator.substr(0, validator.find(kDigestMark));
}

std::string_view digestIn(std::string_view validator) {
    const std::size_t mark = validator.find(kDigestMark);
    return mark == std::string_view::npos ? std::string_view() : validator.substr(mark + kDigestMark.size());
}

// The transport's failures that mean the server went away: no connection (7), none kept (52, 55, 56).
bool isConnectionLost(const Error& error) {
    const std::int32_t code = error.number() - errors::kHttpBase;
    return code == 7 || code == 52 || code == 55 || code == 56;
}

// RFC 4918 (5.2) names a collection by a URL ending in "/"; nginx insists on it for MKCOL, COPY and MOVE, the
// other servers take either.
std::string asCollection(std::string url) {
    if (!url.ends_with('/')) url += '/';
    return url;
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
    // Joined as plain text, as the user wrote it: the URL messages name.
    return WebDAVURI_ + "/" + resource;
}

std::string WebDAVClient::requestUrl(const std::string& resource) const {
    // A name is text: its "%" is a character, never the start of an escape ("Report%20Q1.xml" is that name,
    // not "Report Q1.xml"). The request object sends "?" and "#" in it as part of the name too. The server
    // URI is a URL as typed, its escapes included.
    std::string url = WebDAVURI_ + "/";
    url.reserve(url.size() + resource.size());
    for (const char c : resource) url += c == '%' ? std::string_view("%25") : std::string_view(&c, 1);
    return url;
}

void WebDAVClient::sendRequest(const std::string& method, const std::string& url, const Headers& headers,
                               std::string_view body, BodySink* reading, HttpRequest::Keep keep) {
    httpRequest_.open(method, url, false, UserId_, Password_);
    for (const Header& header : headers) httpRequest_.setRequestHeader(header.name, header.value);
    if (reading) httpRequest_.readBodyWith(reading, keep);
    httpRequest_.send(body);
}

Error WebDAVClient::replyError(std::string source, std::string_view headline) const {
    return clientError(std::move(source), headline, httpRequest_.responseTextForError());
}

// ---------------------------------------------------------------------------------------------------------
// Request core of the document operations

XmlDocument WebDAVClient::ProcessDoc(const std::string& method, const std::string& resource,
                                     const std::string& body, bool useLockToken) {
    const int status = sendDocument(method, requestUrl(resource), body, useLockToken);
    if (status >= 300) raiseForStatus(status, resourceUrl(resource));
    return httpRequest_.responseXML();
}

int WebDAVClient::sendDocument(const std::string& method, const std::string& url, const std::string& body,
                               bool useLockToken, const Headers& conditions, BodySink* reading) {
    Headers headers{{"Content-Type", "text/xml"}, {"Content-Length", octetCount(body)}};
    if (useLockToken) headers.push_back({"If", "(" + opaquetoken_ + ")"});
    headers.insert(headers.end(), conditions.begin(), conditions.end());
    try {
        sendRequest(method, url, headers, body, reading);
    } catch (const Error& error) {
        // webdav-server 2.6 dies of an untagged If header: the connection goes, and so does the server.
        if (!useLockToken || !isConnectionLost(error)) throw;
        throw Error(error.number(), error.source(),
                    "The server stopped answering when the lock token was sent (If header); a server that "
                    "fails on it has to be restarted",
                    error.description());
    }
    return httpRequest_.status();
}

void WebDAVClient::raiseForStatus(int status, const std::string& url) const {
    switch (status) {
        case 423:
            throw clientError(url, "Resource has been locked");
        case 403:
            throw replyError(url, "You are not allowed to alter the properties of this resource");
        case 409:
            throw replyError(url, "Action is inappropriate");
        case 507:
            throw replyError(url, "Insufficient storage");
        case 415:
            throw replyError(url, "Unsupported media type");
        default:
            throw replyError("ProcessDoc", httpRequest_.statusText());
    }
}

// ---------------------------------------------------------------------------------------------------------
// Documents and collections

XmlDocument WebDAVClient::GetDocument(const std::string& resource) {
    ReplyReading reading(XmlReading::Document);
    return fetchDocument(resource, reading);
}

WebDAVClient::FetchedDocument WebDAVClient::FetchDocument(const std::string& resource) {
    ReplyReading reading(XmlReading::Document, ReplyReading::Digest::Yes);
    FetchedDocument fetched{fetchDocument(resource, reading), httpRequest_.getResponseHeader("ETag")};
    if (fetched.etag.empty()) fetched.etag = propertyETag(requestUrl(resource));
    fetched.etag = remembered(std::move(fetched.etag), reading.digest());
    return fetched;
}

// ProcessDoc's request, its reply read as it arrives: the document is all that is kept of it.
XmlDocument WebDAVClient::fetchDocument(const std::string& resource, ReplyReading& reading) {
    checkDocumentName(resource, "GetDocument");
    const int status = sendDocument("GET", requestUrl(resource), "", false, {}, &reading);
    if (status >= 300) raiseForStatus(status, resourceUrl(resource));
    XmlDocument reply = reading.document();
    if (reply.hasChildNodes() || httpRequest_.responseBody().empty()) return reply;
    // Shown as an empty result, such a reply would be written to the result file, and storing it back from
    // the editor would replace the server's copy.
    const std::string contentType = httpRequest_.getResponseHeader("Content-Type");
    throw replyError("GetDocument", whyUnreadable(reply.parseError(), contentType));
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
        const std::string_view digest = digestIn(expected.etag);
        const bool mayHideAChange = !isStrongETag(now.etag) || now.recent;
        if (!now.exists || !sameVersion(now.etag, etagOf(expected.etag)) ||
            (mayHideAChange && !digest.empty() && currentDigest(resource) != digest)) {
            return {XmlDocument(), StoreConflict::Changed, {}};
        }
        // If-Match compares strongly (RFC 7232, 3.1): a weak validator never matches, so it goes only when
        // the server's is strong. Apache's stays weak for a second after each write.
        if (isStrongETag(now.etag)) conditions.push_back({"If-Match", now.etag});
    }
    if (!token.empty()) opaquetoken_ = token;
    const int status = sendDocument("PUT", requestUrl(resource), xmldoc, !token.empty(), conditions);
    if (status == 412 && !conditions.empty()) {
        return {XmlDocument(),
                expected.kind == Kind::Absent ? StoreConflict::Exists : StoreConflict::Changed,
                {}};
    }
    if (status >= 300) raiseForStatus(status, resourceUrl(resource));
    StoreResult stored{httpRequest_.responseXML(), StoreConflict::None,
                       httpRequest_.getResponseHeader("ETag")};
    if (stored.etag.empty()) stored.etag = CurrentVersion(resource).etag;
    // What the server holds now is exactly the octets sent.
    stored.etag = remembered(std::move(stored.etag), digestOf(xmldoc));
    return stored;
}

WebDAVClient::ResourceVersion WebDAVClient::CurrentVersion(const std::string& resource) {
    const std::string url = requestUrl(resource);
    sendRequest("HEAD", url, {});
    const int status = httpRequest_.status();
    if (status == 404 || status == 410) return {};
    if (status >= 300) raiseForStatus(status, resourceUrl(resource));
    ResourceVersion version{true, httpRequest_.getResponseHeader("ETag"),
                            changedJustBefore(httpRequest_.getResponseHeader("Last-Modified"),
                                              httpRequest_.getResponseHeader("Date"))};
    if (version.etag.empty()) version.etag = propertyETag(url);
    return version;
}

std::string WebDAVClient::currentDigest(const std::string& resource) {
    sendRequest("GET", requestUrl(resource), {});
    return httpRequest_.status() < 300 ? digestOf(httpRequest_.responseBody()) : std::string();
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
    Headers headers;
    if (!XMLProp.empty()) headers.push_back({"Content-Type", "text/xml"});
    sendRequest("MKCOL", asCollection(requestUrl(Collection)), headers, XMLProp);
    const int status = httpRequest_.status();
    if (status >= 300) raiseForStatus(status, resourceUrl(Collection));
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
    std::string source = contains(sSourceURL, "http://") ? sSourceURL : requestUrl(sSourceURL);
    std::string destination =
        contains(sDestinationURL, "://") ? sDestinationURL : requestUrl(sDestinationURL);
    // nginx refuses to copy or move a collection whose URL or Destination does not end in "/".
    if (!isDocumentName(sSourceURL)) {
        source = asCollection(std::move(source));
        destination = asCollection(std::move(destination));
    }
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

}  // namespace ostrel
