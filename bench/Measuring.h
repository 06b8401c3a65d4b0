#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "Options.h"
#include "Process.h"
#include "Servers.h"

// Timing a workload against its reference and keeping what came out: the rows of the table.
namespace ostrel::bench {

// A result that shows the client (or a reference) broken: the row fails instead of printing fast numbers.
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void require(bool condition, const std::string& what);

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

    void add(const Sample& sample);
};

double median(std::vector<double> values);
double minimum(const std::vector<double>& values);
double maximum(const std::vector<double>& values);
std::vector<double> numbers(const std::vector<std::string>& texts);

struct Row;

// What a row is judged on, stated by the workload that makes it: the text after the row's name in the list
// of targets (the figure, its limit, met or MISSED). A row without one is not judged.
using Target = std::function<std::string(const Row&)>;

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
    Target target;
};

// The median of the repetitions' own ratios: each repetition ran ours and the reference back to back, so a
// spell of load on the machine weighs on both sides of its ratio.
double ratioOf(const std::vector<double>& ours, const std::vector<double>& reference);
double ratio(const Row& row);

// printf into a string.
std::string formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));
// "1.2 ms", "345 ms", "12.3 s"; "–" for no value.
std::string duration(double seconds);
std::string sizeLabel(std::size_t bytes);
std::string authLabel(const Server& server);

// How a target came out: "met" or "MISSED".
const char* verdict(bool met);
// The ratio of ours to the reference at most limit, shown with that many decimals; then what `more` adds.
Target ratioAtMost(double limit, int decimals, Target more = {});
enum class Figure { Median, Longest };
// The median or the longest of the row's own times at most limit seconds, shown as limitText; with
// withSlowest, the slowest time follows in brackets.
Target timeAtMost(Figure figure, double limit, std::string limitText, bool withSlowest = false);

// Runs ours and the reference reps times each, alternating which goes first, after one unmeasured run of
// each (it brings the server's and the system's caches to the same state for both).
Row compare(const std::string& workload, long reps, bool warmUp, const std::function<Sample()>& ours,
            const std::function<Sample()>& reference);

// The protocol log's cost is a few per cent, less than the spread between two runs of the same process on a
// machine whose server shares the client's two cores (a run's ratio varies by about 8%): ten times the
// repetitions bring the median's own uncertainty to about 1%.
constexpr long kLogCostRepsFactor = 10;

// The repetitions of each log-cost row.
long logPairs(const Options& options);

struct Context {
    Options options;
    std::string client;      // ostrel-bench-client
    std::string windows;     // ostrel-bench-windows; empty when the windows are not built
    std::string responsive;  // ostrel-bench-responsive; likewise
    std::string editor;      // ostrel-bench-editor; likewise
    std::string scratch;
};

// The protocol log's cost on a workload: the client with a log attached, as the main window keeps it with
// its log window never opened ("closed") or opened ("open"), against the same client without a log ("").
Row logCost(const Context& context, const std::string& workload, const std::string& log, long reps,
            const std::function<Sample(const std::string& log)>& client);

std::vector<std::string> clientArgs(const Context& context, const Server& server, const std::string& mode);
std::vector<std::string> curlArgs(const Server& server);
// A finished run as a sample, with the "key=value" lines it reported; a failed run fails the row.
Sample fromProcess(const Finished& finished, const std::string& what);
long asLong(const Sample& sample, const std::string& key);
// The distinct values a series reported, joined by "/".
std::string countsOf(const std::vector<std::string>& values);

}  // namespace ostrel::bench
