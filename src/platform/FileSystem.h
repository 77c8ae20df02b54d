// Files and folders: what the error log and the directory code need.
#pragma once

#include <cstddef>
#include <string>

namespace zel {
namespace platform {

// The path separator of this platform ('\\' on Windows, '/' elsewhere).
#if defined(_WIN32)
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif
inline char PathSeparator() {
    return kPathSeparator;
}

// The machine-wide data folder (FOLDERID_ProgramData on Windows, /var/lib
// elsewhere), without a trailing separator. False when it cannot be obtained.
bool MachineDataFolder(std::string& folder);
// The system's answer alone, without the override below (one per backend).
bool SystemDataFolder(std::string& folder);
// Where the error log goes when the data folder is unusable: "C:\\ZELError.txt"
// on Windows, "/var/tmp/ZELError.txt" elsewhere.
const char* FallbackLogPath();
// Replaces the answer of MachineDataFolder for this process (tests use a
// temporary folder); an empty text restores the system's folder.
void OverrideMachineDataFolder(const std::string& folder);

enum class PathKind { Missing, Directory, Other };
PathKind StatPath(const char* path);
bool CreateOneDirectory(const char* path);

// A low-level descriptor opened for writing, created (read and write permission)
// when missing; -1 on failure.
int OpenForWrite(const char* path);
bool DescriptorSize(int fd, long long& size);
// Exclusive, non-waiting lock (or release) of the whole byte range of fd.
bool LockDescriptor(int fd, bool lock);
void CloseDescriptor(int fd);

bool RemoveFile(const char* path);
bool RenameFile(const char* from, const char* to);

// Appends `text` (lines ending in '\n') to the file at `path`, creating it, in a
// single write so that lines of other threads and processes never interleave.
// Windows writes the text-mode line end CR LF. False when nothing was written.
bool AppendText(const char* path, const char* text, std::size_t length);

} // namespace platform
} // namespace zel
