#pragma once

#include <string>
#include <vector>

namespace ostrel::bench {

// One finished child process: how long it ran from start to exit, its peak resident set, how it ended and
// what it printed.
struct Finished {
    double seconds = 0;
    long peakKib = 0;
    double cpuSeconds = 0;  // user and system time, with that of the children it waited for
    int exitCode = -1;      // -1 when it was killed by a signal
    std::string out;
    std::string err;
};

// Runs a program (looked up on PATH when the name has no "/") to its end, with its standard input from
// /dev/null and its output kept in files under scratch. extraEnvironment holds "NAME=value" entries.
// Wall time and peak memory are taken the same way for every program, ours and the references alike.
Finished runProgram(const std::vector<std::string>& argv, const std::string& scratch,
                    const std::vector<std::string>& extraEnvironment = {});

// runProgram for a program whose peak memory is measured. A child's peak resident set counts what it shares
// with its parent until it starts the program, so a large parent would raise every child's figure: the
// program is started from the small /usr/bin/time instead, which reports the program's own peak.
Finished measureProgram(const std::vector<std::string>& argv, const std::string& scratch,
                        const std::vector<std::string>& extraEnvironment = {});

// The text of a file; empty when it cannot be read.
std::string readText(const std::string& path);
// Writes a file whole; raises std::runtime_error on failure.
void writeText(const std::string& path, const std::string& text);

}  // namespace ostrel::bench
