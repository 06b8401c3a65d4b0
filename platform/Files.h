#pragma once

#include <string>
#include <string_view>

// File operations the windows and the document service need. Failures raise an Error whose number is
// errors::kFileBase plus the system's error code and whose description names the file and the reason.
namespace ostrel::files {

bool exists(const std::string& path);
// Removes a file; a file that is already gone is not an error.
void remove(const std::string& path);
// Puts a file in another's place in one step: readers see the old file or the new one, never neither.
void replace(const std::string& from, const std::string& to);
std::string readAll(const std::string& path);
// Who may read a file written here: everyone (0644), or only its owner (0600), for files that hold what the
// user typed or received (a saved protocol log, drafts, settings).
enum class Visibility { Readable, Private };

// A file written beside its final name and renamed into place by commit: readers see the old file or the
// new one, never half. Without a commit (an error on the way) the partial file is removed. The file has the
// visibility asked for from its creation on, also where it replaces a file that was readable by others.
class AtomicFile {
public:
    explicit AtomicFile(std::string path, Visibility visibility = Visibility::Readable);
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
void writeFileAtomically(const std::string& path, std::string_view bytes,
                         Visibility visibility = Visibility::Readable);
// Creates a folder and its missing parents.
void makeFolders(const std::string& path);

}  // namespace ostrel::files
