#pragma once

#include <cstddef>
#include <string>

// The documents the workloads fetch. They are made, not shipped: deterministic, any size, and shaped like
// what this client really meets (XBRL-flavoured instances like the demo's, and the multistatus replies of a
// large collection that users save and look at).
namespace ostrel::bench::data {

// An XBRL instance of at least minBytes bytes: contexts with an entity, a segment and a period, and facts
// with contextRef, unitRef, decimals and id attributes; indented by two spaces. Root element "xbrl".
std::string instance(std::size_t minBytes);

// An Apache-style allprop multistatus of at least minBytes bytes, one response per member with the usual
// live properties, lock entries and a display name; one element per line, as Apache writes it. Root element
// "multistatus".
std::string multistatus(std::size_t minBytes);

// The name of member number index of a generated collection ("doc-000042.xml"); it is also its display name.
std::string memberName(long index);

// The small document each member of a generated collection holds.
std::string memberDocument(long index);

}  // namespace ostrel::bench::data
