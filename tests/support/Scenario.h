#pragma once

// Shared pieces of the client scenarios against real servers.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "client/Replies.h"
#include "client/WebDAVClient.h"
#include "support/DavServer.h"

namespace ostrel::test {

// "source | description" of the error an operation raises, or "no error".
inline std::string errorOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const Error& error) {
        return error.source() + " | " + error.description();
    }
    return "no error";
}

// A seeded server of a kind and authentication, started on first use and shared by the tests of a run.
inline DavServer& sharedServer(const std::string& kind, const std::string& auth) {
    static std::map<std::pair<std::string, std::string>, std::unique_ptr<DavServer>> servers;
    auto& server = servers[{kind, auth}];
    if (!server) server = std::make_unique<DavServer>(DavServer::Options{.server = kind, .auth = auth});
    return *server;
}

// A client on a server, logged on as the seeded user.
inline WebDAVClient loggedOnClient(const DavServer& server) {
    WebDAVClient client;
    client.WebDAVURI(server.url());
    client.UserId(server.options().user);
    client.Password(server.options().password);
    return client;
}

inline std::string displayNameOf(WebDAVClient& client, const std::string& resource) {
    XmlDocument reply = client.FindPropertyByName(resource, "displayname");
    const auto names = replies::displayNames(reply);
    return names.empty() ? std::string() : names.front();
}

}  // namespace ostrel::test
