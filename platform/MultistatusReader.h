#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace ostrel {

// One DAV:response of a multistatus reply, as far as a listing reads it.
struct MultistatusResponse {
    std::string href;         // the text of its first DAV:href
    std::string displayName;  // the first DAV:displayname with a value among the properties found (2xx)
    bool collection = false;  // a DAV:resourcetype found (2xx) holds DAV:collection
};

// Reads a WebDAV multistatus reply as it arrives, without building a document: the reply's text is fed in
// pieces of any size, and each DAV:response directly below a DAV:multistatus root that carries properties (a
// DAV:propstat) is reported as soon as its end tag has been read. Within a response the first DAV:href
// counts; within a propstat its first DAV:prop and first DAV:status, and within that prop its first
// DAV:displayname and DAV:resourcetype. A propstat counts when its status is a success (2xx).
//
// Texts read as XmlNode::text reads them from a loaded document: the text and CDATA inside the element, with
// white space that only separates markup left out (unless xml:space="preserve" keeps it) and the ends
// trimmed; comments, processing instructions and entity references contribute nothing. Parsing is as safe
// as XmlDocument's: nothing is fetched, no entity is expanded, the parser's size limits hold.
class MultistatusReader {
public:
    using OnResponse = std::function<void(MultistatusResponse& response)>;

    // onRestarted, where given, is told when restart makes the responses reported so far void.
    explicit MultistatusReader(OnResponse onResponse, std::function<void()> onRestarted = {});
    ~MultistatusReader();
    MultistatusReader(MultistatusReader&& other) noexcept;
    MultistatusReader& operator=(MultistatusReader&& other) noexcept;
    MultistatusReader(const MultistatusReader&) = delete;
    MultistatusReader& operator=(const MultistatusReader&) = delete;

    // The next piece of the text, which is already Unicode (UTF-8): an encoding named in its XML declaration
    // is ignored and a byte-order mark at its start is not part of it. Nothing is read after the first error.
    void feed(std::string_view text);
    // The end of the text: true when the whole text was well-formed XML, namespaces included.
    bool finish();
    // Forgets everything read, so that a text can be read from its start.
    void restart();
    // True once the root element's start tag has been read and it is DAV:multistatus.
    bool isMultistatus() const noexcept;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace ostrel
