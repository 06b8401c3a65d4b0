// One scenario per feature against real servers: Apache mod_dav and lighttpd mod_webdav, each with and
// without Digest authentication. Where lighttpd answers differently, the test states what the server sends
// and what the client makes of it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <tuple>

#include "client/Listing.h"
#include "client/WebDAVClient.h"
#include "support/Scenario.h"

namespace ostrel {
namespace {

using test::errorOf;

class Servers : public ::testing::TestWithParam<std::tuple<const char*, const char*>> {
protected:
    void SetUp() override {
        dav = &test::sharedServer(std::get<0>(GetParam()), std::get<1>(GetParam()));
        client = test::loggedOnClient(*dav);
        lighttpd = dav->options().server == "lighttpd";
    }

    // A name of our own per server and authentication, so the cases never meet.
    std::string own(const std::string& stem) const {
        return stem + "-" + dav->options().server + "-" + dav->options().auth;
    }
    // The names the server holds in a served folder, read from its disk (Apache's property store aside).
    std::vector<std::string> stored(const std::string& folder) const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dav->folder() + "/" + folder))
            if (entry.path().filename() != ".DAV") names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    test::DavServer* dav = nullptr;
    WebDAVClient client;
    bool lighttpd = false;
};

TEST_P(Servers, NamesWithReservedCharactersReachTheirOwnResource) {
    const std::string folder = own("odd");
    client.MakeCollection(folder);
    const std::string name = "50% off #1?v=2 caf\xC3\xA9.xml";
    client.UpdateDocument(folder + "/" + name, "<offer>half</offer>");
    EXPECT_EQ(stored("dav/" + folder), std::vector<std::string>{name});
    EXPECT_EQ(client.GetDocument(folder + "/" + name).text(), "half");
    // lighttpd stores the value but answers 204 without a body, which is no DAV: reply.
    errorOf([&] { client.PropertyUpdate(folder + "/" + name, "displayname", "odd"); });
    EXPECT_EQ(test::displayNameOf(client, folder + "/" + name), "odd");
    client.LockResource(folder + "/" + name);
    EXPECT_EQ(errorOf([&] { test::loggedOnClient(*dav).DeleteDocument(folder + "/" + name); }),
              dav->url() + "/" + folder + "/" + name + " | Resource has been locked");
    client.UnlockResource(folder + "/" + name);
    client.CopyResource(folder + "/" + name, folder + "/copy #2?.xml");
    client.MoveResource(folder + "/copy #2?.xml", dav->url() + "/" + folder + "/moved 100%.xml", false);
    client.DeleteDocument(folder + "/" + name);
    // A "%" is a character of a name, also where an escape could be read into it.
    client.UpdateDocument(folder + "/Report%20Q1.xml", "<q>1</q>");
    EXPECT_EQ(client.GetDocument(folder + "/Report%20Q1.xml").text(), "1");
    client.DeleteDocument(folder + "/Report%20Q1.xml");
    EXPECT_EQ(stored("dav/" + folder), std::vector<std::string>{"moved 100%.xml"});

    // The program's fixed copy target has no port. Apache ignores a Destination's port and copies onto its
    // own /WebDAV Folder/; lighttpd takes another port as a forward it will not make.
    const std::string fixedCopy = errorOf(
        [&] { client.CopyResource("xbrl/config/Document_2.xml", "http://127.0.0.1/WebDAV Folder/"); });
    EXPECT_EQ(fixedCopy, lighttpd ? "CopyResource | Copy failed: 502: Bad Gateway" : "no error");
    EXPECT_EQ(std::filesystem::is_regular_file(dav->folder() + "/copies/WebDAV Folder"), !lighttpd);
}

TEST_P(Servers, DocumentsCollectionsAndCopiesAnswerByStatus) {
    EXPECT_EQ(client.GetDocument("xbrl/config/Document_1.xml").documentElement().nodeName(),
              "taxonomyConfiguration");
    const std::string folder = own("coll");
    EXPECT_FALSE(client.MakeCollection(folder).hasChildNodes());
    EXPECT_TRUE(
        errorOf([&] { client.MakeCollection(folder); }).starts_with("ProcessDoc | Method Not Allowed"));
    const std::string doc = folder + "/a.xml";
    EXPECT_FALSE(client.UpdateDocument(doc, "<v>1</v>").hasChildNodes()) << "201 Created has no XML body";
    EXPECT_FALSE(client.UpdateDocument(doc, "<v>caf\xC3\xA9</v>").hasChildNodes()) << "204 on replace";
    EXPECT_EQ(client.GetDocument(doc).text(), "caf\xC3\xA9");
    EXPECT_EQ(errorOf([&] { client.CopyResource("xbrl/config/Document_2.xml", doc); }),
              "CopyResource | Copy failed: 412: Precondition Failed");
    client.CopyResource("xbrl/config/Document_2.xml", folder + "/b.xml");
    EXPECT_EQ(test::displayNameOf(client, folder + "/b.xml"), "Document_2.xml") << "dead properties travel";
    client.DeleteDocument(doc);
    EXPECT_EQ(stored("dav/" + folder), std::vector<std::string>{"b.xml"});
    EXPECT_TRUE(errorOf([&] { client.GetDocument(doc); }).starts_with("ProcessDoc | Not Found\r\n"));
    // Both refuse a PUT under a missing parent with 409 and an HTML page (lighttpd's names an external DTD,
    // which is never fetched).
    EXPECT_TRUE(errorOf([&] {
                    client.UpdateDocument("missing/parent/a.xml", "<a/>");
                }).starts_with(dav->url() + "/missing/parent/a.xml | Action is inappropriate\r\n<"));
    // Apache keeps one connection for the whole session. lighttpd closes it after a refused PUT and after
    // a challenge to a PUT; the client reconnects by itself.
    EXPECT_TRUE(client.GetDocument("xbrl/config/Document_1.xml").hasChildNodes());
    EXPECT_EQ(client.ConnectionsOpened(), lighttpd ? 2 : 1);
}

TEST_P(Servers, PropertiesAreListedReadAndUpdated) {
    XmlDocument all = client.GetAllProperties("xbrl/config/Document_1.xml");
    all.setProperty("SelectionNamespaces", "xmlns:d='DAV:'");
    EXPECT_EQ(all.selectSingleNode("//d:getcontenttype").text(), "text/xml");
    // Without a Depth header both answer for the whole subtree, which the listing relies on.
    XmlDocument listing = client.FindPropertyByName("xbrl/config", "displayname");
    std::vector<std::string> listed = replies::displayNames(listing);
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::string>{"/config", "Document_1.xml", "Document_2.xml"}));

    const std::string target = "xbrl/other/" + own("props") + ".xml";
    client.UpdateDocument(target, "<p/>");
    // The value goes in as raw markup: an unescaped "&" makes the body ill-formed, and both refuse it with
    // a 400 page.
    EXPECT_TRUE(errorOf([&] {
                    client.PropertyUpdate(target, "o:reviewer", "Ann & co", "xmlns:o='urn:ostrel:test'");
                }).starts_with("PropertyUpdate | Failed to load response\r\n"));
    errorOf(
        [&] { client.PropertyUpdate(target, "o:reviewer", "Ann &amp; co", "xmlns:o='urn:ostrel:test'"); });
    XmlDocument readBack = client.PropertyFind(
        "<?xml version='1.0'?><propfind xmlns='DAV:' "
        "xmlns:o='urn:ostrel:test'><prop><o:reviewer/></prop></propfind>",
        target);
    readBack.setProperty("SelectionNamespaces", "xmlns:o='urn:ostrel:test'");
    EXPECT_EQ(readBack.selectSingleNode("//o:reviewer").text(), "Ann & co");
}

TEST_P(Servers, LocksGuardWritesUntilUnlocked) {
    const std::string doc = "xbrl/other/" + own("locked") + ".xml";
    client.UpdateDocument(doc, "<v>0</v>");
    client.LockResource(doc);
    // lighttpd's LOCK reply holds two hrefs, the token's and then the lock root's; the first is the token.
    const std::string token = client.opaquetoken();
    EXPECT_TRUE(token.starts_with(lighttpd ? "<urn:uuid:" : "<opaquelocktoken:")) << token;
    EXPECT_EQ(errorOf([&] { client.LockResource(doc); }), "LockResource | Document is already locked");

    WebDAVClient other = test::loggedOnClient(*dav);  // a client that does not hold the token
    const std::string locked = dav->url() + "/" + doc + " | Resource has been locked";
    EXPECT_EQ(errorOf([&] { other.UpdateDocument(doc, "<v>1</v>"); }), locked);
    XmlDocument discovery = other.FindPropertyByName(doc, "lockdiscovery");
    EXPECT_EQ("<" + replies::firstLockToken(discovery).firstChild().text() + ">", token)
        << "anyone can recover the token";

    client.UpdateDocument(doc, "<v>2</v>", token);
    EXPECT_EQ(other.GetDocument(doc).text(), "2");
    client.UnlockResource(doc);
    EXPECT_EQ(errorOf([&] { client.UnlockResource(doc); }), "UnlockResource | Failed to unlock resource");
    other.UpdateDocument(doc, "<v>3</v>");
}

// Two users edit one document: the second store finds the first one's change and is not sent; a new document
// never replaces one that exists. A store under a lock carries the token and the condition together.
TEST_P(Servers, StoresNeverOverwriteAChangeMadeMeanwhile) {
    using Kind = WebDAVClient::StoreExpectation::Kind;
    using Conflict = WebDAVClient::StoreConflict;
    const std::string doc = "xbrl/other/" + own("shared") + ".xml";
    client.UpdateDocument(doc, "<v>0</v>");
    WebDAVClient other = test::loggedOnClient(*dav);
    client.GetDocument(doc);
    const std::string mine = client.FetchedETag(doc);
    other.GetDocument(doc);
    const std::string theirs = other.FetchedETag(doc);
    ASSERT_FALSE(mine.empty());

    const auto stored = client.StoreDocument(doc, "<v>1</v>", "", {Kind::Unchanged, mine});
    EXPECT_EQ(stored.conflict, Conflict::None);
    EXPECT_EQ(other.StoreDocument(doc, "<v>2</v>", "", {Kind::Unchanged, theirs}).conflict, Conflict::Changed);
    EXPECT_EQ(other.StoreDocument(doc, "<v>3</v>", "", {Kind::Absent, ""}).conflict, Conflict::Exists);
    EXPECT_EQ(other.GetDocument(doc).text(), "1");

    client.LockResource(doc);
    const auto locked = client.StoreDocument(doc, "<v>4</v>", client.opaquetoken(), {Kind::Unchanged, stored.etag});
    EXPECT_EQ(locked.conflict, Conflict::None);
    client.UnlockResource(doc);
    EXPECT_EQ(client.StoreDocument(doc, "<v>5</v>", "", {Kind::Unchanged, locked.etag}).conflict, Conflict::None);
    const std::string fresh = "xbrl/other/" + own("fresh") + ".xml";
    EXPECT_EQ(other.StoreDocument(fresh, "<v/>", "", {Kind::Absent, ""}).conflict, Conflict::None);
    EXPECT_EQ(other.GetDocument(doc).text(), "5");
}

TEST_P(Servers, ErrorPagesAreNeverTakenForReplies) {
    WebDAVClient stranger = test::loggedOnClient(*dav);
    stranger.Password("wrong");
    const std::string notDav = " | Failed to load response\r\n";
    // A missing collection, and with Digest a wrong password: both servers answer with an error page.
    for (auto [who, path] : {std::pair{&client, "missing/" + own("x")}, {&stranger, std::string("xbrl")}}) {
        if (who == &stranger && dav->options().auth == "none") continue;
        EXPECT_TRUE(errorOf([&] { who->GetAllPropertyNames(path); }).starts_with("FindProperty" + notDav));
        EXPECT_TRUE(
            errorOf([&] { who->LockResource(path + "/a.xml"); }).starts_with("LockResource" + notDav));
    }
}

INSTANTIATE_TEST_SUITE_P(, Servers,
                         ::testing::Combine(::testing::Values("apache", "lighttpd"),
                                            ::testing::Values("none", "digest")),
                         [](const auto& test) {
                             return std::string(std::get<0>(test.param)) + "_" + std::get<1>(test.param);
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

// A server that cannot have its port is a failed start, even though something answers there: the answer
// must come from the server just started.
TEST(ServerLifetime, APortHeldByAnotherServerFailsTheStart) {
    test::DavServer first({.seed = false});
    const std::string script = test::shellQuote(std::string(OSTREL_SOURCE_DIR) + "/scripts/dav-server");
    std::string folder = (std::filesystem::temp_directory_path() / "ostrel-port-XXXXXX").string();
    ASSERT_TRUE(::mkdtemp(folder.data()));
    std::string error;
    try {
        test::runCommand(script + " start --server lighttpd-stock --dir " + test::shellQuote(folder) +
                         " --port " + std::to_string(first.port()) + " --watch " + std::to_string(::getpid()));
        test::runCommand(script + " stop --dir " + test::shellQuote(folder));
    } catch (const std::runtime_error& failure) {
        error = failure.what();
    }
    std::filesystem::remove_all(folder);
    EXPECT_NE(error.find("did not answer on port " + std::to_string(first.port())), std::string::npos) << error;
}

}  // namespace
}  // namespace ostrel
