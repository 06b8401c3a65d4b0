// The members a multistatus reply names: plain rules over the parsed reply, apart from the request that
// fetched it.
#include "client/Listing.h"
#include "client/Replies.h"
#include "platform/TextCodec.h"

namespace ostrel {

namespace {

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
    return withoutTrailingSlashes(text::decodePercentEscapes(path));
}

std::string lastSegment(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

}  // namespace

std::vector<CollectionMember> membersOf(XmlDocument& reply, std::string_view collectionPath) {
    struct Found {
        std::string path;
        CollectionMember member;
    };
    std::vector<Found> found;
    XmlNode current;
    replies::forEachPropstat(
        reply.documentElement(), [&](const XmlNode& response, const XmlNode& prop, bool success) {
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

}  // namespace ostrel
