#include "Options.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <stdexcept>

namespace ostrel::bench {

namespace {

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

}  // namespace

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

}  // namespace ostrel::bench
