#pragma once

#include <string_view>

namespace ostrel {

// A resource path names a document when ".xml" occurs anywhere in it, letter case counting (a.xml,
// a.xml.bak, dir.xml/b); any other path names a collection. The program's one rule for telling them apart.
inline bool isDocumentName(std::string_view path) {
    return path.find(".xml") != std::string_view::npos;
}

}  // namespace ostrel
