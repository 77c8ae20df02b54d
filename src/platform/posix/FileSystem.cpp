// Generic POSIX code only: files and folders.
#include "platform/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool CreateOneDirectory(const char* path) {
    // The machine-wide log folder: written by its owner (root, who alone may
    // create folders in /var/lib) and read by everyone, whatever the umask.
    // Nobody else can plant names in it.
    if (::mkdir(path, 0755) != 0)
        return false;
    int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        ::fchmod(fd, 0755);
        ::close(fd);
    }
    return true;
}

} // namespace platform
} // namespace zel
