#pragma once

// What the client takes from a reply's body as it arrives: the document, as the operation reads it, and
// what the client's rules ask of the octets themselves. Not part of the client's interface.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/BodySink.h"
#include "platform/XmlReply.h"

namespace ostrel::client {

// A digest of octets that tells two texts apart, which is all that is asked of it.
std::string digestOf(std::string_view octets);

class ReplyReading : public BodySink {
public:
    enum class Digest { No, Yes };

    explicit ReplyReading(XmlReading reading, Digest digest = Digest::No)
        : reader_(reading), digesting_(digest == Digest::Yes) {}

    void begin(int status, std::string_view contentType) override;
    void take(std::string_view octets) override;

    XmlDocument document() { return reader_.document(); }
    // digestOf the body's octets, when asked for.
    std::string digest() const;
    // Nothing but white space, or nothing at all.
    bool blank() const { return blank_; }

private:
    XmlReplyReader reader_;
    bool digesting_;
    std::uint64_t hash_ = 14695981039346656037ull;  // FNV-1a's offset basis: the digest of nothing
    bool blank_ = true;
};

}  // namespace ostrel::client
