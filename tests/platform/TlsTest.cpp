// HttpRequest over https: Apache with a certificate for 127.0.0.1 only, from a test authority made for the
// run; and certificates the user chose to trust: reading a certificate no authority vouches for, pinning its
// public key, and refusing the server once its key changes (Apache with a self-signed certificate).
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/Certificates.h"
#include "platform/HttpRequest.h"
#include "support/DavServer.h"
#include "support/Scenario.h"

namespace ostrel {
namespace {

struct TlsServer {
    std::string folder = test::runCommand(
        "d=$(mktemp -d /tmp/ostrel-tls-XXXXXX) && cd $d && exec 2>openssl.log && chmod 755 ."
        " && k='ec -pkeyopt ec_paramgen_curve:P-256 -nodes'"
        " && for c in ca other; do openssl req -x509 -newkey $k -subj /CN=$c -keyout $c.key -out $c.pem; done"
        " && openssl req -newkey $k -subj /CN=127.0.0.1 -keyout server.key -out server.csr"
        " && printf 'subjectAltName=IP:127.0.0.1\\nbasicConstraints=CA:FALSE\\n' > ext.cnf && chmod 644 *.key"
        " && openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2"
        " -extfile ext.cnf -out server.pem && printf %s $d");
    std::string authority = folder + "/ca.pem";    // signed the server's certificate
    std::string stranger = folder + "/other.pem";  // signed nothing here
    test::DavServer dav{
        {.seed = false, .tlsCertificate = folder + "/server.pem", .tlsKey = folder + "/server.key"}};
    ~TlsServer() { std::filesystem::remove_all(folder); }

    // The status of each of `times` requests on one request object trusting the extra authority, and the
    // connections it opened; or the error.
    std::string get(const std::string& extra, const std::string& host = "127.0.0.1", int times = 1) const {
        HttpRequest request;
        request.setExtraCaFile(extra);
        std::string statuses;
        const std::string error = test::errorOf([&] {
            for (int i = 0; i < times; ++i) {
                request.open("OPTIONS",
                             "https://" + host + ":" + std::to_string(dav.port()) + "/ostrelwebdavserver/");
                request.send();
                statuses += std::to_string(request.status()) + " ";
            }
        });
        return error != "no error" ? error : statuses + "on " + std::to_string(request.connectionsOpened());
    }
};

const TlsServer& server() {
    static const TlsServer shared;
    return shared;
}

TEST(Tls, OnlyAVerifiedCertificateForTheRightNameIsAccepted) {
    const std::string refused = "HttpRequest | The server's certificate could not be verified";
    EXPECT_TRUE(server().get("").starts_with(refused)) << "an authority nobody trusts";
    EXPECT_TRUE(server().get(server().stranger).starts_with(refused)) << "an unrelated extra authority";
    EXPECT_TRUE(server().get(server().authority, "localhost").starts_with(refused)) << "a name not certified";
    EXPECT_EQ(server().get(server().authority, "127.0.0.1", 3), "200 200 200 on 1") << "one kept TLS session";
}

// The test authority becomes one of the system's, bound over the system's bundle in a mount namespace of one
// thread: it is trusted with no setting at all, and still when an extra authority is added.
TEST(Tls, TheSystemsAuthoritiesAreTrustedWithoutAnySetting) {
    const TlsServer& tls = server();
    std::string skipped;
    std::vector<std::string> outcomes;
    std::thread([&] {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount(tls.authority.c_str(), "/etc/ssl/certs/ca-certificates.crt", nullptr, MS_BIND, nullptr) !=
                0) {
            skipped = std::string("no private mount namespace: ") + std::strerror(errno);
            return;
        }
        outcomes = {tls.get(""), tls.get(tls.stranger)};
    }).join();
    if (!skipped.empty()) GTEST_SKIP() << skipped;
    EXPECT_EQ(outcomes, (std::vector<std::string>{"200 on 1", "200 on 1"}));
}

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
