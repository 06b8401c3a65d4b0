#pragma once

// How a document is read: the parser's options, which keep hostile replies harmless and the tree lean; the
// first error, which names the cause; the rule that white space only separating elements is no node. Internal
// to the platform layer, for the document model.
#include <memory>
#include <string>
#include <string_view>

#include "platform/XmlDocument.h"

struct _xmlDoc;

namespace ostrel::xml {

struct DocFree {
    void operator()(_xmlDoc* doc) const noexcept;
};
using DocPtr = std::unique_ptr<_xmlDoc, DocFree>;

// A document without child nodes.
DocPtr emptyDocument();
// The document in the octets, read in the given encoding (nullptr: the one the text declares) with the
// parser options added to the safe ones; nothing when it is not well-formed, and error then names why.
DocPtr parse(std::string_view bytes, const char* encoding, int extraOptions, XmlParseError& error);

bool isXmlSpace(char c) noexcept;
// Without the XML white space around it.
std::string trimmed(std::string text);

}  // namespace ostrel::xml
