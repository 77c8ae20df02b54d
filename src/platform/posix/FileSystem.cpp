// Generic POSIX code only: files and folders.
#include "platform/FileSystem.h"

#include <cerrno>
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
    // Machine-wide folder: every account may create files in it, but only a
    // file's owner may rename or delete it (the sticky bit, as /tmp), much as
    // the ProgramData permissions on Windows. It also stops the kernel from
    // following another account's symbolic link planted in the folder.
    if (::mkdir(path, 01777) != 0)
        return false;
    ::chmod(path, 01777);
    return true;
}

int OpenForWrite(const char* path) {
    return ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
}

bool DescriptorSize(int fd, long long& size) {
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return false;
    size = static_cast<long long>(st.st_size);
    return true;
}

bool LockDescriptor(int fd, bool lock) {
    struct flock fl {};
    fl.l_type = lock ? F_WRLCK : F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0; // to the end of the file, however long it grows
    return ::fcntl(fd, F_SETLK, &fl) == 0;
}

void CloseDescriptor(int fd) {
    ::close(fd);
}

bool RemoveFile(const char* path) {
    return ::unlink(path) == 0;
}
bool RenameFile(const char* from, const char* to) {
    return ::rename(from, to) == 0;
}

bool AppendText(const char* path, const char* text, std::size_t length) {
    int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    // O_APPEND makes each write land whole at the end of the file, also when
    // other processes append at the same time.
    ssize_t written;
    do {
        written = ::write(fd, text, length);
    } while (written < 0 && errno == EINTR);
    ::close(fd);
    return written == static_cast<ssize_t>(length);
}

} // namespace platform
} // namespace zel
