#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/Error.h"

namespace ostrel::files {

namespace {

constexpr const char* kSource = "Files";

[[noreturn]] void fail(int code, const std::string& what, const std::string& path) {
    throw Error(errors::kFileBase + code, kSource, what + " \"" + path + "\": " + std::strerror(code));
}

// Closes a file descriptor on every path out of a function.
class Fd {
public:
    explicit Fd(int fd) noexcept : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const noexcept { return fd_; }
    int release() noexcept { return std::exchange(fd_, -1); }

private:
    int fd_;
};

void writeAll(int fd, std::string_view bytes, const std::string& path) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            fail(errno, "Cannot write", path);
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

}  // namespace

bool exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

void remove(const std::string& path) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) fail(errno, "Cannot delete", path);
}

void replace(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) fail(errno, "Cannot replace", to);
}

std::string readAll(const std::string& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) fail(errno, "Cannot open", path);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) fail(errno, "Cannot read", path);
    if (S_ISDIR(info.st_mode)) fail(EISDIR, "Cannot read", path);
    std::string content;
    content.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            fail(errno, "Cannot read", path);
        }
        if (got == 0) break;
        content.append(buffer, static_cast<std::size_t>(got));
    }
    return content;
}

namespace {
// Large writes, few system calls: a result file can be tens of megabytes.
constexpr std::size_t kWriteBuffer = std::size_t(1) << 18;
}  // namespace

AtomicFile::AtomicFile(std::string path, Visibility visibility)
    : path_(std::move(path)), temp_(path_ + ".XXXXXX") {
    fd_ = ::mkstemp(temp_.data());  // 0600 from the start: nothing is readable before the mode is set
    if (fd_ < 0) fail(errno, "Cannot create a file beside", path_);
    if (visibility == Visibility::Readable) ::fchmod(fd_, 0644);
    buffer_.reserve(kWriteBuffer);
}

AtomicFile::~AtomicFile() {
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(temp_.c_str());
    }
}

void AtomicFile::write(std::string_view bytes) {
    if (buffer_.size() + bytes.size() > kWriteBuffer) flush();
    if (bytes.size() >= kWriteBuffer) {
        writeAll(fd_, bytes, temp_);
    } else {
        buffer_.append(bytes);
    }
}

void AtomicFile::flush() {
    writeAll(fd_, buffer_, temp_);
    buffer_.clear();
}

void AtomicFile::commit() {
    flush();
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0) {
        const int code = errno;
        ::unlink(temp_.c_str());
        fail(code, "Cannot write", temp_);
    }
    if (::rename(temp_.c_str(), path_.c_str()) != 0) {
        const int code = errno;
        ::unlink(temp_.c_str());
        fail(code, "Cannot replace", path_);
    }
}

void writeFileAtomically(const std::string& path, std::string_view bytes, Visibility visibility) {
    AtomicFile file(path, visibility);
    file.write(bytes);
    file.commit();
}

void makeFolders(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec) fail(ec.value(), "Cannot create the folder", path);
}

}  // namespace ostrel::files
