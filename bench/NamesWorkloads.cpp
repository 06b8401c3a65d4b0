#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "Process.h"
#include "Workloads.h"

namespace ostrel::bench {

namespace fs = std::filesystem;

namespace {

const std::string kPropfindBody =
    "<?xml version='1.0'?><propfind xmlns='DAV:'><prop><displayname/></prop></propfind>";
const std::string kListingBody =
    "<?xml version='1.0'?><propfind xmlns='DAV:'><prop><displayname/><resourcetype/></prop></propfind>";

}  // namespace

Row workloadNames(const Context& context, const Server& server, long members, long reps,
                  const std::string& withLog) {
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
    row.target = ratioAtMost(1.20, 2);
    if (!row.reference.values["reply_bytes"].empty()) {
        const double kib = std::stod(row.reference.values["reply_bytes"].front()) / 1024;
        char text[96];
        std::snprintf(text, sizeof text, "%ld display name%s; reply %.*f KiB", expected,
                      expected == 1 ? "" : "s", kib < 10 ? 1 : 0, kib);
        row.notes = text;
    }
    return row;
}

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
    Row row = compare("W2 Get resources' listing (Depth 1: display name, resource type), " +
                          std::to_string(members) + " documents (" + authLabel(server) + ")",
                      reps, context.options.warmUp, ours, reference);
    row.target = ratioAtMost(1.20, 2);
    return row;
}

}  // namespace ostrel::bench
