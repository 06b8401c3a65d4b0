// The member a response of a multistatus reply names: plain rules over what was read, apart from the request
// that fetched it.
#include "client/ClientText.h"
#include "client/Listing.h"
#include "platform/TextCodec.h"

namespace ostrel {

namespace {

std::string_view withoutTrailingSlashes(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    return path;
}

// The path an href names, as the server means it: "/dav/a b" from "http://host/dav/a%20b/" (webdav-server
// writes absolute URLs, the others paths).
std::string hrefPath(std::string_view href) {
    if (const std::size_t scheme = href.find("://"); scheme != std::string_view::npos) {
        const std::size_t slash = href.find('/', scheme + 3);
        href = slash == std::string_view::npos ? std::string_view("/") : href.substr(slash);
    }
    return std::string(withoutTrailingSlashes(text::decodePercentEscapes(href)));
}

}  // namespace

std::optional<CollectionMember> memberOf(MultistatusResponse& response, std::string_view collectionPath) {
    const std::string path = hrefPath(response.href);
    if (path == withoutTrailingSlashes(collectionPath)) return std::nullopt;
    CollectionMember member{std::move(response.displayName), response.collection};
    if (member.name.empty()) {
        member.name = path.substr(path.rfind('/') + 1);
        // Escapes may decode to octets that are no text (%c2 alone, %00); the name shows them as U+FFFD.
        if (!text::isValidUtf8(member.name)) member.name = text::toValidUtf8(member.name);
        member.name = client::replaceAll(std::move(member.name), std::string_view("\0", 1), "\xEF\xBF\xBD");
    }
    return member;
}

}  // namespace ostrel
