#include "platform/TextDecoder.h"

#include <optional>
#include <string>

#include "platform/Conversion.h"
#include "platform/TextCodec.h"

namespace ostrel::text {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Where a character begins that the octets end before it is complete; their size when none does. Only its
// lead octet tells how long a UTF-8 character is, and none is longer than four.
std::size_t unfinishedUtf8(std::string_view octets) {
    const std::size_t size = octets.size();
    for (std::size_t at = size; at > 0 && size - at < 3;) {
        const auto c = static_cast<unsigned char>(octets[--at]);
        if ((c & 0xC0) == 0x80) continue;
        const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return size - at < length ? at : size;
    }
    return size;
}

}  // namespace

struct Decoder::Impl {
    enum class Mode { Undecided, Utf8, Iconv };

    std::string charset;
    bool byCharset = false;  // decodeFromCharset's way: by the named charset
    Mode mode = Mode::Undecided;
    std::optional<Conversion> conversion;
    std::string held;  // the start of the octets until the way is known, then a character iconv waits for
    std::string unfinished;  // the start of a UTF-8 character in the text, until the next piece ends it
    bool outputStarted = false;
    std::string outputStart;  // the first octets of text, until a byte-order mark there is ruled out
    Sink sink;

    // The way to decode, once the first octets are in: UTF-8 without a byte-order mark by the charset's
    // name; else by a byte-order mark, else as UTF-8 (see decodeToUtf8).
    void decide() {
        const std::string_view start = held;
        mode = Mode::Utf8;
        if (start.starts_with(kUtf8Bom)) {
            held.erase(0, kUtf8Bom.size());
            return;
        }
        if (byCharset) return;
        if (!charset.empty() && !charset.starts_with("utf-16") && !charset.starts_with("utf16")) return;
        const char* unicode = start.starts_with("\xFF\xFE")   ? "UTF-16LE"
                              : start.starts_with("\xFE\xFF") ? "UTF-16BE"
                                                              : nullptr;
        if (unicode && conversion.emplace(unicode)) {
            mode = Mode::Iconv;
            held.erase(0, 2);
        }
    }

    // decodeFromCharset leaves out a byte-order mark at the start of what iconv made of the octets.
    void emit(std::string_view text) {
        if (outputStarted || !byCharset || mode != Mode::Iconv) {
            if (!text.empty()) sink(text);
            return;
        }
        outputStart.append(text);
        if (outputStart.size() >= kUtf8Bom.size()) flushOutputStart();
    }

    void flushOutputStart() {
        outputStarted = true;
        std::string_view start = outputStart;
        if (start.starts_with(kUtf8Bom)) start.remove_prefix(kUtf8Bom.size());
        if (!start.empty()) sink(start);
        std::string().swap(outputStart);
    }

    // The text made valid UTF-8 as toValidUtf8 makes all of it at once (glibc's iconv passes code points
    // beyond U+10FFFF through): the start of a character that the next piece may complete waits for it.
    void clean(std::string_view text, bool last) {
        std::string joined;
        if (!unfinished.empty()) {
            joined = unfinished + std::string(text);
            text = joined;
        }
        const std::size_t complete = last ? text.size() : unfinishedUtf8(text);
        const std::string_view done = text.substr(0, complete);
        if (isValidUtf8(done)) {
            emit(done);
        } else {
            emit(toValidUtf8(done));
        }
        unfinished.assign(text.substr(complete));
    }

    // As decodeToUtf8 does it, with the octets of a character that may still be completed held back, unless
    // these are the last.
    void decode(std::string_view octets, bool last) {
        if (mode == Mode::Utf8) {
            clean(octets, last);
            return;
        }
        const std::string_view left =
            conversion->convert(octets, last, [this](std::string_view text) { clean(text, false); });
        held.assign(left);
        if (last) clean({}, true);
    }

    void take(std::string_view octets, bool last) {
        if (mode == Mode::Undecided) {
            held.append(octets);
            if (held.size() < kUtf8Bom.size() && !last) return;
            decide();
            const std::string start = std::move(held);
            held.clear();
            decode(start, last);
            return;
        }
        if (held.empty()) {
            decode(octets, last);
            return;
        }
        const std::string joined = held + std::string(octets);
        decode(joined, last);
    }
};

Decoder::Decoder(std::string_view charset, Sink sink) : impl_(std::make_unique<Impl>()) {
    Impl& d = *impl_;
    d.charset = asciiLower(charset);
    d.sink = std::move(sink);
    if (isUtf8Name(d.charset)) {
        d.byCharset = true;
    } else if (!d.charset.empty() && d.conversion.emplace(d.charset)) {
        d.byCharset = true;
        d.mode = Impl::Mode::Iconv;
    }
}

Decoder::~Decoder() = default;

void Decoder::push(std::string_view octets) {
    impl_->take(octets, false);
}

void Decoder::finish() {
    impl_->take({}, true);
    if (!impl_->outputStarted && !impl_->outputStart.empty()) impl_->flushOutputStart();
}

bool Decoder::knows(std::string_view charset) {
    const std::string name = asciiLower(charset);
    return isUtf8Name(name) || (!name.empty() && Conversion(name));
}

}  // namespace ostrel::text
