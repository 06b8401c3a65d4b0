#include "Table.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <sstream>
#include <thread>

#include "Process.h"

namespace ostrel::bench {

namespace {

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

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

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

}  // namespace

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

void printTargets(const std::vector<Row>& rows, const Growth& growth) {
    std::printf("\nTargets:\n\n");
    for (const Row& row : rows) {
        if (row.failure.empty() && row.target)
            std::printf("- %s: %s\n", row.workload.c_str(), row.target(row).c_str());
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

}  // namespace ostrel::bench
