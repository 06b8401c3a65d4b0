#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "client/Listing.h"

// How the main window turns a collection's display names into list entries and a picked entry into a
// resource path. Plain text rules, kept apart from the widgets so they can be read and tested as such.
namespace ostrel::browsing {

// The list entries for a collection's members, given the resource field's text:
// - empty (or blanks only), the server's root: every member but those whose name contains "administration";
// - a top-level collection (no "/"): its sub-collections, and members whose name begins with "/", without it;
// - a deeper collection (a "/"): the names that contain ".xml".
// Sorted as a file manager sorts: letter case aside, numbers by their value ("Document_2" before
// "Document_10"), whatever order the server sent them in.
std::vector<std::string> listing(const std::string& field, const std::vector<CollectionMember>& members);
// The entry a member gets in listing; nothing when it is left out.
std::optional<std::string> entryOf(const std::string& field, const CollectionMember& member);
// Puts entries in the order of listing.
void sortEntries(std::vector<std::string>& entries);
// The order of listing: true when a sorts before b.
bool sortsBefore(std::string_view a, std::string_view b);

struct Picked {
    std::string field;
    std::string lastPicked;
};
// The resource field after picking an entry. An entry is copied as it is while the field still holds the
// entry picked last; otherwise it is joined to the field's collection.
Picked pick(const std::string& field, const std::string& lastPicked, const std::string& entry);

// The label text of a local folder: a file URL.
std::string folderUrl(const std::string& path);

}  // namespace ostrel::browsing
