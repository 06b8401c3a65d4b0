#pragma once

// Octets kept in pages of their own, for reply bodies. Internal to the platform layer.
#include <cstddef>
#include <string_view>

namespace ostrel::http {

// The pages grow where they are, or move without being copied (the kernel remaps them), so a large body never
// exists twice while it grows. They go back to the system whole: a large block freed into the heap makes
// glibc's allocator first sweep up every small block freed before it, which after a large document was let go
// took tens of milliseconds.
class PageBuffer {
public:
    PageBuffer() = default;
    ~PageBuffer();
    PageBuffer(PageBuffer&& other) noexcept;
    PageBuffer& operator=(PageBuffer&& other) noexcept;
    PageBuffer(const PageBuffer&) = delete;
    PageBuffer& operator=(const PageBuffer&) = delete;

    void append(std::string_view octets);
    void reserve(std::size_t size);
    // Forgets the octets and keeps the pages.
    void clear() { size_ = 0; }
    // Forgets the octets and gives the pages back.
    void release();

    std::string_view view() const { return {data_, size_}; }
    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }

private:
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace ostrel::http
