// A long run of mixed operations against a real Apache server: no unexpected error, and resident memory
// that stays flat once warmed up. Not part of the test suite; scripts/soak runs it.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>

#include "client/WebDAVClient.h"
#include "support/DavServer.h"

namespace {

long residentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace

int main(int argc, char* argv[]) {
    const int operations = argc > 1 ? std::atoi(argv[1]) : 5000;
    const int warmUp = operations / 10;
    ostrel::test::DavServer dav({.auth = "digest"});
    ostrel::WebDAVClient client;
    client.WebDAVURI(dav.url());
    client.UserId("demo");
    client.Password("demo");

    int done = 0;
    int unexpected = 0;
    long warmResident = 0;
    long peakResident = 0;
    for (int round = 0; done < operations; ++round) {
        const std::string doc = "xbrl/other/soak-" + std::to_string(round % 17) + ".xml";
        const std::string copy = "xbrl/other/soak-copy-" + std::to_string(round % 17) + ".xml";
        const std::string text =
            "<soak round='" + std::to_string(round) + "'>" + std::string(round % 2000, 's') + "</soak>";
        // Seven operations a round: put, get, propfind, lock, put with the token, unlock, copy then delete.
        const std::function<void()> steps[] = {
            [&] { client.UpdateDocument(doc, text); },
            [&] {
                const ostrel::XmlDocument stored = client.GetDocument(doc);
                if (stored.documentElement().attributes().item(0).text() != std::to_string(round)) {
                    throw std::runtime_error("read back another round's document");
                }
            },
            [&] { client.FindPropertyByName("xbrl", "displayname"); },
            [&] { client.LockResource(doc); },
            [&] { client.UpdateDocument(doc, text, client.opaquetoken()); },
            [&] { client.UnlockResource(doc); },
            [&] {
                client.CopyResource(doc, copy);
                client.DeleteDocument(copy);
            },
        };
        for (const auto& step : steps) {
            try {
                step();
            } catch (const std::exception& error) {
                ++unexpected;
                std::fprintf(stderr, "operation %d failed: %s\n", done, error.what());
            }
            ++done;
            if (done == warmUp) warmResident = residentKiB();
            peakResident = std::max(peakResident, residentKiB());
            if (done % 500 == 0) std::printf("%5d operations, resident %ld KiB\n", done, residentKiB());
        }
    }
    const long growth = residentKiB() - warmResident;
    std::printf(
        "operations %d, unexpected errors %d, connections %ld, resident after warm-up %ld KiB, at end "
        "%ld KiB (growth %ld KiB), peak %ld KiB\n",
        done, unexpected, client.ConnectionsOpened(), warmResident, residentKiB(), growth, peakResident);
    return unexpected == 0 && growth < 5 * 1024 ? 0 : 1;
}
