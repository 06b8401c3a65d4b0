#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Error.h"

namespace ostrel::certificates {

// Where a TLS connection goes: a host and port, the unit a certificate is trusted for.
struct Endpoint {
    std::string host;  // lower case; an IPv6 address without its brackets
    int port = 443;
    // "host:port" ("[::1]:8443" for IPv6): the key a pin is kept under.
    std::string key() const;
};

// The endpoint of an https URL; std::nullopt for any other scheme or a URL without a host.
std::optional<Endpoint> httpsEndpoint(std::string_view url);

// What a server's certificate says of itself, read without trusting it.
struct Certificate {
    std::string subject;
    std::string issuer;
    std::string notBefore;
    std::string notAfter;
    // The SHA-256 of the certificate's public key (its DER SubjectPublicKeyInfo) as "sha256//BASE64": what a
    // pin holds, and the fingerprint shown to the user.
    std::string publicKeyPin;
    // Why the system's authorities do not accept it for this host; empty when they do.
    std::string problem;
};

// Connects to the endpoint, completes the TLS handshake without verifying anything and reads the server's
// certificate; nothing is sent over the connection. Failures raise an Error naming the endpoint.
Certificate probe(const Endpoint& endpoint);

// Whether a request failed because no authority vouches for the server's certificate (or it does not name
// the host), and whether it failed because the server's key is not the one pinned for it.
bool isUntrusted(const Error& error);
bool isPinMismatch(const Error& error);

}  // namespace ostrel::certificates
