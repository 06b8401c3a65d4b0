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
// Writes beside the final name and renames into place: readers see the old file or the new one, never half.
void writeFileAtomically(const std::string& path, std::string_view bytes);
// Creates a folder and its missing parents.
void makeFolders(const std::string& path);

}  // namespace ostrel::files
