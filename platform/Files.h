#pragma once

#include <string>
#include <string_view>

// File operations the windows and the document service need. Failures raise an Error whose number is
// errors::kFileBase plus the system's error code and whose description names the file and the reason.
namespace ostrel::files {

bool exists(const std::string& path);
// Removes a file; a file that is already gone is not an error.
void remove(const std::string& path);
std::string readAll(const std::string& path);
inline constexpr unsigned kShared = 0644;
inline constexpr unsigned kPrivate = 0600;

// A file written beside its final name and renamed into place by commit: readers see the old file or the
// new one, never half. Without a commit (an error on the way) the partial file is removed.
class AtomicFile {
public:
    // permissions: the file's mode; kPrivate for what holds the user's own data (a draft, a saved log).
    explicit AtomicFile(std::string path, unsigned permissions = kShared);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void write(std::string_view bytes);
    void commit();

private:
    void flush();

    std::string path_;
    std::string temp_;
    int fd_ = -1;
    std::string buffer_;
};

// Writes a whole file through an AtomicFile.
void writeFileAtomically(const std::string& path, std::string_view bytes, unsigned permissions = kShared);
// Creates a folder and its missing parents.
void makeFolders(const std::string& path);

}  // namespace ostrel::files
