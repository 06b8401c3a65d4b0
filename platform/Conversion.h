#pragma once

// Octets in a named charset converted to UTF-8 by the C library. Internal to the platform layer: the text
// codec converts whole replies, the decoder replies as they arrive.
#include <memory>
#include <string>
#include <string_view>

namespace ostrel::text {

inline constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

class Conversion {
public:
    // Converts from charset (any name iconv knows) to UTF-8; a name it does not know gives a conversion that
    // tests false.
    explicit Conversion(const std::string& charset);
    explicit operator bool() const { return handle_ != nullptr; }

    // Hands the text made of the octets to take, piece by piece; an octet that begins no character becomes
    // U+FFFD. Unless these are the last octets, a character they end before it is complete is left for the
    // next ones: what is left is returned.
    template <typename Take>
    std::string_view convert(std::string_view octets, bool last, Take take) {
        char buffer[16384];
        while (!octets.empty()) {
            std::string_view text;
            const Stop stop = step(octets, buffer, sizeof buffer, text);
            take(text);
            if (stop == Stop::Converted || stop == Stop::BufferFull) continue;
            if (stop == Stop::Unfinished && !last) break;
            take(kReplacement);
            octets.remove_prefix(1);
        }
        return octets;
    }

private:
    enum class Stop { Converted, BufferFull, Invalid, Unfinished };
    // One call of iconv: converts from the front of octets into buffer.
    Stop step(std::string_view& octets, char* buffer, std::size_t size, std::string_view& text);

    struct Close {
        void operator()(void* handle) const noexcept;
    };
    std::unique_ptr<void, Close> handle_;
};

}  // namespace ostrel::text
