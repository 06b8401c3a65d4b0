// The client over https: Apache with a certificate from a test certificate authority.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "client/WebDAVClient.h"
#include "support/DavServer.h"

namespace ostrel {
namespace {

struct TestAuthority {
    std::string folder;
    std::string caCertificate;
    std::string serverCertificate;
    std::string serverKey;
};

// A certificate authority and a server certificate for 127.0.0.1 signed by it, made fresh for the run.
TestAuthority makeAuthority() {
    char pattern[] = "/tmp/ostrel-tls-XXXXXX";
    if (!::mkdtemp(pattern)) throw std::runtime_error("cannot make a folder for the certificates");
    TestAuthority ca{pattern, std::string(pattern) + "/ca.pem", std::string(pattern) + "/server.pem",
                     std::string(pattern) + "/server.key"};
    std::filesystem::permissions(ca.folder, std::filesystem::perms::all &
                                                ~std::filesystem::perms::group_write &
                                                ~std::filesystem::perms::others_write);
    const std::string d = test::shellQuote(ca.folder);
    test::runCommand(
        "cd " + d +
        " && openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Ostrel Test CA'"
        " -keyout ca.key -out ca.pem"
        " && openssl req -newkey rsa:2048 -nodes -subj '/CN=127.0.0.1' -keyout server.key -out server.csr"
        " && printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\\nbasicConstraints=CA:FALSE\\n' > ext.cnf"
        " && openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2"
        " -extfile ext.cnf -out server.pem && chmod 644 server.key");
    return ca;
}

class Tls : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        authority = new TestAuthority(makeAuthority());
        server = new test::DavServer({.auth = "digest",
                                      .tlsCertificate = authority->serverCertificate,
                                      .tlsKey = authority->serverKey});
    }
    static void TearDownTestSuite() {
        delete server;
        std::filesystem::remove_all(authority->folder);
        delete authority;
    }

    WebDAVClient clientFor() const {
        WebDAVClient client;
        client.WebDAVURI(server->url());
        client.UserId("demo");
        client.Password("demo");
        return client;
    }

    static inline TestAuthority* authority = nullptr;
    static inline test::DavServer* server = nullptr;
};

TEST_F(Tls, AnUntrustedCertificateIsRefusedInPlainWords) {
    ASSERT_TRUE(server->url().starts_with("https://127.0.0.1:"));
    WebDAVClient client = clientFor();
    for (const std::function<void()>& operation :
         std::vector<std::function<void()>>{[&] { client.GetDocument("xbrl/config/Document_1.xml"); },
                                            [&] { client.GetAllProperties("xbrl"); },
                                            [&] { client.LockResource("xbrl/config/Document_1.xml"); }}) {
        try {
            operation();
            ADD_FAILURE() << "a certificate from an unknown authority was accepted";
        } catch (const Error& error) {
            EXPECT_EQ(error.number(), errors::kHttpBase + 60);
            EXPECT_NE(error.description().find("certificate could not be verified"), std::string::npos)
                << error.description();
        }
    }
    EXPECT_EQ(client.opaquetoken(), "");
}

TEST_F(Tls, WithTheAuthorityTrustedEveryOperationWorks) {
    WebDAVClient client = clientFor();
    client.TrustCertificateAuthorities(authority->caCertificate);
    EXPECT_TRUE(client.GetDocument("xbrl/config/Document_1.xml").hasChildNodes());
    client.UpdateDocument("xbrl/other/secure.xml", "<secure>yes</secure>");
    EXPECT_EQ(client.GetDocument("xbrl/other/secure.xml").text(), "yes");
    XmlDocument names = client.FindPropertyByName("xbrl/config", "displayname");
    names.setProperty("SelectionNamespaces", "xmlns:d='DAV:'");
    EXPECT_EQ(names.selectNodes("//d:displayname").length(), 3u);
    client.PropertyUpdate("xbrl/other/secure.xml", "displayname", "secure.xml");
    client.LockResource("xbrl/other/secure.xml");
    client.UpdateDocument("xbrl/other/secure.xml", "<secure>locked</secure>", client.opaquetoken());
    client.UnlockResource("xbrl/other/secure.xml");
    client.CopyResource("xbrl/other/secure.xml", "xbrl/other/secure-copy.xml");
    client.MoveResource("xbrl/other/secure-copy.xml", "xbrl/other/secure-moved.xml", false);
    client.MakeCollection("secure-collection");
    client.DeleteDocument("xbrl/other/secure-moved.xml");
    EXPECT_EQ(client.GetDocument("xbrl/other/secure.xml").text(), "locked");
    EXPECT_EQ(client.ConnectionsOpened(), 1) << "the TLS session is kept alive between requests";
}

}  // namespace
}  // namespace ostrel
