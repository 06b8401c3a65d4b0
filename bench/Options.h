#pragma once

#include <set>
#include <string>
#include <vector>

// What one run of the benchmark runner measures, and how often.
namespace ostrel::bench {

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

// The runner's command line; raises std::runtime_error with the usage on anything it does not know.
Options parseOptions(int argc, char** argv);

}  // namespace ostrel::bench
