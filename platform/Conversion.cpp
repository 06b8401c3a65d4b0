#include "platform/Conversion.h"

#include <iconv.h>

#include <cerrno>

namespace ostrel::text {

void Conversion::Close::operator()(void* handle) const noexcept {
    iconv_close(static_cast<iconv_t>(handle));
}

Conversion::Conversion(const std::string& charset) {
    iconv_t handle = iconv_open("UTF-8", charset.c_str());
    if (handle != reinterpret_cast<iconv_t>(-1)) handle_.reset(handle);
}

Conversion::Stop Conversion::step(std::string_view& octets, char* buffer, std::size_t size,
                                  std::string_view& text) {
    char* in = const_cast<char*>(octets.data());
    std::size_t inLeft = octets.size();
    char* out = buffer;
    std::size_t outLeft = size;
    const std::size_t rc = iconv(static_cast<iconv_t>(handle_.get()), &in, &inLeft, &out, &outLeft);
    octets.remove_prefix(octets.size() - inLeft);
    text = std::string_view(buffer, static_cast<std::size_t>(out - buffer));
    if (rc != static_cast<std::size_t>(-1)) return Stop::Converted;
    if (errno == E2BIG) return Stop::BufferFull;
    return errno == EINVAL ? Stop::Unfinished : Stop::Invalid;
}

}  // namespace ostrel::text
