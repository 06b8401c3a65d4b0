#pragma once

// What the transport keeps of an authentication between requests, and for whom. Internal to the platform
// layer; nothing here knows the transport.
#include <string>
#include <string_view>

namespace ostrel::http {

// The transport answers a server it has authenticated with at once, in the scheme it learnt, and Digest with
// the nonce it kept. Those answers belong to the server (scheme and authority, as written in the request
// URL), the user id and the password they were made for: another server, or a new user id or password, starts
// with none and gets credentials only after it asks for them. Spelling the same server differently costs one
// challenge, nothing more.
class AuthenticationMemory {
public:
    // Whether what the transport keeps belongs to someone other than this request's server, user and password
    // and must be forgotten before the request goes out. The request's owner becomes the memory's.
    bool mustForgetFor(std::string_view url, std::string_view user, std::string_view password);
    // The transport has forgotten what it kept.
    void forgotten() { nonceHeld_ = false; }

    // Whether the transport holds a Digest nonce: once a challenge brought one, the transport answers with it
    // until it is forgotten, whatever became of the transfer that brought it. Read before a request goes
    // out, so a cancelled or failed transfer cannot leave the next one without its second try.
    bool nonceHeld() const { return nonceHeld_; }
    void transferred(bool digestChallenged) { nonceHeld_ = nonceHeld_ || digestChallenged; }

    // A server that has forgotten the kept nonce (it restarted, or another one answers under the same name)
    // answers it with a fresh challenge without stale=true, which the transport takes for a refusal. Only a
    // fresh handshake tells that from a wrong password, so a completed request that went out with a kept
    // nonce and came back 401 with a Digest challenge is worth sending once more, after forgetting.
    static bool worthFreshHandshake(bool reusedNonce, long status, bool digestChallenged) {
        return reusedNonce && status == 401 && digestChallenged;
    }

private:
    struct Owner {
        std::string server, user, password;
        bool operator==(const Owner&) const = default;
    } owner_;
    bool nonceHeld_ = false;
};

}  // namespace ostrel::http
