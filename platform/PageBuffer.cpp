#include "platform/PageBuffer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include <sys/mman.h>
#include <unistd.h>

namespace ostrel::http {

namespace {

std::size_t inPages(std::size_t size) {
    static const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return (size + page - 1) / page * page;
}

}  // namespace

PageBuffer::~PageBuffer() {
    release();
}

PageBuffer::PageBuffer(PageBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

PageBuffer& PageBuffer::operator=(PageBuffer&& other) noexcept {
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
}

void PageBuffer::release() {
    if (data_) munmap(data_, capacity_);
    data_ = nullptr;
    size_ = capacity_ = 0;
}

void PageBuffer::reserve(std::size_t size) {
    if (size <= capacity_) return;
    const std::size_t capacity = inPages(size);
    void* pages = data_ ? mremap(data_, capacity_, capacity, MREMAP_MAYMOVE)
                        : mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED) throw std::bad_alloc();
    data_ = static_cast<char*>(pages);
    capacity_ = capacity;
}

void PageBuffer::append(std::string_view octets) {
    if (octets.empty()) return;
    // Doubling keeps the number of remaps small; untouched pages cost no memory.
    if (size_ + octets.size() > capacity_) reserve(std::max(size_ + octets.size(), capacity_ * 2));
    std::memcpy(data_ + size_, octets.data(), octets.size());
    size_ += octets.size();
}

}  // namespace ostrel::http
