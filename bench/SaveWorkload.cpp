#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "Process.h"
#include "Workloads.h"

namespace ostrel::bench {

namespace fs = std::filesystem;

namespace {

bool sameContent(const std::string& a, const std::string& b) {
    return fs::file_size(a) == fs::file_size(b) && readText(a) == readText(b);
}

}  // namespace

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
    // The client parses while the reply arrives, where curl + xmllint must wait for the whole file; and it
    // holds no copy of the document beside the tree, as xmllint holds none.
    row.target = ratioAtMost(0.90, 2, [](const Row& judged) {
        const auto times = [&judged](long kib) {
            return static_cast<double>(kib) * 1024 / static_cast<double>(judged.documentBytes);
        };
        return formatted("; peak %.1f × the document ≤ curl + xmllint's %.1f × %s",
                         times(judged.ours.peakKib), times(judged.reference.peakKib),
                         verdict(judged.ours.peakKib <= judged.reference.peakKib));
    });
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

}  // namespace ostrel::bench
