#include "ui/Browsing.h"

#include <algorithm>

#include "client/Names.h"
#include "ui/Text.h"

namespace ostrel::browsing {

using ui::contains;
using ui::trimBlanks;

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

char folded(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Compares the runs of digits at the start of a and b by value; moves past them.
int compareNumbers(std::string_view& a, std::string_view& b) {
    const auto run = [](std::string_view& text) {
        std::size_t end = 0;
        while (end < text.size() && isDigit(text[end])) ++end;
        std::string_view digits = text.substr(0, end);
        text.remove_prefix(end);
        while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
        return digits;
    };
    const std::string_view x = run(a);
    const std::string_view y = run(b);
    if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
    return x.compare(y);
}

std::string withoutLeadingSlash(const std::string& name) {
    return name.starts_with("/") ? name.substr(1) : name;
}

}  // namespace

bool sortsBefore(std::string_view a, std::string_view b) {
    const std::string_view wholeA = a;
    const std::string_view wholeB = b;
    while (!a.empty() && !b.empty()) {
        if (isDigit(a.front()) && isDigit(b.front())) {
            if (const int order = compareNumbers(a, b); order != 0) return order < 0;
            continue;
        }
        if (folded(a.front()) != folded(b.front())) return folded(a.front()) < folded(b.front());
        a.remove_prefix(1);
        b.remove_prefix(1);
    }
    if (a.empty() != b.empty()) return a.empty();
    return wholeA < wholeB;  // names equal but for case or leading zeros still get one order
}

std::optional<std::string> entryOf(const std::string& field, const CollectionMember& member) {
    if (trimBlanks(field).empty()) {
        // The administrative area is not browsed; the server lists it wherever its order puts it.
        if (!contains(member.name, "administration")) return member.name;
    } else if (!contains(field, "/")) {
        // Below a top-level collection: its sub-collections, whose display names may carry a leading "/".
        if (member.collection || member.name.starts_with("/")) return withoutLeadingSlash(member.name);
    } else if (isDocumentName(member.name)) {
        return member.name;
    }
    return std::nullopt;
}

void sortEntries(std::vector<std::string>& entries) {
    std::sort(entries.begin(), entries.end(),
              [](const std::string& a, const std::string& b) { return sortsBefore(a, b); });
}

std::vector<std::string> listing(const std::string& field, const std::vector<CollectionMember>& members) {
    std::vector<std::string> entries;
    for (const CollectionMember& member : members) {
        if (std::optional<std::string> entry = entryOf(field, member)) entries.push_back(std::move(*entry));
    }
    sortEntries(entries);
    return entries;
}

Picked pick(const std::string& field, const std::string& lastPicked, const std::string& entry) {
    if (field == lastPicked) return {entry, entry};
    if (!contains(field, "/")) return {field + "/" + entry, lastPicked};
    if (!isDocumentName(field)) {
        if (isDocumentName(entry)) return {field + "/" + entry, lastPicked};
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
