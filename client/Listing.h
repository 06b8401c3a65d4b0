#pragma once

#include <optional>
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

// Told of a listing's members while its reply arrives, on the thread that runs the request.
class MemberReceiver {
public:
    virtual ~MemberReceiver() = default;
    // The members told so far no longer count: the listing is read again from its start.
    virtual void restart() = 0;
    virtual void member(CollectionMember member) = 0;
};

// "Get resources": one PROPFIND with Depth 1 for the display name and the resource type, and the members it
// names, each told to receiver as soon as its response has been read; the collection itself, known by its
// href, is left out. A server that refuses the listing, in a DAV:error document or on an error page, raises
// an Error naming its condition, e.g. "The server refuses the listing (propfind-finite-depth)". Other
// failures pass through unchanged.
void listCollection(WebDAVClient& client, const std::string& resource, MemberReceiver& receiver);
// The same, with the members all at once.
std::vector<CollectionMember> listCollection(WebDAVClient& client, const std::string& resource);

// The member a response of a listing names; nothing for the response of collectionPath itself (a decoded
// path such as "/dav/xbrl"; a trailing "/" does not count).
std::optional<CollectionMember> memberOf(MultistatusResponse& response, std::string_view collectionPath);

}  // namespace ostrel
