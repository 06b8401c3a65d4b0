// ostrel-bench: starts the Apache WebDAV servers, makes the data, runs every workload of the client next to
// its reference (curl, and xmllint for the XML side) in alternating repetitions, and prints one table.
// Every result is checked (node counts, connections, the saved file), so a run that measures a broken client
// fails instead of printing fast numbers. --smoke runs the same code on tiny data, once each.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <list>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "Data.h"
#include "Process.h"
#include "Support.h"
#include "platform/Error.h"
#include "platform/HttpRequest.h"
#include "tests/support/DavServer.h"

using namespace ostrel;
using namespace ostrel::bench;
namespace fs = std::filesystem;

namespace {

const std::string kPropfindBody =
    "<?xml version='1.0'?><propfind xmlns='DAV:'><prop><displayname/></prop></propfind>";
const std::string kListingBody =
    "<?xml version='1.0'?><propfind xmlns='DAV:'><prop><displayname/><resourcetype/></prop></propfind>";
const std::string kUser = "demo";
const std::string kPassword = "demo";

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void require(bool condition, const std::string& what) {
    if (!condition) throw Failure(what);
}

// ---------------------------------------------------------------------------------------------------------
// Options

struct Options {
    long reps = 9;
    long largeReps = 5;  // for collections of more than 20,000 members, which take seconds a run
    std::vector<long> members = {2000, 20000, 100000};
    long gets = 2000;
    long documentKib = 20 * 1024;
    long windowsReps = 5;
    bool warmUp = true;
    bool digest = true;
    bool smoke = false;
    bool keep = false;
    bool logCost = true;  // W1 and W2 with a protocol log against the same runs without
    long logPairs = 0;    // repetitions of each log-cost row; 0: ten times reps
    std::string work;
    std::set<int> workloads = {1, 2, 3, 4, 5, 6};
};

std::vector<long> numberList(const std::string& text) {
    std::vector<long> numbers;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) numbers.push_back(std::stol(item));
    return numbers;
}

const char* kUsage =
    "usage: ostrel-bench [--reps N] [--members 2000,20000,100000] [--gets N] [--document-mb N]\n"
    "                    [--windows-reps N] [--workloads 1,2,3,4,5,6] [--no-digest] [--no-log-cost]\n"
    "                    [--log-pairs N]\n"
    "                    [--work DIR [--keep]] [--quick] [--smoke]\n"
    "  --quick   2,000 and 20,000 members, 5 repetitions (about four minutes once the data is made)\n"
    "  --smoke   tiny data, one repetition each, every result checked (the test suite runs this)\n"
    "  --work    keep the servers' data in DIR and use it again next time (made afresh without it)\n";

Options parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw std::runtime_error(name + " needs a value");
            return argv[++i];
        };
        if (name == "--reps") {
            options.reps = std::stol(value());
            options.largeReps = std::min(options.largeReps, options.reps);
        } else if (name == "--members") {
            options.members = numberList(value());
        } else if (name == "--gets") {
            options.gets = std::stol(value());
        } else if (name == "--document-mb") {
            options.documentKib = std::lround(std::stod(value()) * 1024);
        } else if (name == "--windows-reps") {
            options.windowsReps = std::stol(value());
        } else if (name == "--workloads") {
            options.workloads.clear();
            for (long w : numberList(value())) options.workloads.insert(static_cast<int>(w));
        } else if (name == "--no-log-cost") {
            options.logCost = false;
        } else if (name == "--log-pairs") {
            options.logPairs = std::stol(value());
        } else if (name == "--no-digest") {
            options.digest = false;
        } else if (name == "--work") {
            options.work = value();
        } else if (name == "--keep") {
            options.keep = true;
        } else if (name == "--quick") {
            options.members = {2000, 20000};
            options.reps = options.largeReps = 5;
            options.windowsReps = 3;
        } else if (name == "--smoke") {
            options.smoke = true;
            options.reps = options.largeReps = 1;
            options.members = {20, 60};
            options.gets = 20;
            options.documentKib = 256;
            options.windowsReps = 1;
            options.warmUp = false;
        } else {
            throw std::runtime_error(std::string(kUsage));
        }
    }
    if (options.reps < 1 || options.gets < 1 || options.documentKib < 1 || options.members.empty())
        throw std::runtime_error(std::string(kUsage));
    std::sort(options.members.begin(), options.members.end());
    return options;
}

// ---------------------------------------------------------------------------------------------------------
// Servers

std::string sourceDir() {
    return OSTREL_SOURCE_DIR;
}

fs::path ownFolder() {
    return fs::read_symlink("/proc/self/exe").parent_path();
}

struct Server {
    std::string auth;
    std::string dir;
    std::string url;  // http://127.0.0.1:PORT/ostrelwebdavserver
    int port = 0;

    std::string user() const { return auth == "none" ? "" : kUser; }
    std::string password() const { return auth == "none" ? "" : kPassword; }
    std::string dav() const { return dir + "/dav"; }
};

// Starts the servers and stops every one it started when it goes, whatever happened in between. It owns
// them, so they cannot go before it does.
class Servers {
public:
    const Server& start(const std::string& auth, const std::string& dir) {
        fs::create_directories(dir);
        fs::permissions(dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
        const test::DavServer& dav = running_.emplace_back(test::DavServer::Options{
            .auth = auth, .user = kUser, .password = kPassword, .seed = false, .folder = dir});
        return servers_.emplace_back(Server{auth, dir, dav.url(), dav.port()});
    }

private:
    // Lists keep their elements in place, so the references handed out stay valid.
    std::list<test::DavServer> running_;
    std::list<Server> servers_;
};

// ---------------------------------------------------------------------------------------------------------
// Data

struct Owner {
    bool change = false;
    uid_t uid = 0;
    gid_t gid = 0;
};

// Apache runs as www-data when started by root, and must own what it serves to store properties beside it.
Owner serverOwner() {
    Owner owner;
    if (::geteuid() != 0) return owner;
    if (const passwd* entry = ::getpwnam("www-data")) owner = {true, entry->pw_uid, entry->pw_gid};
    return owner;
}

void giveToServer(const std::string& path, const Owner& owner) {
    if (owner.change && ::lchown(path.c_str(), owner.uid, owner.gid) != 0)
        throw std::runtime_error("cannot chown " + path + ": " + std::strerror(errno));
}

void makeServedFolder(const std::string& path, const Owner& owner) {
    fs::create_directories(path);
    giveToServer(path, owner);
}

void writeServedFile(const std::string& path, const std::string& content, const Owner& owner) {
    writeText(path, content);
    giveToServer(path, owner);
}

std::size_t occurrences(std::string_view text, std::string_view part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string_view::npos;
         at = text.find(part, at + part.size()))
        ++count;
    return count;
}

std::string proppatchBody(const std::string& name) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><D:propertyupdate xmlns:D=\"DAV:\"><D:set><D:prop>"
           "<D:displayname>" +
           name + "</D:displayname></D:prop></D:set></D:propertyupdate>";
}

void setDisplayName(HttpRequest& request, const Server& server, const std::string& resource,
                    const std::string& name) {
    const std::string body = proppatchBody(name);
    request.open("PROPPATCH", server.url + "/" + resource, false, server.user(), server.password());
    request.setRequestHeader("Content-Type", "text/xml");
    request.send(body);
    // A 207 carries a status per property: the one property must have been set.
    const std::string_view reply = request.responseBody();
    const std::size_t statuses = occurrences(reply, "HTTP/1.1 ");
    require(request.status() == 207 && statuses == 1 && occurrences(reply, "HTTP/1.1 200") == 1,
            "PROPPATCH " + resource + " answered " + std::to_string(request.status()) + ": " +
                std::string(reply));
}

// A collection of members documents, each with its file name as display name (set by PROPPATCH, so that the
// server keeps it in its own property store), the collection named "/docsN" as the seeded tree names
// collections below the top. Two connections share the PROPPATCH work.
void makeCollection(const Server& server, const std::string& name, long members, const Owner& owner) {
    const std::string folder = server.dav() + "/bench/" + name;
    makeServedFolder(folder, owner);
    for (long i = 0; i < members; ++i)
        writeServedFile(folder + "/" + data::memberName(i), data::memberDocument(i), owner);
    HttpRequest request;
    setDisplayName(request, server, "bench/" + name, "/" + name);
    constexpr long kConnections = 2;
    std::vector<std::string> failures(kConnections);
    std::vector<std::thread> workers;
    for (long first = 0; first < kConnections; ++first) {
        workers.emplace_back([&, first] {
            try {
                HttpRequest own;
                for (long i = first; i < members; i += kConnections) {
                    setDisplayName(own, server, "bench/" + name + "/" + data::memberName(i),
                                   data::memberName(i));
                }
            } catch (const Error& error) {
                failures[static_cast<std::size_t>(first)] = error.description();
            } catch (const std::exception& error) {
                failures[static_cast<std::size_t>(first)] = error.what();
            }
        });
    }
    for (std::thread& worker : workers) worker.join();
    for (const std::string& failure : failures) require(failure.empty(), failure);
}

std::string collectionName(long members) {
    return "docs" + std::to_string(members);
}

struct Dataset {
    std::string smallDocument = "bench/small/doc.xml";
    std::string multistatusDocument = "bench/big/multistatus.xml";
    std::string instanceDocument = "bench/big/instance.xml";
    std::size_t multistatusBytes = 0;
    std::size_t instanceBytes = 0;
    std::size_t smallBytes = 0;
};

bool done(const Server& server, const std::string& step) {
    return fs::exists(server.dir + "/generated." + step);
}
void markDone(const Server& server, const std::string& step) {
    writeText(server.dir + "/generated." + step, "");
}

// Writes the documents and collections into the served folder of server, or copies them from the source
// server's. What an earlier run left in a work folder given with --work is used as it is.
Dataset makeData(const Server& server, const Options& options, const std::vector<long>& members,
                 const Server* source) {
    const Owner owner = serverOwner();
    Dataset dataset;
    const std::string bench = server.dav() + "/bench";
    makeServedFolder(bench, owner);
    const std::string bigStep = "big-" + std::to_string(options.documentKib);
    auto copyFromSource = [&](const std::string& relative) {
        fs::remove_all(bench + "/" + relative);
        const Finished copied =
            runProgram({"cp", "-a", source->dav() + "/bench/" + relative, bench + "/"}, server.dir + "/tmp");
        require(copied.exitCode == 0, "cp failed: " + copied.err);
    };
    if (!done(server, "small")) {
        if (source) {
            copyFromSource("small");
        } else {
            makeServedFolder(bench + "/small", owner);
            writeServedFile(server.dav() + "/" + dataset.smallDocument, data::instance(2048), owner);
        }
        markDone(server, "small");
    }
    if (!done(server, bigStep)) {
        if (source) {
            copyFromSource("big");
        } else {
            makeServedFolder(bench + "/big", owner);
            const std::size_t bytes = static_cast<std::size_t>(options.documentKib) * 1024;
            writeServedFile(server.dav() + "/" + dataset.multistatusDocument, data::multistatus(bytes),
                            owner);
            writeServedFile(server.dav() + "/" + dataset.instanceDocument, data::instance(bytes), owner);
        }
        markDone(server, bigStep);
    }
    for (const long count : members) {
        const std::string name = collectionName(count);
        if (done(server, name)) continue;
        const Clock::time_point start = Clock::now();
        if (source) {
            copyFromSource(name);
        } else {
            fs::remove_all(bench + "/" + name);
            makeCollection(server, name, count, owner);
        }
        markDone(server, name);
        std::fprintf(stderr, "  %s on the %s server: %.1f s\n", name.c_str(), server.auth.c_str(),
                     secondsBetween(start, Clock::now()));
    }
    dataset.smallBytes = fs::file_size(server.dav() + "/" + dataset.smallDocument);
    dataset.multistatusBytes = fs::file_size(server.dav() + "/" + dataset.multistatusDocument);
    dataset.instanceBytes = fs::file_size(server.dav() + "/" + dataset.instanceDocument);
    return dataset;
}

// ---------------------------------------------------------------------------------------------------------
// Measuring

struct Sample {
    double seconds = 0;
    long peakKib = 0;
    double cpuSeconds = 0;
    std::map<std::string, std::string> values;
};

struct Series {
    std::vector<double> seconds;
    std::vector<double> cpuSeconds;
    long peakKib = 0;
    std::map<std::string, std::vector<std::string>> values;

    void add(const Sample& sample) {
        seconds.push_back(sample.seconds);
        cpuSeconds.push_back(sample.cpuSeconds);
        peakKib = std::max(peakKib, sample.peakKib);
        for (const auto& [key, value] : sample.values) values[key].push_back(value);
    }
};

double median(std::vector<double> values) {
    if (values.empty()) return NAN;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double minimum(const std::vector<double>& values) {
    return values.empty() ? NAN : *std::min_element(values.begin(), values.end());
}
double maximum(const std::vector<double>& values) {
    return values.empty() ? NAN : *std::max_element(values.begin(), values.end());
}

std::vector<double> numbers(const std::vector<std::string>& texts) {
    std::vector<double> out;
    for (const std::string& text : texts) out.push_back(std::stod(text));
    return out;
}

struct Row {
    std::string workload;
    Series ours;
    Series reference;
    bool hasReference = true;
    std::string notes;
    std::string failure;
    std::size_t documentBytes = 0;  // workload 3: the size of the document, for its memory target
    // For a row without a reference: the ours column shows these instead of process times.
    std::vector<double> ownTimes;
};

// Runs ours and the reference reps times each, alternating which goes first, after one unmeasured run of
// each (it brings the server's and the system's caches to the same state for both).
Row compare(const std::string& workload, long reps, bool warmUp, const std::function<Sample()>& ours,
            const std::function<Sample()>& reference) {
    Row row;
    row.workload = workload;
    std::fprintf(stderr, "%s ...\n", workload.c_str());
    try {
        if (warmUp) {
            ours();
            reference();
        }
        for (long rep = 0; rep < reps; ++rep) {
            if (rep % 2 == 0) {
                row.ours.add(ours());
                row.reference.add(reference());
            } else {
                row.reference.add(reference());
                row.ours.add(ours());
            }
        }
    } catch (const Failure& failure) {
        row.failure = failure.what();
    } catch (const Error& error) {
        row.failure = error.description();
    } catch (const std::exception& error) {
        row.failure = error.what();
    }
    return row;
}

// ---------------------------------------------------------------------------------------------------------
// The workloads

struct Context {
    Options options;
    std::string client;      // ostrel-bench-client
    std::string windows;     // ostrel-bench-windows; empty when the windows are not built
    std::string responsive;  // ostrel-bench-responsive; likewise
    std::string editor;      // ostrel-bench-editor; likewise
    std::string scratch;
};

std::vector<std::string> clientArgs(const Context& context, const Server& server, const std::string& mode) {
    std::vector<std::string> args = {context.client, mode, "--url", server.url};
    if (server.auth != "none") args.insert(args.end(), {"--user", kUser, "--password", kPassword});
    return args;
}

std::vector<std::string> curlArgs(const Server& server) {
    std::vector<std::string> args = {"curl", "-sS", "--noproxy", "*"};
    // The client answers whatever challenge the server makes; so does curl with --anyauth.
    if (server.auth != "none") args.insert(args.end(), {"--anyauth", "-u", kUser + ":" + kPassword});
    return args;
}

Sample fromProcess(const Finished& finished, const std::string& what) {
    require(finished.exitCode == 0, what + " failed (exit " + std::to_string(finished.exitCode) +
                                        "): " + finished.err.substr(0, 2000));
    Sample sample{finished.seconds, finished.peakKib, finished.cpuSeconds, {}};
    for (const auto& [key, values] : parseReport(finished.out)) sample.values[key] = values.back();
    return sample;
}

long asLong(const Sample& sample, const std::string& key) {
    const auto found = sample.values.find(key);
    require(found != sample.values.end(), "no " + key + " reported");
    return std::stol(found->second);
}

std::string countsOf(const std::vector<std::string>& values) {
    std::set<std::string> distinct(values.begin(), values.end());
    std::string text;
    for (const std::string& value : distinct) text += (text.empty() ? "" : "/") + value;
    return text;
}

std::string sizeLabel(std::size_t bytes) {
    char text[32];
    if (bytes >= (1u << 20)) {
        std::snprintf(text, sizeof text, "%.0f MB", static_cast<double>(bytes) / (1 << 20));
    } else {
        std::snprintf(text, sizeof text, "%.0f KB", static_cast<double>(bytes) / 1024);
    }
    return text;
}

std::string authLabel(const Server& server) {
    return server.auth == "none" ? "no authentication" : server.auth;
}

// The protocol log's cost is a few per cent, less than the spread between two runs of the same process on a
// machine whose server shares the client's two cores (a run's ratio varies by about 8%): ten times the
// repetitions bring the median's own uncertainty to about 1%.
constexpr long kLogCostRepsFactor = 10;

long logPairs(const Options& options) {
    return options.logPairs > 0 ? options.logPairs : kLogCostRepsFactor * options.reps;
}

// The 95% interval of the median of the repetitions' own ratios, whatever their distribution: the order
// statistics n/2 ∓ 0.98·√n of the sorted ratios.
std::pair<double, double> ratioInterval(const Row& row) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < std::min(row.ours.seconds.size(), row.reference.seconds.size()); ++i)
        ratios.push_back(row.ours.seconds[i] / row.reference.seconds[i]);
    if (ratios.empty()) return {NAN, NAN};
    std::sort(ratios.begin(), ratios.end());
    const double n = static_cast<double>(ratios.size());
    const auto low = static_cast<std::size_t>(std::max(0.0, std::floor(n / 2 - 0.98 * std::sqrt(n))));
    return {ratios[low], ratios[ratios.size() - 1 - low]};
}

// The protocol log's cost on a workload: the client with a log attached, as the main window keeps it with
// its log window never opened ("closed") or opened ("open"), against the same client without a log.
Row logCost(const Context& context, const std::string& workload, const std::string& log, long reps,
            const std::function<Sample(const std::string& log)>& client) {
    Row row = compare(
        "Log cost (" + std::string(log == "open" ? "window open" : "window never opened") + ") of " +
            workload,
        reps, context.options.warmUp, [&] { return client(log); }, [&] { return client(""); });
    const auto [low, high] = ratioInterval(row);
    char interval[96];
    std::snprintf(interval, sizeof interval, "; 95%% interval of the ratio %.3f–%.3f (%zu pairs)", low, high,
                  row.ours.seconds.size());
    row.notes = "reference: the same client without a log" + std::string(interval);
    return row;
}

// Workload 1: the same small document, fetched gets times by one client (and by one curl process); with
// a log ("closed" or "open"), its cost: the client with that protocol log and without.
Row workloadGets(const Context& context, const Server& server, const Dataset& dataset,
                 const std::string& withLog = "") {
    const long gets = context.options.gets;
    const std::string config = context.scratch + "/gets-" + server.auth + ".curlrc";
    {
        // One group of options per transfer: "next" starts a new one, and every group needs them all.
        std::string text;
        for (long i = 0; i < gets; ++i) {
            if (i) text += "next\n";
            text += "url = \"" + server.url + "/" + dataset.smallDocument + "\"\n";
            text +=
                "noproxy = \"*\"\noutput = \"/dev/null\"\nwrite-out = \"%{http_code} %{num_connects}\\n\"\n";
            if (server.auth != "none") text += "anyauth\nuser = \"" + kUser + ":" + kPassword + "\"\n";
        }
        writeText(config, text);
    }
    const std::string workload = "W1 " + std::to_string(gets) + " × GetDocument of a " +
                                 sizeLabel(dataset.smallBytes) + " document (" + authLabel(server) + ")";
    auto client = [&](const std::string& log) {
        std::vector<std::string> args = clientArgs(context, server, "get");
        args.insert(args.end(),
                    {"--resource", dataset.smallDocument, "--count", std::to_string(gets), "--root", "xbrl"});
        if (!log.empty()) args.insert(args.end(), {"--log", log});
        Sample sample = fromProcess(measureProgram(args, context.scratch), "the client");
        require(asLong(sample, "documents") == gets, "the client read " + sample.values["documents"] +
                                                         " of " + std::to_string(gets) + " documents");
        // The servers keep a connection for any number of requests, as a desktop client's server should.
        require(asLong(sample, "connections") == 1,
                "the client opened " + sample.values["connections"] + " connections, expected 1");
        return sample;
    };
    if (!withLog.empty()) return logCost(context, workload, withLog, logPairs(context.options), client);
    auto ours = [&] { return client(""); };
    auto reference = [&] {
        const Finished finished = measureProgram({"curl", "-sS", "-K", config}, context.scratch);
        Sample sample = fromProcess(finished, "curl");
        long transfers = 0;
        long connections = 0;
        std::istringstream lines(finished.out);
        std::string status;
        long opened = 0;
        while (lines >> status >> opened) {
            require(status == "200", "curl got status " + status);
            ++transfers;
            connections += opened;
        }
        require(transfers == gets, "curl made " + std::to_string(transfers) + " transfers");
        sample.values["connections"] = std::to_string(connections);
        return sample;
    };
    Row row = compare(workload, context.options.reps, context.options.warmUp, ours, reference);
    row.notes = "connections: ours " + countsOf(row.ours.values["connections"]) + ", curl " +
                countsOf(row.reference.values["connections"]);
    return row;
}

// Workload 2: the display names of a collection of members documents, depth infinity; with a log, its cost
// as for workload 1.
Row workloadNames(const Context& context, const Server& server, long members, long reps,
                  const std::string& withLog = "") {
    const std::string collection = "bench/" + collectionName(members);
    const long expected = members + 1;  // the collection answers for itself too
    const std::string body = context.scratch + "/propfind.xml";
    const std::string reply = context.scratch + "/reply.xml";
    writeText(body, kPropfindBody);
    const std::string workload = "W2 FindPropertyByName + //d:displayname, " + std::to_string(members) +
                                 " documents (" + authLabel(server) + ")";
    auto client = [&](const std::string& log) {
        std::vector<std::string> args = clientArgs(context, server, "names");
        args.insert(args.end(), {"--collection", collection});
        if (!log.empty()) args.insert(args.end(), {"--log", log});
        Sample sample = fromProcess(measureProgram(args, context.scratch), "the client");
        require(asLong(sample, "names") == expected && asLong(sample, "documents") == members,
                "the client selected " + sample.values["names"] + " display names (" +
                    sample.values["documents"] + " documents), expected " + std::to_string(expected));
        return sample;
    };
    if (!withLog.empty()) return logCost(context, workload, withLog, reps, client);
    auto ours = [&] { return client(""); };
    auto reference = [&] {
        std::vector<std::string> fetch = curlArgs(server);
        fetch.insert(fetch.end(),
                     {"-X", "PROPFIND", "-H", "Content-Type: text/xml", "--data-binary", "@" + body, "-o",
                      reply, "-w", "%{http_code}", server.url + "/" + collection});
        const Finished fetched = measureProgram(fetch, context.scratch);
        require(fetched.exitCode == 0 && fetched.out == "207", "curl PROPFIND: " + fetched.out + fetched.err);
        const Finished counted =
            measureProgram({"xmllint", "--xpath",
                            "count(//*[local-name()='displayname' and namespace-uri()='DAV:'])", reply},
                           context.scratch);
        require(counted.exitCode == 0, "xmllint failed: " + counted.err);
        std::string count = counted.out;
        while (!count.empty() && std::isspace(static_cast<unsigned char>(count.back()))) count.pop_back();
        require(count == std::to_string(expected),
                "xmllint counted " + count + ", expected " + std::to_string(expected));
        Sample sample{fetched.seconds + counted.seconds,
                      std::max(fetched.peakKib, counted.peakKib),
                      fetched.cpuSeconds + counted.cpuSeconds,
                      {}};
        sample.values["reply_bytes"] = std::to_string(fs::file_size(reply));
        return sample;
    };
    Row row = compare(workload, reps, context.options.warmUp, ours, reference);
    if (!row.reference.values["reply_bytes"].empty()) {
        const double kib = std::stod(row.reference.values["reply_bytes"].front()) / 1024;
        char text[96];
        std::snprintf(text, sizeof text, "%ld display name%s; reply %.*f KiB", expected,
                      expected == 1 ? "" : "s", kib < 10 ? 1 : 0, kib);
        row.notes = text;
    }
    return row;
}

// Workload 2 as "Get resources" asks now: one level (Depth 1), display name and resource type, the
// collection's own entry left out; beside the depth-infinity row on the same collection.
Row workloadListing(const Context& context, const Server& server, long members, long reps) {
    const std::string collection = "bench/" + collectionName(members);
    const std::string body = context.scratch + "/listing.xml";
    const std::string reply = context.scratch + "/listing-reply.xml";
    writeText(body, kListingBody);
    auto ours = [&] {
        std::vector<std::string> args = clientArgs(context, server, "list");
        args.insert(args.end(), {"--collection", collection});
        Sample sample = fromProcess(measureProgram(args, context.scratch), "the client");
        require(asLong(sample, "members") == members && asLong(sample, "documents") == members,
                "the client listed " + sample.values["members"] + " members, expected " +
                    std::to_string(members));
        return sample;
    };
    auto reference = [&] {
        std::vector<std::string> fetch = curlArgs(server);
        fetch.insert(fetch.end(),
                     {"-X", "PROPFIND", "-H", "Content-Type: text/xml", "-H", "Depth: 1", "--data-binary",
                      "@" + body, "-o", reply, "-w", "%{http_code}", server.url + "/" + collection});
        const Finished fetched = measureProgram(fetch, context.scratch);
        require(fetched.exitCode == 0 && fetched.out == "207", "curl PROPFIND: " + fetched.out + fetched.err);
        const Finished counted = measureProgram(
            {"xmllint", "--xpath", "count(//*[local-name()='response' and namespace-uri()='DAV:'])", reply},
            context.scratch);
        require(counted.exitCode == 0, "xmllint failed: " + counted.err);
        return Sample{fetched.seconds + counted.seconds,
                      std::max(fetched.peakKib, counted.peakKib),
                      fetched.cpuSeconds + counted.cpuSeconds,
                      {}};
    };
    return compare("W2 Get resources' listing (Depth 1: display name, resource type), " +
                       std::to_string(members) + " documents (" + authLabel(server) + ")",
                   reps, context.options.warmUp, ours, reference);
}

bool sameContent(const std::string& a, const std::string& b) {
    return fs::file_size(a) == fs::file_size(b) && readText(a) == readText(b);
}

// Workload 3: a large document fetched and saved, formatted, as the result file.
Row workloadSave(const Context& context, const Server& server, const std::string& resource, std::size_t bytes,
                 const std::string& kind) {
    const std::string ourResult = context.scratch + "/ours-result.xml";
    const std::string fetchedFile = context.scratch + "/fetched.xml";
    const std::string referenceResult = context.scratch + "/reference-result.xml";
    auto ours = [&] {
        std::vector<std::string> args = clientArgs(context, server, "save");
        args.insert(args.end(), {"--resource", resource, "--out", ourResult});
        return fromProcess(measureProgram(args, context.scratch), "the client");
    };
    auto reference = [&] {
        std::vector<std::string> fetch = curlArgs(server);
        fetch.insert(fetch.end(), {"-o", fetchedFile, "-w", "%{http_code}", server.url + "/" + resource});
        const Finished fetched = measureProgram(fetch, context.scratch);
        require(fetched.exitCode == 0 && fetched.out == "200", "curl GET: " + fetched.out + fetched.err);
        const Finished formatted = measureProgram(
            {"xmllint", "--format", "--encode", "UTF-8", fetchedFile, "--output", referenceResult},
            context.scratch);
        require(formatted.exitCode == 0, "xmllint --format failed: " + formatted.err);
        return Sample{fetched.seconds + formatted.seconds,
                      std::max(fetched.peakKib, formatted.peakKib),
                      fetched.cpuSeconds + formatted.cpuSeconds,
                      {}};
    };
    Row row =
        compare("W3 GetDocument + save, " + sizeLabel(bytes) + " " + kind + " (" + authLabel(server) + ")",
                context.options.reps, context.options.warmUp, ours, reference);
    row.documentBytes = bytes;
    if (row.failure.empty() && !sameContent(ourResult, referenceResult))
        row.failure = "the saved result differs from what xmllint --format writes";
    if (row.failure.empty()) {
        char text[160];
        std::snprintf(text, sizeof text, "peak ours %.1f × the document, curl + xmllint %.1f ×",
                      static_cast<double>(row.ours.peakKib) * 1024 / static_cast<double>(bytes),
                      static_cast<double>(row.reference.peakKib) * 1024 / static_cast<double>(bytes));
        row.notes = text;
    }
    fs::remove(fetchedFile);
    fs::remove(ourResult);
    fs::remove(referenceResult);
    return row;
}

// One run of a window benchmark program, offscreen: its peak memory and the series it reported.
struct WindowRun {
    long peakKib = 0;
    std::map<std::string, std::vector<std::string>> values;

    WindowRun(const std::vector<std::string>& args, const Context& context, const std::string& what)
        : what_(what) {
        const Finished finished = measureProgram(args, context.scratch, {"QT_QPA_PLATFORM=offscreen"});
        require(finished.exitCode == 0, "the " + what + " benchmark failed: " + finished.err.substr(0, 2000));
        peakKib = finished.peakKib;
        values = parseReport(finished.out);
    }

    std::vector<double> series(const std::string& key) const {
        const auto found = values.find(key);
        require(found != values.end(), "the " + what_ + " benchmark reported no " + key);
        return numbers(found->second);
    }

private:
    std::string what_;
};

// Workload 4: the main window offscreen; one process, several rounds of "Get resources" then "Get document".
std::vector<Row> workloadWindows(const Context& context, const Server& server, long members, long warmMembers,
                                 const Dataset& dataset, const std::string& document, const std::string& root,
                                 const std::string& kind) {
    const std::string path = server.url.substr(server.url.find('/', std::string("http://").size()));
    std::vector<std::string> args = {context.windows,
                                     "--port",
                                     std::to_string(server.port),
                                     "--path",
                                     path,
                                     "--collection",
                                     "bench/" + collectionName(members),
                                     "--expect",
                                     std::to_string(members),
                                     "--document",
                                     document,
                                     "--root",
                                     root,
                                     "--warm-collection",
                                     "bench/" + collectionName(warmMembers),
                                     "--warm-document",
                                     dataset.smallDocument,
                                     "--result",
                                     context.scratch + "/result.xml",
                                     "--reps",
                                     std::to_string(context.options.windowsReps)};
    std::fprintf(stderr, "W4 windows, %ld documents and the %s ...\n", members, kind.c_str());
    Row list;
    Row show;
    list.hasReference = show.hasReference = false;
    list.workload =
        "W4 Get resources, " + std::to_string(members) + " documents: last reply byte → list painted";
    show.workload = "W4 Get document, " + kind + ": ShowResult called → viewer painted";
    try {
        const WindowRun run(args, context, "windows");
        auto series = [&](const std::string& key) { return run.series(key); };
        list.ownTimes = series("list_reply_to_painted");
        show.ownTimes = series("show_call_to_painted");
        list.ours.peakKib = show.ours.peakKib = run.peakKib;
        char text[200];
        std::snprintf(text, sizeof text, "click → painted %.0f ms; click → filled %.0f ms",
                      median(series("list_click_to_painted")) * 1000,
                      median(series("list_click_to_filled")) * 1000);
        list.notes = text;
        std::snprintf(
            text, sizeof text,
            "last reply byte → painted %.0f ms (slowest %.0f ms); click → painted %.0f ms; %.0f rows made",
            median(series("show_reply_to_painted")) * 1000, maximum(series("show_reply_to_painted")) * 1000,
            median(series("show_click_to_painted")) * 1000, median(series("show_rows_made")));
        show.notes = text;
    } catch (const std::exception& error) {
        list.failure = show.failure = error.what();
    }
    return {list, show};
}

// Workload 4, the viewer's Find: an XBRL instance whose only match is its last element, so the whole
// document is searched and the rows on the way to the match are made.
Row workloadFind(const Context& context) {
    const std::string megabytes = context.options.smoke ? "1" : "20";
    std::fprintf(stderr, "W4 viewer Find, %s MB ...\n", megabytes.c_str());
    Row row;
    row.hasReference = false;
    row.workload = "W4 viewer Find, " + megabytes + " MB XBRL instance: first hit shown";
    try {
        const WindowRun run({context.windows, "find", "--mb", megabytes, "--reps",
                             context.options.smoke ? "1" : "5", "--result", context.scratch + "/find.xml"},
                            context, "find");
        row.ownTimes = run.series("find_first_hit");
        row.ours.peakKib = run.peakKib;
    } catch (const std::exception& error) {
        row.failure = error.what();
    }
    return row;
}

// Workload 5: the main window while a slow loopback server sends a large document; its own process.
std::vector<Row> workloadResponsive(const Context& context) {
    const bool smoke = context.options.smoke;
    const std::string megabytes = smoke ? "1" : "20";
    const std::string cancels = smoke ? "2" : "20";
    // The smoke run's small document must still take long enough to be cancelled half a second in.
    const std::string rate = smoke ? "1" : "5";
    std::fprintf(stderr, "W5 windows, %s MB at %s MB/s ...\n", megabytes.c_str(), rate.c_str());
    Row stall;
    Row cancel;
    stall.hasReference = cancel.hasReference = false;
    stall.workload = "W5 Get document, " + megabytes + " MB at " + rate + " MB/s: longest event-loop stall";
    cancel.workload = "W5 Cancel → command ended, median of " + cancels;
    try {
        const WindowRun run({context.responsive, "--result", context.scratch + "/responsive.xml",
                             "--megabytes", megabytes, "--rate", rate, "--cancels", cancels},
                            context, "responsive");
        stall.ownTimes = run.series("longest_stall");
        cancel.ownTimes = run.series("cancel_to_ended");
        stall.ours.peakKib = cancel.ours.peakKib = run.peakKib;
        char text[120];
        std::snprintf(text, sizeof text, "the whole command %.1f s", median(run.series("get_seconds")));
        stall.notes = text;
        std::snprintf(text, sizeof text, "slowest %.1f ms", maximum(cancel.ownTimes) * 1000);
        cancel.notes = text;
    } catch (const std::exception& error) {
        stall.failure = cancel.failure = error.what();
    }
    return {stall, cancel};
}

// Workload 6: the editor holding a 1 MB document, typed into; its own process.
Row workloadEditor(const Context& context) {
    const std::string rounds = context.options.smoke ? "2" : "20";
    std::fprintf(stderr, "W6 editor, 1 MB document ...\n");
    Row row;
    row.hasReference = false;
    row.workload = "W6 Editor, 1 MB document: first error shown after typing stops, median of " + rounds;
    try {
        const WindowRun run({context.editor, "--kilobytes", "1000", "--rounds", rounds}, context, "editor");
        row.ownTimes = run.series("error_shown");
        row.ours.peakKib = run.peakKib;
        char text[80];
        std::snprintf(text, sizeof text, "slowest %.0f ms", maximum(row.ownTimes) * 1000);
        row.notes = text;
    } catch (const std::exception& error) {
        row.failure = error.what();
    }
    return row;
}

// Workload 6 too: typing into a 1 MB text on one line, a document and nothing but "&"; a process each.
std::vector<Row> workloadTyping(const Context& context) {
    const std::string rounds = context.options.smoke ? "2" : "20";
    std::vector<Row> rows;
    for (const auto& [kind, label] : {std::pair{"single-line", "a 1 MB document on one line"},
                                      std::pair{"ampersands", "1 MB of \"&\""}}) {
        std::fprintf(stderr, "W6 editor, typing into %s ...\n", label);
        Row row;
        row.hasReference = false;
        row.workload =
            std::string("W6 Editor, ") + label + ": character typed → painted, median of " + rounds;
        try {
            const WindowRun run(
                {context.editor, "typing", "--text", kind, "--kilobytes", "1000", "--rounds", rounds},
                context, "editor typing");
            row.ownTimes = run.series("typed_to_painted");
            row.ours.peakKib = run.peakKib;
            char text[80];
            std::snprintf(text, sizeof text, "slowest %.1f ms; filled in %.0f ms",
                          maximum(row.ownTimes) * 1000, median(run.series("filled_seconds")) * 1000);
            row.notes = text;
        } catch (const std::exception& error) {
            row.failure = error.what();
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

// ---------------------------------------------------------------------------------------------------------
// The table

std::string duration(double seconds) {
    char text[32];
    if (std::isnan(seconds)) return "–";
    if (seconds >= 10) {
        std::snprintf(text, sizeof text, "%.1f s", seconds);
    } else if (seconds >= 0.1) {
        std::snprintf(text, sizeof text, "%.0f ms", seconds * 1000);
    } else {
        std::snprintf(text, sizeof text, "%.1f ms", seconds * 1000);
    }
    return text;
}

std::string spread(const std::vector<double>& values) {
    if (values.empty()) return "–";
    return duration(median(values)) + " (" + duration(minimum(values)) + "–" + duration(maximum(values)) +
           ")";
}

std::string mebibytes(long kib) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f MiB", static_cast<double>(kib) / 1024);
    if (kib < 10 * 1024) std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(kib) / 1024);
    return text;
}

// The median of the repetitions' own ratios: each repetition ran ours and the reference back to back, so a
// spell of load on the machine weighs on both sides of its ratio.
double ratioOf(const std::vector<double>& ours, const std::vector<double>& reference) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < std::min(ours.size(), reference.size()); ++i)
        ratios.push_back(ours[i] / reference[i]);
    return median(ratios);
}

double ratio(const Row& row) {
    return ratioOf(row.ours.seconds, row.reference.seconds);
}

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

std::string versions(const std::string& scratch) {
    const std::string apache = firstLine(runProgram({"/usr/sbin/apache2", "-v"}, scratch).out);
    const std::string curl = firstLine(runProgram({"curl", "--version"}, scratch).out);
    const std::string xmllint = firstLine(runProgram({"xmllint", "--version"}, scratch).err);
    std::string cpu;
    std::istringstream info(readText("/proc/cpuinfo"));
    for (std::string line; std::getline(info, line);) {
        if (line.starts_with("model name")) {
            cpu = line.substr(line.find(':') + 2);
            break;
        }
    }
    return cpu + ", " + std::to_string(std::thread::hardware_concurrency()) + " cores; " +
           apache.substr(apache.find(':') + 2) + "; " + curl.substr(0, curl.find(" (")) + "; " + xmllint;
}

void printTable(const std::vector<Row>& rows, const Options& options, const std::string& machine) {
    char date[64];
    const std::time_t now = std::time(nullptr);
    std::strftime(date, sizeof date, "%Y-%m-%d", std::localtime(&now));
    std::printf("\nMeasured %s on %s.\n", date, machine.c_str());
    std::printf(
        "Medians of %ld alternating repetitions (%ld for collections above 20,000 members, %ld for the log's "
        "cost), min–max in brackets; each repetition is a whole process, timed from start to exit. The ratio "
        "is the median of the repetitions' own ratios (ours and the reference ran back to back).\n\n",
        options.reps, options.largeReps, logPairs(options));
    std::printf("| workload | ours | reference | ratio | peak memory, ours / reference | notes |\n");
    std::printf("|---|---|---|---|---|---|\n");
    for (const Row& row : rows) {
        if (!row.failure.empty()) {
            std::printf("| %s | FAILED | | | | %s |\n", row.workload.c_str(), firstLine(row.failure).c_str());
            continue;
        }
        if (!row.hasReference) {
            std::printf("| %s | %s | – | – | %s | %s |\n", row.workload.c_str(), spread(row.ownTimes).c_str(),
                        mebibytes(row.ours.peakKib).c_str(), row.notes.c_str());
            continue;
        }
        std::printf("| %s | %s | %s | %.2f | %s / %s | %s |\n", row.workload.c_str(),
                    spread(row.ours.seconds).c_str(), spread(row.reference.seconds).c_str(), ratio(row),
                    mebibytes(row.ours.peakKib).c_str(), mebibytes(row.reference.peakKib).c_str(),
                    row.notes.c_str());
    }
}

// Workload 2 at each size, without authentication, with the empty collection's run as the fixed cost of a
// run (process start, connection, request, the collection's own response) that is not a cost per member.
struct Growth {
    const Row* empty = nullptr;
    std::vector<std::pair<long, const Row*>> sizes;

    bool usable(const Row* row) const { return row && row->failure.empty(); }
};

// Median seconds per member beyond the empty collection's run: of wall time, or of the processor time of the
// client process (or of curl and xmllint together), which the server's share and other load leave out.
double perMember(const Growth& growth, long members, const Row& row, bool ours, bool processor) {
    const Series& series = ours ? row.ours : row.reference;
    const Series& fixed = ours ? growth.empty->ours : growth.empty->reference;
    const auto& pick = [processor](const Series& s) -> const std::vector<double>& {
        return processor ? s.cpuSeconds : s.seconds;
    };
    return (median(pick(series)) - median(pick(fixed))) / static_cast<double>(members);
}

void printGrowth(const Growth& growth) {
    if (!growth.usable(growth.empty) || growth.sizes.size() < 2) return;
    std::printf(
        "\nWorkload 2 per member: (median at N members − median for the empty collection) / N. The empty "
        "collection takes %s wall, %s processor time (ours), %s and %s (reference). Wall time includes the "
        "server's work; processor time is the client's own (or curl's and xmllint's).\n\n",
        duration(median(growth.empty->ours.seconds)).c_str(),
        duration(median(growth.empty->ours.cpuSeconds)).c_str(),
        duration(median(growth.empty->reference.seconds)).c_str(),
        duration(median(growth.empty->reference.cpuSeconds)).c_str());
    std::printf(
        "| members | wall, ours | wall, reference | processor, ours | processor, reference |\n"
        "|---|---|---|---|---|\n");
    for (const auto& [members, row] : growth.sizes) {
        if (!growth.usable(row)) continue;
        std::printf("| %ld | %.1f µs | %.1f µs | %.1f µs | %.1f µs |\n", members,
                    perMember(growth, members, *row, true, false) * 1e6,
                    perMember(growth, members, *row, false, false) * 1e6,
                    perMember(growth, members, *row, true, true) * 1e6,
                    perMember(growth, members, *row, false, true) * 1e6);
    }
}

// One line per performance target, with the number it was judged on.
void printTargets(const std::vector<Row>& rows, const Growth& growth) {
    std::printf("\nTargets:\n\n");
    auto verdict = [](bool met) { return met ? "met" : "MISSED"; };
    for (const Row& row : rows) {
        if (!row.failure.empty()) continue;
        const std::string& name = row.workload;
        if (name.starts_with("Log cost")) {
            const double r = ratio(row);
            const double target = name.find("never opened") != std::string::npos ? 1.01 : 1.03;
            const auto [low, high] = ratioInterval(row);
            // The client's own processor time shows the cost with less of the machine's noise than wall time.
            std::printf(
                "- %s: ratio %.3f ≤ %.2f %s (95%% interval %.3f–%.3f, %zu pairs; processor time %.3f)\n",
                name.c_str(), r, target, verdict(r <= target), low, high, row.ours.seconds.size(),
                ratioOf(row.ours.cpuSeconds, row.reference.cpuSeconds));
        } else if (name.starts_with("W1")) {
            const double r = ratio(row);
            std::printf("- %s: ratio %.2f ≤ 1.10 %s; %s\n", name.c_str(), r, verdict(r <= 1.10),
                        row.notes.c_str());
        } else if (name.starts_with("W2")) {
            const double r = ratio(row);
            std::printf("- %s: ratio %.2f ≤ 1.20 %s\n", name.c_str(), r, verdict(r <= 1.20));
        } else if (name.starts_with("W3")) {
            const double r = ratio(row);
            const double memory =
                static_cast<double>(row.ours.peakKib) * 1024 / static_cast<double>(row.documentBytes);
            std::printf("- %s: ratio %.2f ≤ 1.30 %s; peak %.1f × the document ≤ 8 %s\n", name.c_str(), r,
                        verdict(r <= 1.30), memory, verdict(memory <= 8));
        } else if (name.find("list painted") != std::string::npos) {
            const double m = median(row.ownTimes);
            std::printf("- %s: %s ≤ 0.5 s %s (slowest %s)\n", name.c_str(), duration(m).c_str(),
                        verdict(m <= 0.5), duration(maximum(row.ownTimes)).c_str());
        } else if (name.find("viewer Find") != std::string::npos) {
            const double m = median(row.ownTimes);
            std::printf("- %s: %s ≤ 500 ms %s\n", name.c_str(), duration(m).c_str(), verdict(m <= 0.5));
        } else if (name.find("event-loop stall") != std::string::npos) {
            const double m = maximum(row.ownTimes);
            std::printf("- %s: %s ≤ 50 ms %s\n", name.c_str(), duration(m).c_str(), verdict(m <= 0.05));
        } else if (name.starts_with("W5 Cancel")) {
            const double m = median(row.ownTimes);
            std::printf("- %s: %s ≤ 200 ms %s\n", name.c_str(), duration(m).c_str(), verdict(m <= 0.2));
        } else if (name.find("typed → painted") != std::string::npos) {
            const double m = median(row.ownTimes);
            std::printf("- %s: %s ≤ 50 ms %s (slowest %s)\n", name.c_str(), duration(m).c_str(),
                        verdict(m <= 0.05), duration(maximum(row.ownTimes)).c_str());
        } else if (name.starts_with("W6")) {
            const double m = median(row.ownTimes);
            std::printf("- %s: %s ≤ 300 ms %s\n", name.c_str(), duration(m).c_str(), verdict(m <= 0.3));
        } else if (name.find("viewer painted") != std::string::npos) {
            const double m = median(row.ownTimes);
            std::printf("- %s: %s ≤ 2 s %s (slowest %s)\n", name.c_str(), duration(m).c_str(),
                        verdict(m <= 2), duration(maximum(row.ownTimes)).c_str());
        }
    }
    std::vector<double> processor;
    std::vector<double> wall;
    if (growth.usable(growth.empty)) {
        for (const auto& [members, row] : growth.sizes) {
            if (!growth.usable(row)) continue;
            processor.push_back(perMember(growth, members, *row, true, true));
            wall.push_back(perMember(growth, members, *row, true, false));
        }
    }
    if (wall.size() >= 2) {
        const double flat = maximum(wall) / minimum(wall);
        std::printf(
            "- W2 growth: the time per member varies by %.0f%% from %ld to %ld members ≤ 25%% %s (the "
            "client's "
            "own processor time per member by %.0f%%)\n",
            (flat - 1) * 100, growth.sizes.front().first, growth.sizes.back().first, verdict(flat <= 1.25),
            (maximum(processor) / minimum(processor) - 1) * 100);
    }
}

// ---------------------------------------------------------------------------------------------------------

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
            for (Row& row : workloadWindows(context, plain, primary, options.members.front(), dataset,
                                            dataset.multistatusDocument, "multistatus", mb + "multistatus"))
                rows.push_back(std::move(row));
            for (Row& row : workloadWindows(context, plain, primary, options.members.front(), dataset,
                                            dataset.instanceDocument, "xbrl", mb + "XBRL instance")) {
                if (row.workload.find("viewer") != std::string::npos) rows.push_back(std::move(row));
            }
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
