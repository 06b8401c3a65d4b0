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

// A client on a server, logged on as the seeded user.
inline WebDAVClient loggedOnClient(const DavServer& server) {
    WebDAVClient client;
    client.WebDAVURI(server.url());
    client.UserId(server.options().user);
    client.Password(server.options().password);
    return client;
}

}  // namespace ostrel::test
