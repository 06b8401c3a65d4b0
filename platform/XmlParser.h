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

// Where a document's octets come from, as fread hands them: it fills the buffer and returns how much it put
// there, less only at the end (0 after it), or -1 when the octets cannot be had (the document then counts as
// not well-formed).
using ReadOctets = int (*)(void* source, char* buffer, int length);
// How octets are read: as text that is already Unicode, UTF-8 whatever it declares (XmlDocument::loadXML), or
// as a file's, whose byte-order mark and declaration decide (XmlDocument::fromBytes).
enum class Octets { Text, File };
// The document in octets that can be read only once, in one pass, with the result parse gives for all of
// them at once. What parse leaves out before reading (a byte-order mark before text) is the caller's to
// leave out, and so is telling an empty document.
DocPtr parseStream(ReadOctets read, void* source, Octets octets, XmlParseError& error);

// A document as the parser read it, handed to XmlDocument.
struct Parsed {
    DocPtr doc;  // nothing when it was not well-formed
    XmlParseError error;
};

bool isXmlSpace(char c) noexcept;
// Without the XML white space around it.
std::string trimmed(std::string text);

}  // namespace ostrel::xml
