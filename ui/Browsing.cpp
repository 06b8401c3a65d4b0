#include "ui/Browsing.h"

#include "ui/Text.h"

namespace ostrel::browsing {

using ui::contains;
using ui::trimBlanks;

std::vector<std::string> listing(const std::string& field, const std::vector<std::string>& names) {
    std::vector<std::string> entries;
    if (trimBlanks(field).empty()) {
        // The first name is the root collection itself; the listing ends where the administrative area
        // begins.
        for (std::size_t i = 1; i < names.size(); ++i) {
            if (contains(names[i], "administration")) break;
            entries.push_back(names[i]);
        }
    } else if (!contains(field, "/")) {
        // Below a top-level collection the sub-collections carry their name with a leading "/".
        for (const std::string& name : names) {
            if (name.starts_with("/")) entries.push_back(name.substr(1));
        }
    } else {
        for (const std::string& name : names) {
            if (contains(name, ".xml")) entries.push_back(name);
        }
    }
    return entries;
}

Picked pick(const std::string& field, const std::string& lastPicked, const std::string& entry) {
    if (field == lastPicked) return {entry, entry};
    if (!contains(field, "/")) return {field + "/" + entry, lastPicked};
    if (!contains(field, ".xml")) {
        if (contains(entry, ".xml")) return {field + "/" + entry, lastPicked};
        return {field.substr(0, field.find('/') + 1) + entry, lastPicked};
    }
    return {field.substr(0, field.rfind('/') + 1) + entry, lastPicked};
}

std::string folderUrl(const std::string& path) {
    // A path that starts at "/" already supplies the slash that begins a file URL's path.
    if (path.starts_with("/")) return "file://" + path;
    std::string url = "file:///" + path;
    for (char& c : url) {
        if (c == '\\') c = '/';
    }
    return url;
}

}  // namespace ostrel::browsing
