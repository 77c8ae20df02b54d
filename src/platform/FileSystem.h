// Files and folders: what the error log's location and the directory code need.
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
// on Windows, "/var/tmp/ZELError.txt" elsewhere (one per backend).
const char* FallbackLogPath();
// The same, or "ZELError.txt" in the overriding folder while there is one, so
// that tests of the fallback stay inside their own folders.
std::string FallbackLogLocation();
// Replaces the answer of MachineDataFolder for this process (tests use a
// temporary folder); an empty text restores the system's folder.
void OverrideMachineDataFolder(const std::string& folder);

enum class PathKind { Missing, Directory, Other };
PathKind StatPath(const char* path);

} // namespace platform
} // namespace zel
