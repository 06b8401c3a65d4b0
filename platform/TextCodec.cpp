#include "platform/TextCodec.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include "platform/Conversion.h"

namespace ostrel::text {

std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

// Length of the valid UTF-8 sequence starting at bytes[i], or 0 when it is not one (RFC 3629: no overlong
// forms, no surrogates, nothing above U+10FFFF).
std::size_t validSequenceLength(std::string_view bytes, std::size_t i) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    const unsigned char c = at(i);
    const std::size_t left = bytes.size() - i;
    const auto cont = [&](std::size_t k) { return (at(k) & 0xC0) == 0x80; };
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) return left >= 2 && cont(i + 1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (left < 3 || !cont(i + 1) || !cont(i + 2)) return 0;
        if (c == 0xE0 && at(i + 1) < 0xA0) return 0;
        if (c == 0xED && at(i + 1) >= 0xA0) return 0;
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (left < 4 || !cont(i + 1) || !cont(i + 2) || !cont(i + 3)) return 0;
        if (c == 0xF0 && at(i + 1) < 0x90) return 0;
        if (c == 0xF4 && at(i + 1) >= 0x90) return 0;
        return 4;
    }
    return 0;
}

// The end of the valid UTF-8 run that starts at `from`. Replies are large, almost always valid and mostly
// ASCII, so ASCII is skipped eight bytes at a time.
std::size_t validRunEnd(std::string_view bytes, std::size_t from) {
    std::size_t at = from;
    for (;;) {
        std::uint64_t word = 0;
        while (bytes.size() - at >= 8 &&
               (std::memcpy(&word, bytes.data() + at, 8), (word & 0x8080808080808080u) == 0)) {
            at += 8;
        }
        const std::size_t length = at < bytes.size() ? validSequenceLength(bytes, at) : 0;
        if (length == 0) return at;
        at += length;
    }
}

// Decodes with iconv. The output's size is measured first, so a large reply never exists three times over
// while the text grows.
bool iconvToUtf8(std::string_view bytes, const std::string& charset, std::string& out) {
    Conversion measure(charset);
    if (!measure) return false;
    std::size_t size = 0;
    measure.convert(bytes, true, [&size](std::string_view piece) { size += piece.size(); });
    out.clear();
    out.reserve(size);
    Conversion(charset).convert(bytes, true, [&out](std::string_view piece) { out.append(piece); });
    // glibc passes code points beyond U+10FFFF through, from UTF-8 under names of its own ("iso-10646/utf8/")
    // and from UCS-4; the text must be valid all the same.
    if (validRunEnd(out, 0) != out.size()) out = toValidUtf8(out);
    return true;
}

}  // namespace

bool isValidUtf8(std::string_view bytes) {
    return validRunEnd(bytes, 0) == bytes.size();
}

std::string toValidUtf8(std::string_view bytes) {
    std::size_t i = validRunEnd(bytes, 0);
    if (i == bytes.size()) return std::string(bytes);
    std::size_t invalid = 0;
    for (std::size_t at = i; at < bytes.size(); at = validRunEnd(bytes, at + 1)) ++invalid;
    std::string out;
    out.reserve(bytes.size() + invalid * (kReplacement.size() - 1));
    out.append(bytes.data(), i);
    while (i < bytes.size()) {
        out += kReplacement;
        const std::size_t runEnd = validRunEnd(bytes, ++i);
        out.append(bytes.data() + i, runEnd - i);
        i = runEnd;
    }
    return out;
}

std::string charsetOf(std::string_view contentType) {
    const std::string lowered = asciiLower(contentType);
    std::size_t pos = 0;
    while ((pos = lowered.find("charset", pos)) != std::string::npos) {
        const bool atParameterStart =
            pos > 0 && (lowered[pos - 1] == ';' || lowered[pos - 1] == ' ' || lowered[pos - 1] == '\t');
        std::size_t eq = pos + 7;
        while (eq < lowered.size() && (lowered[eq] == ' ' || lowered[eq] == '\t')) ++eq;
        if (!atParameterStart || eq >= lowered.size() || lowered[eq] != '=') {
            pos += 7;
            continue;
        }
        std::size_t start = eq + 1;
        while (start < lowered.size() && (lowered[start] == ' ' || lowered[start] == '\t')) ++start;
        if (start < lowered.size() && lowered[start] == '"') {
            const std::size_t close = lowered.find('"', start + 1);
            return lowered.substr(start + 1,
                                  (close == std::string::npos ? lowered.size() : close) - start - 1);
        }
        std::size_t end = start;
        while (end < lowered.size() && lowered[end] != ';' && lowered[end] != ' ' && lowered[end] != '\t')
            ++end;
        return lowered.substr(start, end - start);
    }
    return {};
}

bool isUtf8Name(std::string_view charset) {
    const std::string name = asciiLower(charset);
    return name == "utf-8" || name == "utf8";
}

std::optional<std::string> decodeFromCharset(std::string_view bytes, std::string_view charset) {
    if (isUtf8Name(charset)) return toValidUtf8(bytes.starts_with(kUtf8Bom) ? bytes.substr(3) : bytes);
    std::string out;
    if (charset.empty() || !iconvToUtf8(bytes, asciiLower(charset), out)) return std::nullopt;
    if (out.starts_with(kUtf8Bom)) out.erase(0, kUtf8Bom.size());
    return out;
}

std::string decodeToUtf8(std::string_view bytes, std::string_view charset) {
    const std::string name = asciiLower(charset);
    if (auto decoded = decodeFromCharset(bytes, name)) return std::move(*decoded);
    if (bytes.starts_with(kUtf8Bom)) return toValidUtf8(bytes.substr(kUtf8Bom.size()));
    if (name.empty() || name.starts_with("utf-16") || name.starts_with("utf16")) {
        std::string out;
        if (bytes.starts_with(kUtf16LeBom) && iconvToUtf8(bytes.substr(2), "UTF-16LE", out)) return out;
        if (bytes.starts_with(kUtf16BeBom) && iconvToUtf8(bytes.substr(2), "UTF-16BE", out)) return out;
    }
    return toValidUtf8(bytes);
}

std::string decodePercentEscapes(std::string_view text) {
    const auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
            out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::size_t utf8Boundary(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text.size();
    std::size_t cut = limit;
    // A UTF-8 character has at most three continuation octets.
    while (cut + 3 > limit && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return cut;
}

std::string moreOctets(long long count) {
    return "\xE2\x80\xA6 (" + std::to_string(count) + " more octets)";
}

}  // namespace ostrel::text
