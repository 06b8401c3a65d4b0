// Every command of the main window and the client's Copy, Move and MakeCollection, on each of the six server
// profiles, as one table: what the user gets, the server's own faults included. Then the walk a user makes
// from an empty field with "Get resources" and picks, which must reach every document of the seeded tree.
// Servers the tests start go with the process that started them; server URIs a user may type fail clearly.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "client/Listing.h"
#include "support/Scenario.h"
#include "ui/Browsing.h"

namespace ostrel {
namespace {

using test::errorOf;

class Profiles : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        dav = std::make_unique<test::DavServer>(
            test::DavServer::Options{.server = GetParam(), .auth = "basic"});
        client = test::loggedOnClient(*dav);
    }
    std::string profile() const { return GetParam(); }

    // What a command ends in: "ok", or the error's source and first line.
    static std::string outcome(const std::function<void()>& command) {
        const std::string error = errorOf(command);
        return error == "no error" ? "ok" : error.substr(0, error.find('\r'));
    }

    std::unique_ptr<test::DavServer> dav;
    WebDAVClient client;
};

// The documents a user reaches from an empty field, listing each collection and picking each entry.
std::set<std::string> walk(WebDAVClient& client, const std::string& field, int depth) {
    std::set<std::string> reached;
    if (depth > 3) return reached;
    for (const std::string& entry : browsing::listing(field, listCollection(client, field))) {
        const std::string picked = browsing::pick(field, "", entry).field;
        if (entry.find(".xml") != std::string::npos) {
            if (client.GetDocument(picked).hasChildNodes()) reached.insert(picked);
        } else {
            reached.merge(walk(client, picked, depth + 1));
        }
    }
    return reached;
}

TEST_P(Profiles, EveryDocumentIsReachedFromAnEmptyFieldAndAStoredOneIsListed) {
    client.UpdateDocument("xbrl/other/Stored 2.xml", "<s/>");
    const std::set<std::string> expected = {"xbrl/config/Document_1.xml",     "xbrl/config/Document_2.xml",
                                            "xbrl/other/Document_3.xml",      "xbrl/other/Document_4.xml",
                                            "xbrl/other/Margin 12%.xml",      "xbrl/other/Note #7.xml",
                                            "xbrl/other/Report Q1.xml",       "xbrl/other/Report%20Q1.xml",
                                            "xbrl/other/R\xC3\xA9sultat.xml", "xbrl/other/Stored 2.xml"};
    EXPECT_EQ(walk(client, "", 0), expected);
}

TEST_P(Profiles, EveryCommandEndsAsTheServerAllows) {
    const std::string doc = "xbrl/other/Document_3.xml";
    // Outcomes that differ from "ok", by profile: the server's own faults, said plainly.
    const std::map<std::string, std::map<std::string, std::string>> faults = {
        // nginx has no PROPPATCH: 405 with an error page.
        {"nginx", {{"PropertyUpdate", "PropertyUpdate | Failed to load response"}}},
        {"rclone",
         {{"PropertyUpdate", "PropertyUpdate | The server did not set displayname (403 Forbidden)"},
          {"OpaqueToken", "OpaqueToken | no locks reported"}}},
        // webdav-server 2.6 lets the lock's owner write without the token, and dies of an untagged If header
        // (a
        // TypeError in its parser): the store under the lock finds no server any more, nor does anything
        // after.
        {"webdav-server",
         {{"PropertyUpdate", "PropertyUpdate | The server did not set displayname (403 Forbidden)"},
          {"Another's store while locked", "ok"},
          {"Update document", "HttpRequest | The server stopped answering when the lock token was sent"},
          {"Unlock", "HttpRequest | Could not connect to the server"}}},
    };
    const std::vector<std::pair<std::string, std::function<void()>>> commands = {
        {"Get document", [&] { client.GetDocument(doc); }},
        {"Property names", [&] { client.GetAllPropertyNames(doc); }},
        {"All properties", [&] { client.GetAllProperties("xbrl"); }},
        {"MakeCollection", [&] { client.MakeCollection("xbrl/made"); }},
        {"Copy", [&] { client.CopyResource("xbrl/config", "xbrl/made/config"); }},
        {"Move",
         [&] { client.MoveResource("xbrl/made/config/Document_1.xml", "xbrl/made/moved.xml", false); }},
        {"PropertyUpdate", [&] { client.PropertyUpdate(doc, "displayname", "Third"); }},
        {"Delete document", [&] { client.DeleteDocument("xbrl/made/moved.xml"); }},
        // Two users: a change made meanwhile is found before the store, and a new document never replaces
        // one.
        {"Store over a change made meanwhile",
         [&] {
             WebDAVClient other = test::loggedOnClient(*dav);
             const std::string fetched = client.FetchDocument(doc).etag;
             other.UpdateDocument(doc, "<v>theirs</v>");
             using Kind = WebDAVClient::StoreExpectation::Kind;
             if (client.StoreDocument(doc, "<v>mine</v>", "", {Kind::Unchanged, fetched}).conflict !=
                     WebDAVClient::StoreConflict::Changed ||
                 client.StoreDocument(doc, "<v>new</v>", "", {Kind::Absent, ""}).conflict !=
                     WebDAVClient::StoreConflict::Exists)
                 throw Error(0, "StoreDocument", "overwritten");
         }},
        {"Wrong password",
         [&] {
             WebDAVClient stranger = test::loggedOnClient(*dav);
             stranger.Password("wrong");
             stranger.GetAllPropertyNames("xbrl");
         }},
        {"Lock", [&] { client.LockResource(doc); }},
        {"Another's store while locked", [&] { test::loggedOnClient(*dav).UpdateDocument(doc, "<v>x</v>"); }},
        {"OpaqueToken",
         [&] {
             XmlDocument reply = client.FindPropertyByName(doc, "lockdiscovery");
             if (!replies::reportsLockDiscovery(reply)) throw Error(0, "OpaqueToken", "no locks reported");
             if (!replies::firstLockToken(reply)) throw Error(0, "OpaqueToken", "not locked");
         }},
        // Last: webdav-server dies of the untagged If header that carries the token.
        {"Update document", [&] { client.UpdateDocument(doc, "<v>locked</v>", client.opaquetoken()); }},
        {"Unlock", [&] { client.UnlockResource(doc); }},
    };
    // What every server answers where it is not "ok".
    const std::map<std::string, std::string> refusals = {
        {"Wrong password", "FindProperty | Failed to load response"},
        {"Another's store while locked", "Resource has been locked"}};
    const auto own = faults.find(profile());
    for (const auto& [command, run] : commands) {
        std::string expected = refusals.count(command) ? refusals.at(command) : "ok";
        if (own != faults.end() && own->second.count(command)) expected = own->second.at(command);
        const std::string got = outcome(run);
        EXPECT_NE(got.find(expected), std::string::npos) << command << ": " << got;
    }
    if (profile() == "webdav-server") return;
    EXPECT_EQ(client.GetDocument(doc).text(), "locked");
    EXPECT_EQ(client.GetDocument("xbrl/made/config/Document_2.xml").documentElement().nodeName(),
              "reportingConfiguration");
}

INSTANTIATE_TEST_SUITE_P(, Profiles, ::testing::ValuesIn(test::kServerProfiles), [](const auto& test) {
    std::string name = test.param;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
});

// The processes of a session that have not exited (a zombie waiting to be reaped has).
int liveProcessesOfSession(int session) {
    int live = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) continue;
        std::istringstream fields(line.substr(line.rfind(')') + 2));
        char state = 0;
        int parent = 0, group = 0, sid = 0;
        fields >> state >> parent >> group >> sid;
        if (sid == session && state != 'Z') ++live;
    }
    return live;
}

// A test killed outright (SIGKILL: no destructor runs) leaves no server behind: the watchdog the server was
// started with stops it, Apache's workers included.
TEST(ServerLifetime, AServerGoesWithTheProcessThatStartedIt) {
    // The folder is the parent's: the killed child never removes what it made.
    std::string folder = "/tmp/ostrel-killed-XXXXXX";
    ASSERT_TRUE(::mkdtemp(folder.data()));
    ::chmod(folder.c_str(), 0755);  // Apache's workers run as another user
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        test::DavServer dav({.seed = false, .folder = folder});
        const int pid = dav.pid();
        if (::write(pipeFds[1], &pid, sizeof pid) != static_cast<ssize_t>(sizeof pid)) ::_exit(1);
        ::pause();
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    int server = 0;
    const bool started = ::read(pipeFds[0], &server, sizeof server) == static_cast<ssize_t>(sizeof server);
    ::close(pipeFds[0]);
    const int runningBefore = started ? liveProcessesOfSession(server) : 0;
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ASSERT_TRUE(started) << "the child could not start a server";
    EXPECT_GT(runningBefore, 1) << "Apache's master and its workers";
    for (int step = 0; step < 300 && liveProcessesOfSession(server) > 0; ++step)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(liveProcessesOfSession(server), 0);
    std::filesystem::remove_all(folder);
}

// Server URIs a user may type: each gives a clear error naming the URL, never a request elsewhere.
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
