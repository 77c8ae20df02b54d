// Generic POSIX code only: files and folders.
#include "platform/FileSystem.h"

#include <sys/stat.h>

namespace zel {
namespace platform {

bool SystemDataFolder(std::string& folder) {
    folder = "/var/lib";
    return true;
}

const char* FallbackLogPath() {
    return "/var/tmp/ZELError.txt";
}

PathKind StatPath(const char* path) {
    struct stat st;
    if (path == nullptr || ::stat(path, &st) != 0)
        return PathKind::Missing;
    return S_ISDIR(st.st_mode) ? PathKind::Directory : PathKind::Other;
}

} // namespace platform
} // namespace zel
