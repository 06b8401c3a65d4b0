#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// What the benchmark programs share: "--name value" arguments, a monotonic clock, the process's own peak
// memory, and the "key=value" lines through which they report to the runner.
namespace ostrel::bench {

class Args {
public:
    // argv[1] is the mode unless it starts with "--"; the other arguments come as "--name value" pairs.
    Args(int argc, char** argv);

    const std::string& mode() const { return mode_; }
    bool has(const std::string& name) const { return values_.count(name) != 0; }
    // Raises std::runtime_error when a required argument is missing.
    std::string get(const std::string& name) const;
    std::string get(const std::string& name, const std::string& fallback) const;
    long number(const std::string& name, long fallback) const;

private:
    std::string mode_;
    std::map<std::string, std::string> values_;
};

using Clock = std::chrono::steady_clock;

inline double secondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// The peak resident set of this process so far, in KiB.
long peakResidentKib();
// Runs a measured program's work, reports its peak memory, and turns an error into a message on stderr and
// exit status 1.
int runMeasured(const std::function<int()>& work);

// One "key=value" line on standard output, flushed at once so that nothing is lost if the program dies later.
void report(std::string_view key, std::string_view value);
void report(std::string_view key, double value);
void report(std::string_view key, long value);

// "key=value" lines of a program's output; a key given more than once keeps every value in order.
std::map<std::string, std::vector<std::string>> parseReport(std::string_view output);

}  // namespace ostrel::bench
