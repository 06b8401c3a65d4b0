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

void listCollection(WebDAVClient& client, const std::string& resource, MemberReceiver& receiver) {
    const std::string self = requestedPath(client, resource);
    MultistatusReader reader(
        [&](MultistatusResponse& response) {
            if (std::optional<CollectionMember> member = memberOf(response, self))
                receiver.member(std::move(*member));
        },
        [&] { receiver.restart(); });
    receiver.restart();
    XmlDocument reply;
    try {
        reply = client.PropertyFind(std::string(kListingQuery), resource, "1", reader);
    } catch (const Error& error) {
        const std::string condition = replies::refusalCondition(error.details());
        if (error.number() != WebDAVClient::kErrorNumber || condition.empty()) throw;
        throw listingRefused(condition, error.details());
    }
    const std::string condition = replies::refusalCondition(reply);
    if (!condition.empty()) throw listingRefused(condition, reply.xml());
}

std::vector<CollectionMember> listCollection(WebDAVClient& client, const std::string& resource) {
    struct Collected final : MemberReceiver {
        std::vector<CollectionMember> members;
        void restart() override { members.clear(); }
        void member(CollectionMember member) override { members.push_back(std::move(member)); }
    } collected;
    listCollection(client, resource, collected);
    return std::move(collected.members);
}

}  // namespace ostrel
