#include "client/ReplyReading.h"

#include <cstdio>

namespace ostrel::client {

namespace {

// FNV-1a, 64 bits.
constexpr std::uint64_t kOffsetBasis = 14695981039346656037ull;

std::uint64_t hashed(std::uint64_t hash, std::string_view octets) {
    for (const char c : octets) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return hash;
}

std::string hex(std::uint64_t hash) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

}  // namespace

std::string digestOf(std::string_view octets) {
    return hex(hashed(kOffsetBasis, octets));
}

void ReplyReading::begin(int status, std::string_view contentType) {
    reader_.begin(status, contentType);
    hash_ = kOffsetBasis;
    blank_ = true;
}

void ReplyReading::take(std::string_view octets) {
    reader_.take(octets);
    if (digesting_) hash_ = hashed(hash_, octets);
    blank_ = blank_ && octets.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

std::string ReplyReading::digest() const {
    return hex(hash_);
}

}  // namespace ostrel::client
