#include <gtest/gtest.h>

#include "platform/Error.h"
#include "platform/HttpRequest.h"
#include "support/DavServer.h"

namespace ostrel::test {
namespace {

int processesServing(const DavServer& server) {
    // Every server process, master and workers, names the config file in its folder on its command line. The
    // bracket keeps the pattern from matching the shell that runs pgrep.
    const std::string pattern = "[" + server.folder().substr(0, 1) + "]" + server.folder().substr(1) + "/";
    const std::string out = runCommand("pgrep -f -c " + shellQuote(pattern) + " || true");
    return std::stoi(out.empty() ? "0" : out);
}

int statusOf(const std::string& url) {
    HttpRequest request;
    request.setTimeouts({.connect = std::chrono::milliseconds(2000), .stall = std::chrono::seconds(5)});
    request.open("GET", url);
    request.send();
    return request.status();
}

TEST(DavServer, StartsSeedsAndStopsCleanlyCycleAfterCycle) {
    for (const char* kind : {"apache", "lighttpd"}) {
        SCOPED_TRACE(kind);
        DavServer server({.server = kind});
        const std::string document = server.url() + "/xbrl/config/Document_1.xml";
        EXPECT_EQ(statusOf(document), 200);
        HttpRequest put;
        put.open("PUT", server.url() + "/xbrl/kept.xml");
        put.send("<kept/>");
        EXPECT_EQ(put.status(), 201);
        for (int cycle = 0; cycle < 3; ++cycle) {
            server.stop();
            EXPECT_EQ(processesServing(server), 0) << "cycle " << cycle;
            EXPECT_THROW(statusOf(document), ostrel::Error);
            server.start();
            EXPECT_GT(processesServing(server), 0);
            EXPECT_EQ(statusOf(server.url() + "/xbrl/kept.xml"), 200) << "the stored tree survives a restart";
        }
    }
}

}  // namespace
}  // namespace ostrel::test
