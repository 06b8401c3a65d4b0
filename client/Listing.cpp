#include "client/Listing.h"

#include "client/ClientText.h"
#include "client/Replies.h"
#include "platform/TextCodec.h"

namespace ostrel {

using namespace client;

namespace {

constexpr std::string_view kListingQuery =
    "<?xml version='1.0'?><propfind xmlns='DAV:'><prop><displayname/><resourcetype/></prop></propfind>";

// The path of the collection a listing asks for, as the server reads it: the server URI's path with its
// escapes decoded, then the resource as the text it is.
std::string requestedPath(const WebDAVClient& client, const std::string& resource) {
    const std::string& uri = client.WebDAVURI();
    const std::size_t scheme = uri.find("://");
    const std::size_t slash = uri.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    const std::string uriPath = slash == std::string::npos ? std::string() : uri.substr(slash);
    return text::decodePercentEscapes(uriPath) + "/" + resource;
}

Error listingRefused(const std::string& condition, std::string_view replyText) {
    const std::string what = condition == "propfind-finite-depth"
                                 ? "The server refuses listings of unlimited depth"
                                 : "The server refuses the listing";
    return clientError("FindProperty", what + " (" + condition + ")", replyText);
}

}  // namespace

std::vector<CollectionMember> listCollection(WebDAVClient& client, const std::string& resource) {
    XmlDocument reply;
    try {
        reply = client.PropertyFind(std::string(kListingQuery), resource, "1");
    } catch (const Error& error) {
        const std::string condition = replies::refusalCondition(error.details());
        if (error.number() != WebDAVClient::kErrorNumber || condition.empty()) throw;
        throw listingRefused(condition, error.details());
    }
    const std::string condition = replies::refusalCondition(reply);
    if (!condition.empty()) throw listingRefused(condition, reply.xml());
    return membersOf(reply, requestedPath(client, resource));
}

}  // namespace ostrel
