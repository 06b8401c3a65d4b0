// Server URIs a user may type: each gives a clear error naming the URL, never a request elsewhere.
#include <gtest/gtest.h>

#include "client/WebDAVClient.h"
#include "support/Scenario.h"

namespace ostrel {
namespace {

using test::errorOf;

TEST(BadInput, UnusableServerUrisFailClearly) {
    WebDAVClient client;
    EXPECT_EQ(errorOf([&] { client.GetAllProperties("xbrl"); }),
              "FindProperty | WebDAVURI not initialized yet");
    for (const char* uri :
         {"", "127.0.0.1:4000/ostrelwebdavserver", "ftp://127.0.0.1/dav", "http//127.0.0.1"}) {
        client.WebDAVURI(uri);
        EXPECT_NE(
            errorOf([&] { client.GetDocument("a.xml"); }).find("is not an absolute http:// or https:// URL"),
            std::string::npos);
        EXPECT_NE(errorOf([&] { client.LockResource("a.xml"); }).find("not an absolute"), std::string::npos);
    }
    for (const char* uri : {"http://", "http://[::1/dav", "http://127.0.0.1:99999/dav"}) {
        client.WebDAVURI(uri);
        const std::string error = errorOf([&] { client.GetDocument("a.xml"); });
        EXPECT_TRUE(error.starts_with("HttpRequest | ")) << error;
        EXPECT_NE(error.find(std::string(uri) + "/a.xml"), std::string::npos)
            << "names where it failed: " << error;
    }
}

}  // namespace
}  // namespace ostrel
