#pragma once

#include <memory>
#include <string_view>

#include "platform/XmlDocument.h"

namespace ostrel {

// Parses a document whose octets arrive piece by piece, to the very document and first error that
// XmlDocument::loadXML (Input::Text) or XmlDocument::fromBytes (Input::Octets) gives for all of them at once.
// A document large enough to gain from it is read on a thread of its own while its octets still arrive, so
// that it is ready soon after the last one; its octets are then never held whole, only a window of them on
// their way to the parser.
class XmlStreamParser {
public:
    enum class Input { Text, Octets };

    explicit XmlStreamParser(Input input);
    // Abandons a document that was not finished.
    ~XmlStreamParser();
    XmlStreamParser(const XmlStreamParser&) = delete;
    XmlStreamParser& operator=(const XmlStreamParser&) = delete;

    // The next octets. Waits while the parser is a window behind, so that octets never pile up.
    void push(std::string_view octets);
    // The end of the octets: the document they hold, or one without child nodes whose parseError says why.
    XmlDocument finish();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace ostrel
