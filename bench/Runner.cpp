// ostrel-bench: starts the Apache WebDAV servers, makes the data, runs every workload of the client next to
// its reference (curl, and xmllint for the XML side) in alternating repetitions, and prints one table.
// Every result is checked (node counts, connections, the saved file), so a run that measures a broken client
// fails instead of printing fast numbers. --smoke runs the same code on tiny data, once each.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "Measuring.h"
#include "Options.h"
#include "Process.h"
#include "Servers.h"
#include "Support.h"
#include "Table.h"
#include "Workloads.h"
#include "platform/Error.h"

using namespace ostrel;
using namespace ostrel::bench;
namespace fs = std::filesystem;

namespace {

std::string sourceDir() {
    return OSTREL_SOURCE_DIR;
}

fs::path ownFolder() {
    return fs::read_symlink("/proc/self/exe").parent_path();
}

// Stops the servers, and removes the work folder when asked, if this process ends without doing so itself
// (an interrupt, a test runner's time limit): Apache runs as a daemon and would outlive it. A helper in a
// session of its own waits until this process's end of a pipe closes, which happens however it ends.
void startGuardian(const std::vector<std::string>& serverDirs, const std::string& folderToRemove) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    const pid_t child = ::fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        ::close(pipeFds[1]);
        // Adopted by init, in its own session: out of reach of whatever ends the benchmark.
        if (::fork() != 0) ::_exit(0);
        ::setsid();
        const int null = ::open("/dev/null", O_RDWR);
        for (int fd = 0; fd < 3; ++fd) ::dup2(null, fd);
        char byte = 0;
        while (::read(pipeFds[0], &byte, 1) != 0 && errno == EINTR) {
        }
        for (const std::string& dir : serverDirs) {
            const pid_t stopper = ::fork();
            if (stopper == 0) {
                const std::string script = sourceDir() + "/scripts/dav-server";
                ::execl(script.c_str(), script.c_str(), "stop", "--dir", dir.c_str(),
                        static_cast<char*>(nullptr));
                ::_exit(127);
            }
            if (stopper > 0) ::waitpid(stopper, nullptr, 0);
        }
        std::error_code ignored;
        if (!folderToRemove.empty()) fs::remove_all(folderToRemove, ignored);
        ::_exit(0);
    }
    ::close(pipeFds[0]);
    ::waitpid(child, nullptr, 0);
    // The write end stays open, unused, until this process ends.
}

std::string makeWorkFolder() {
    for (const char* parent : {"/dev/shm", "/tmp"}) {
        if (::access(parent, W_OK | X_OK) != 0) continue;
        std::string pattern = std::string(parent) + "/ostrel-bench-XXXXXX";
        // The server's own user must be able to reach the served folders inside.
        if (::mkdtemp(pattern.data()) && ::chmod(pattern.c_str(), 0755) == 0) return pattern;
    }
    throw std::runtime_error("cannot make a work folder");
}

long primarySize(const std::vector<long>& members) {
    long chosen = members.front();
    for (const long m : members) {
        if (m <= 20000) chosen = m;
    }
    return chosen;
}

int run(const Options& options) {
    Context context;
    context.options = options;
    context.client = (ownFolder() / "ostrel-bench-client").string();
    if (fs::exists(ownFolder() / "ostrel-bench-windows"))
        context.windows = (ownFolder() / "ostrel-bench-windows").string();
    if (fs::exists(ownFolder() / "ostrel-bench-responsive"))
        context.responsive = (ownFolder() / "ostrel-bench-responsive").string();
    if (fs::exists(ownFolder() / "ostrel-bench-editor"))
        context.editor = (ownFolder() / "ostrel-bench-editor").string();
    const std::string work = options.work.empty() ? makeWorkFolder() : fs::absolute(options.work).string();
    const bool removeWork = options.work.empty() && !options.keep;
    context.scratch = work + "/run";
    fs::create_directories(context.scratch);
    startGuardian({work + "/none", work + "/digest"}, removeWork ? work : std::string());
    if (::access("/usr/bin/time", X_OK) != 0)
        throw std::runtime_error("/usr/bin/time is not installed (scripts/install-deps)");
    for (const char* tool : {"curl", "xmllint"}) {
        const Finished found = runProgram({tool, "--version"}, context.scratch);
        if (found.exitCode != 0)
            throw std::runtime_error(std::string(tool) + " is not installed (scripts/install-deps)");
    }

    std::vector<Row> rows;
    Growth growth;
    {
        Servers servers;
        const long primary = primarySize(options.members);
        const Clock::time_point start = Clock::now();
        std::fprintf(stderr, "Starting Apache and making the data in %s ...\n", work.c_str());
        const Server& plain = servers.start("none", work + "/none");
        // With more than one size, an empty collection too: its run is the fixed cost of every run.
        std::vector<long> namesSizes = options.members;
        if (namesSizes.size() >= 2) namesSizes.insert(namesSizes.begin(), 0);
        const Dataset dataset = makeData(plain, options, namesSizes, nullptr);
        const Server* digest = nullptr;
        if (options.digest) {
            digest = &servers.start("digest", work + "/digest");
            // The smallest collection too, for the log's cost.
            std::vector<long> digestSizes = {options.members.front()};
            if (primary != digestSizes.front()) digestSizes.push_back(primary);
            makeData(*digest, options, digestSizes, &plain);
        }
        std::fprintf(stderr, "Ready after %.1f s.\n", secondsBetween(start, Clock::now()));

        std::vector<const Server*> both = {&plain};
        if (digest) both.push_back(digest);
        if (options.workloads.count(1)) {
            for (const Server* server : both) rows.push_back(workloadGets(context, *server, dataset));
        }
        std::vector<std::pair<long, std::size_t>> namesRows;
        if (options.workloads.count(2)) {
            for (const long members : namesSizes) {
                namesRows.emplace_back(members, rows.size());
                rows.push_back(workloadNames(context, plain, members,
                                             members > 20000 ? options.largeReps : options.reps));
                rows.push_back(workloadListing(context, plain, members,
                                               members > 20000 ? options.largeReps : options.reps));
            }
            if (digest) rows.push_back(workloadNames(context, *digest, primary, options.reps));
        }
        if (options.logCost) {
            for (const Server* server : both) {
                for (const char* log : {"closed", "open"}) {
                    if (options.workloads.count(1))
                        rows.push_back(workloadGets(context, *server, dataset, log));
                    if (options.workloads.count(2))
                        // The log records the same two exchanges whatever the collection's size, so its share
                        // is largest for the smallest one.
                        rows.push_back(
                            workloadNames(context, *server, options.members.front(), logPairs(options), log));
                }
            }
        }
        if (options.workloads.count(3)) {
            rows.push_back(workloadSave(context, plain, dataset.multistatusDocument, dataset.multistatusBytes,
                                        "multistatus"));
            rows.push_back(workloadSave(context, plain, dataset.instanceDocument, dataset.instanceBytes,
                                        "XBRL instance"));
            if (digest) {
                rows.push_back(workloadSave(context, *digest, dataset.multistatusDocument,
                                            dataset.multistatusBytes, "multistatus"));
            }
        }
        if (options.workloads.count(4) && !context.windows.empty()) {
            const std::string mb = sizeLabel(dataset.multistatusBytes) + " ";
            WindowRows multistatus =
                workloadWindows(context, plain, primary, options.members.front(), dataset,
                                dataset.multistatusDocument, "multistatus", mb + "multistatus");
            rows.push_back(std::move(multistatus.list));
            rows.push_back(std::move(multistatus.show));
            // The same listing again would add nothing; the viewer's row is the instance's own.
            WindowRows instance = workloadWindows(context, plain, primary, options.members.front(), dataset,
                                                  dataset.instanceDocument, "xbrl", mb + "XBRL instance");
            rows.push_back(std::move(instance.show));
        }
        if (options.workloads.count(4) && !context.windows.empty()) rows.push_back(workloadFind(context));
        if (options.workloads.count(5) && !context.responsive.empty()) {
            for (Row& row : workloadResponsive(context)) rows.push_back(std::move(row));
        }
        if (options.workloads.count(6) && !context.editor.empty()) {
            rows.push_back(workloadEditor(context));
            for (Row& row : workloadTyping(context)) rows.push_back(std::move(row));
        }
        for (const auto& [members, index] : namesRows) {
            if (members == 0) {
                growth.empty = &rows[index];
            } else {
                growth.sizes.emplace_back(members, &rows[index]);
            }
        }
        const std::string machine = versions(context.scratch);
        printTable(rows, options, machine);
        printGrowth(growth);
        if (!options.smoke) printTargets(rows, growth);
    }
    if (removeWork) fs::remove_all(work);

    int failed = 0;
    for (const Row& row : rows) {
        if (!row.failure.empty()) {
            std::fprintf(stderr, "FAILED: %s: %s\n", row.workload.c_str(), row.failure.c_str());
            ++failed;
        }
    }
    return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(parseOptions(argc, argv));
    } catch (const Error& error) {
        std::fprintf(stderr, "ostrel-bench: %s: %s\n", error.source().c_str(), error.description().c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "ostrel-bench: %s\n", error.what());
    }
    return 1;
}
