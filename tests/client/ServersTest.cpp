// The servers the tests start go with the process that started them, and a start counts only when the server
// it started answers. What the servers do with each command is the table in ProfilesTest.
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
