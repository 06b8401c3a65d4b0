// HttpRequest over https: Apache with a certificate for 127.0.0.1 only, from a test authority made for the
// run.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>

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

}  // namespace
}  // namespace ostrel
