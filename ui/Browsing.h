#pragma once

#include <string>
#include <vector>

// How the main window turns a collection's display names into list entries and a picked entry into a
// resource path. Plain text rules, kept apart from the widgets so they can be read and tested as such.
namespace ostrel::browsing {

// The list entries for the display names of a reply, in reply order, given the resource field's text:
// - empty (or blanks only), the server's root: every name after the first (the root itself), stopping at
//   the first name that contains "administration";
// - a top-level collection (no "/"): the names that begin with "/", without it;
// - a deeper collection (a "/"): the names that contain ".xml".
std::vector<std::string> listing(const std::string& field, const std::vector<std::string>& names);

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
