#pragma once

#include <exception>

#include "platform/Toolkit.h"

namespace ostrel {
class WebDAVClient;
}

namespace ostrel::ui {

class ServerMemory;

// Certificates the user chose to trust. When the first request to a server after choosing it (or logging
// on) fails because no authority vouches for its certificate, the certificate is shown and the user may
// pin its public key for that host and port; a pinned server whose key changed is refused, naming both keys,
// and nothing is asked. All of it happens on the user-interface thread once the failed request is back.
class ServerTrust {
public:
    ServerTrust(Toolkit& toolkit, ServerMemory& memory, WebDAVClient& client);

    // A server was chosen or the user logged on: its pin goes to the client, and the next failure may ask.
    void serverChosen();
    // After a command's requests failed: true to run them once more (the user trusted the certificate).
    // A changed key raises an Error naming the trusted key and the one offered.
    bool retryAfter(const std::exception_ptr& failure);
    // After a command's requests went through: the question is not asked again until the next choice.
    void settled() { mayAsk_ = false; }

private:
    Toolkit& toolkit_;
    ServerMemory& memory_;
    WebDAVClient& client_;
    bool mayAsk_ = false;
};

}  // namespace ostrel::ui
