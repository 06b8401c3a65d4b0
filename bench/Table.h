#pragma once

#include <string>
#include <utility>
#include <vector>

#include "Measuring.h"
#include "Options.h"

// What the runner prints: the table of rows, the growth of workload 2 per member and the targets.
namespace ostrel::bench {

// Workload 2 at each size, without authentication, with the empty collection's run as the fixed cost of a
// run (process start, connection, request, the collection's own response) that is not a cost per member.
struct Growth {
    const Row* empty = nullptr;
    std::vector<std::pair<long, const Row*>> sizes;

    bool usable(const Row* row) const { return row && row->failure.empty(); }
};

// The processor, the server, curl and xmllint, each as it names itself.
std::string versions(const std::string& scratch);
void printTable(const std::vector<Row>& rows, const Options& options, const std::string& machine);
void printGrowth(const Growth& growth);
// One line per performance target, with the number it was judged on.
void printTargets(const std::vector<Row>& rows, const Growth& growth);

}  // namespace ostrel::bench
