#pragma once

#include <string>
#include <vector>

#include "Measuring.h"
#include "Servers.h"

// The workloads, each making its rows of the table with their targets.
namespace ostrel::bench {

// Workload 1: the same small document, fetched gets times by one client (and by one curl process); with a
// log ("closed" or "open"), its cost: the client with that protocol log and without.
Row workloadGets(const Context& context, const Server& server, const Dataset& dataset,
                 const std::string& withLog = "");

// Workload 2: the display names of a collection of members documents, depth infinity; with a log, its cost
// as for workload 1.
Row workloadNames(const Context& context, const Server& server, long members, long reps,
                  const std::string& withLog = "");

// Workload 2 as "Get resources" asks now: one level (Depth 1), display name and resource type, the
// collection's own entry left out; beside the depth-infinity row on the same collection.
Row workloadListing(const Context& context, const Server& server, long members, long reps);

// Workload 3: a large document fetched and saved, formatted, as the result file.
Row workloadSave(const Context& context, const Server& server, const std::string& resource, std::size_t bytes,
                 const std::string& kind);

// Workload 4: the main window offscreen; one process, several rounds of "Get resources" then "Get document".
struct WindowRows {
    Row list;  // "Get resources": last reply byte → list painted
    Row show;  // "Get document": ShowResult called → viewer painted
};
WindowRows workloadWindows(const Context& context, const Server& server, long members, long warmMembers,
                           const Dataset& dataset, const std::string& document, const std::string& root,
                           const std::string& kind);

// Workload 4, the viewer's Find: an XBRL instance whose only match is its last element, so the whole
// document is searched and the rows on the way to the match are made.
Row workloadFind(const Context& context);

// Workload 5: the main window while a slow loopback server sends a large document; its own process.
std::vector<Row> workloadResponsive(const Context& context);

// Workload 6: the editor holding a 1 MB document, typed into; its own process.
Row workloadEditor(const Context& context);

// Workload 6 too: typing into a 1 MB text on one line, a document and nothing but "&"; a process each.
std::vector<Row> workloadTyping(const Context& context);

}  // namespace ostrel::bench
