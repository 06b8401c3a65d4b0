#include <cstdio>
#include <exception>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "Process.h"
#include "Support.h"
#include "Workloads.h"

namespace ostrel::bench {

namespace {

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

}  // namespace

WindowRows workloadWindows(const Context& context, const Server& server, long members, long warmMembers,
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
    list.target = timeAtMost(Figure::Median, 0.5, "0.5 s", true);
    show.target = timeAtMost(Figure::Median, 2, "2 s", true);
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

Row workloadFind(const Context& context) {
    const std::string megabytes = context.options.smoke ? "1" : "20";
    std::fprintf(stderr, "W4 viewer Find, %s MB ...\n", megabytes.c_str());
    Row row;
    row.hasReference = false;
    row.workload = "W4 viewer Find, " + megabytes + " MB XBRL instance: first hit shown";
    row.target = timeAtMost(Figure::Median, 0.5, "500 ms");
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
    stall.target = timeAtMost(Figure::Longest, 0.05, "50 ms");
    cancel.target = timeAtMost(Figure::Median, 0.2, "200 ms");
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

Row workloadEditor(const Context& context) {
    const std::string rounds = context.options.smoke ? "2" : "20";
    std::fprintf(stderr, "W6 editor, 1 MB document ...\n");
    Row row;
    row.hasReference = false;
    row.workload = "W6 Editor, 1 MB document: first error shown after typing stops, median of " + rounds;
    row.target = timeAtMost(Figure::Median, 0.3, "300 ms");
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
        row.target = timeAtMost(Figure::Median, 0.05, "50 ms", true);
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

}  // namespace ostrel::bench
