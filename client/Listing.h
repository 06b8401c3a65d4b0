#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "client/WebDAVClient.h"

namespace ostrel {

// A member of a collection, named as a person reads it: its display name where the server gives one with a
// value, else the last segment of its href, percent-decoded.
struct CollectionMember {
    std::string name;
    bool collection = false;
};

// "Get resources": one PROPFIND with Depth 1 for the display name and the resource type, and the members it
// names; the collection itself, known by its href, is left out. A server that refuses the listing, in a
// DAV:error document or on an error page, raises an Error naming its condition, e.g. "The server refuses the
// listing (propfind-finite-depth)". Other failures pass through unchanged.
std::vector<CollectionMember> listCollection(WebDAVClient& client, const std::string& resource);

// The members a multistatus reply names, leaving out the response for collectionPath (a decoded path such as
// "/dav/xbrl"; a trailing "/" does not count).
std::vector<CollectionMember> membersOf(XmlDocument& reply, std::string_view collectionPath);

}  // namespace ostrel
