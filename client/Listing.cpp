#include "client/Listing.h"

#include "client/ClientText.h"
#include "client/Replies.h"

namespace ostrel {

using namespace client;

namespace {

constexpr std::string_view kListingQuery =
    "<?xml version='1.0'?><propfind xmlns='DAV:'><prop><displayname/><resourcetype/></prop></propfind>";

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// The path an href names, as the server means it: "/dav/a b" from "http://host/dav/a%20b/" (webdav-server
// writes absolute URLs, the others paths).
std::string hrefPath(const std::string& href) {
    std::string_view path = href;
    if (const std::size_t scheme = path.find("://"); scheme != std::string_view::npos) {
        const std::size_t slash = path.find('/', scheme + 3);
        path = slash == std::string_view::npos ? std::string_view("/") : path.substr(slash);
    }
    return withoutTrailingSlashes(decodePercentEscapes(path));
}

std::string lastSegment(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

// The path of the collection a listing asks for, as the server reads it: the server URI's path with its
// escapes decoded, then the resource as the text it is.
std::string requestedPath(const WebDAVClient& client, const std::string& resource) {
    const std::string& uri = client.WebDAVURI();
    const std::size_t scheme = uri.find("://");
    const std::size_t slash = uri.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    const std::string uriPath = slash == std::string::npos ? std::string() : uri.substr(slash);
    return withoutTrailingSlashes(decodePercentEscapes(uriPath) + "/" + resource);
}

Error listingRefused(const std::string& condition, std::string_view replyText) {
    const std::string what = condition == "propfind-finite-depth"
                                 ? "The server refuses listings of unlimited depth"
                                 : "The server refuses the listing";
    return clientError("FindProperty", what + " (" + condition + ")" + std::string(kCrLf) + std::string(replyText));
}

}  // namespace

std::vector<CollectionMember> membersOf(XmlDocument& reply, std::string_view collectionPath) {
    struct Found {
        std::string path;
        CollectionMember member;
    };
    std::vector<Found> found;
    XmlNode current;
    replies::forEachPropstat(reply.documentElement(), [&](const XmlNode& response, const XmlNode& prop, bool success) {
        if (response != current) {
            current = response;
            found.push_back({hrefPath(replies::davChild(response, "href").text()), {}});
        }
        if (!success) return;
        CollectionMember& member = found.back().member;
        if (const XmlNode name = replies::davChild(prop, "displayname"); name && member.name.empty())
            member.name = name.text();
        if (const XmlNode type = replies::davChild(prop, "resourcetype"))
            member.collection = member.collection || replies::davChild(type, "collection");
    });
    std::vector<CollectionMember> members;
    members.reserve(found.size());
    const std::string self = withoutTrailingSlashes(std::string(collectionPath));
    for (Found& entry : found) {
        if (entry.path == self) continue;
        if (entry.member.name.empty()) entry.member.name = lastSegment(entry.path);
        members.push_back(std::move(entry.member));
    }
    return members;
}

std::vector<CollectionMember> listCollection(WebDAVClient& client, const std::string& resource) {
    XmlDocument reply;
    try {
        reply = client.PropertyFind(std::string(kListingQuery), resource, "1");
    } catch (const Error& error) {
        // The reply's text follows the first line of "Failed to load response".
        const std::string& description = error.description();
        const std::string condition = replies::refusalCondition(description);
        if (error.number() != WebDAVClient::kErrorNumber || condition.empty()) throw;
        throw listingRefused(condition, std::string_view(description).substr(description.find('\n') + 1));
    }
    const std::string condition = replies::refusalCondition(reply);
    if (!condition.empty()) throw listingRefused(condition, reply.xml());
    return membersOf(reply, requestedPath(client, resource));
}

}  // namespace ostrel
