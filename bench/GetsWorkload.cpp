#include <sstream>
#include <string>
#include <vector>

#include "Process.h"
#include "Workloads.h"

namespace ostrel::bench {

Row workloadGets(const Context& context, const Server& server, const Dataset& dataset,
                 const std::string& withLog) {
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
    row.target = ratioAtMost(1.10, 2, [](const Row& judged) { return "; " + judged.notes; });
    return row;
}

}  // namespace ostrel::bench
