#include "ui/ServerTrust.h"

#include <utility>

#include "client/WebDAVClient.h"
#include "platform/Certificates.h"
#include "ui/ServerMemory.h"

namespace ostrel::ui {

namespace {

constexpr const char* kTitle = "Certificate";
const std::vector<std::string> kChoices = {"Trust this certificate for this server", "Cancel"};

std::string described(const certificates::Endpoint& endpoint, const certificates::Certificate& certificate) {
    return "The certificate of " + endpoint.key() + " is not trusted: " + certificate.problem +
           "\r\n\r\nSubject: " + certificate.subject + "\r\nIssuer: " + certificate.issuer +
           "\r\nValid from " + certificate.notBefore + " to " + certificate.notAfter +
           "\r\nSHA-256 of the public key: " + certificate.publicKeyPin;
}

}  // namespace

ServerTrust::ServerTrust(Toolkit& toolkit, ServerMemory& memory, WebDAVClient& client)
    : toolkit_(toolkit), memory_(memory), client_(client) {}

void ServerTrust::serverChosen() {
    mayAsk_ = true;
    if (const auto endpoint = certificates::httpsEndpoint(client_.WebDAVURI())) {
        const QString key = QString::fromStdString(endpoint->key());
        client_.PinPublicKey(endpoint->key(), memory_.pin(key).toStdString());
    }
}

bool ServerTrust::retryAfter(const std::exception_ptr& failure) {
    const bool mayAsk = std::exchange(mayAsk_, false);
    const auto endpoint = certificates::httpsEndpoint(client_.WebDAVURI());
    if (!endpoint) return false;
    try {
        std::rethrow_exception(failure);
    } catch (const Error& error) {
        const QString key = QString::fromStdString(endpoint->key());
        if (certificates::isPinMismatch(error)) {
            const std::string offered = certificates::probe(*endpoint).publicKeyPin;
            throw Error(error.number(), "Certificates",
                        "The key of " + endpoint->key() + " changed from the trusted " +
                            memory_.pin(key).toStdString() + " to " + offered + "; the server is refused");
        }
        if (!mayAsk || !certificates::isUntrusted(error)) return false;
        const certificates::Certificate certificate = certificates::probe(*endpoint);
        if (toolkit_.Choose(described(*endpoint, certificate), kChoices, 1, 1, kTitle) != 0) return false;
        memory_.setPin(key, QString::fromStdString(certificate.publicKeyPin));
        client_.PinPublicKey(endpoint->key(), certificate.publicKeyPin);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace ostrel::ui
