#pragma once

#include <functional>
#include <memory>
#include <string_view>

namespace ostrel::text {

// Decodes octets that arrive in pieces to UTF-8 as they come, to the text decodeToUtf8 gives for all of them
// at once (which is decodeFromCharset's where that knows the charset). A character split between two pieces
// is decoded whole; the pieces of text go to the sink as they are decoded.
class Decoder {
public:
    using Sink = std::function<void(std::string_view text)>;

    Decoder(std::string_view charset, Sink sink);
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    void push(std::string_view octets);
    // The end of the octets: a character left unfinished becomes U+FFFD, as at the end of any text.
    void finish();

    // True when decodeFromCharset decodes by this charset: UTF-8, or a name iconv knows.
    static bool knows(std::string_view charset);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace ostrel::text
