// Certificates the user chose to trust: reading a certificate no authority vouches for, pinning its public
// key, and refusing the server once its key changes. Apache serves a self-signed certificate made for the
// run.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Certificates.h"
#include "platform/HttpRequest.h"
#include "support/DavServer.h"
#include "support/Scenario.h"

namespace ostrel {
namespace {

using certificates::Endpoint;

// The pin of the certificate in folder as openssl itself computes it.
std::string pinByOpenssl(const std::string& folder) {
    return "sha256//" + test::runCommand("cd " + test::shellQuote(folder) +
                                         " && openssl x509 -in server.pem -pubkey -noout"
                                         " | openssl pkey -pubin -outform der | openssl dgst -sha256 -binary"
                                         " | base64 | tr -d '\\n'");
}

struct SelfSignedServer {
    std::string folder = [] {
        const std::string made =
            test::runCommand("d=$(mktemp -d /tmp/ostrel-pin-XXXXXX) && chmod 755 $d && printf %s $d");
        test::makeSelfSignedCertificate(made);
        return made;
    }();
    test::DavServer dav{
        {.seed = false, .tlsCertificate = folder + "/server.pem", .tlsKey = folder + "/server.key"}};
    ~SelfSignedServer() { std::filesystem::remove_all(folder); }

    Endpoint endpoint() const { return {"127.0.0.1", dav.port()}; }
    std::string url() const {
        return "https://127.0.0.1:" + std::to_string(dav.port()) + "/ostrelwebdavserver/";
    }
};

// Whether the request with the pin fails as untrusted, as a changed key, or not at all.
std::string verdict(const SelfSignedServer& server, const std::string& pin) {
    HttpRequest request;
    request.pinPublicKey(server.endpoint().key(), pin);
    try {
        request.open("OPTIONS", server.url());
        request.send();
        return std::to_string(request.status());
    } catch (const Error& error) {
        if (certificates::isUntrusted(error)) return "untrusted";
        if (certificates::isPinMismatch(error)) return "key changed";
        return error.what();
    }
}

TEST(Certificates, EndpointsOfHttpsUrls) {
    const struct {
        const char* url;
        const char* key;  // empty: no endpoint
    } cases[] = {
        {"https://Example.ORG/dav", "example.org:443"},
        {"HTTPS://example.org:8443", "example.org:8443"},
        {"https://user:pw@127.0.0.1:4443/a?b", "127.0.0.1:4443"},
        {"https://[::1]:9443/dav", "[::1]:9443"},
        {"https://[::1]/", "[::1]:443"},
        {"http://127.0.0.1:4000/ostrelwebdavserver", ""},
        {"https://:443/", ""},
        {"https://host:0/", ""},
        {"https://host:99999/", ""},
        {"https://host:4x/", ""},
    };
    for (const auto& c : cases) {
        const std::optional<Endpoint> endpoint = certificates::httpsEndpoint(c.url);
        EXPECT_EQ(endpoint ? endpoint->key() : "", c.key) << c.url;
    }
}

TEST(Certificates, ASelfSignedCertificateIsReadAndTrustedOnlyByItsPinnedKey) {
    SelfSignedServer server;
    const std::string pin = pinByOpenssl(server.folder);

    const certificates::Certificate read = certificates::probe(server.endpoint());
    EXPECT_EQ(read.subject, "O=Ostrel Test,CN=127.0.0.1");
    EXPECT_EQ(read.issuer, read.subject);
    EXPECT_TRUE(read.notAfter.ends_with("GMT")) << read.notAfter;
    EXPECT_FALSE(read.notBefore.empty());
    EXPECT_EQ(read.publicKeyPin, pin);
    EXPECT_EQ(read.problem, "self-signed certificate");
    EXPECT_EQ(certificates::probe({"localhost", server.dav.port()}).problem, "self-signed certificate");

    EXPECT_EQ(verdict(server, ""), "untrusted") << "no pin: the authorities decide";
    EXPECT_EQ(verdict(server, pin), "200") << "the pinned key";

    // The server gets a new key on the same port: the old pin refuses it, the new one is read by the probe.
    server.dav.stop();
    test::makeSelfSignedCertificate(server.folder);
    server.dav.start();
    EXPECT_EQ(verdict(server, pin), "key changed");
    const std::string changed = certificates::probe(server.endpoint()).publicKeyPin;
    EXPECT_NE(changed, pin);
    EXPECT_EQ(changed, pinByOpenssl(server.folder));
    EXPECT_EQ(verdict(server, changed), "200");
}

TEST(Certificates, AProbeOfNoServerFailsNamingTheEndpoint) {
    // Port 9 (discard) on loopback: nothing listens in the test machines.
    const std::string error = test::errorOf([] { certificates::probe({"127.0.0.1", 9}); });
    EXPECT_TRUE(error.starts_with("Certificates | The certificate of 127.0.0.1:9 could not be read"))
        << error;
}

}  // namespace
}  // namespace ostrel
