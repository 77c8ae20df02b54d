// Generic POSIX code only (with Linux's open-file-description locks): appending a
// line to the error log and rotating it.
#include "platform/LogFile.h"
#include "platform/LogAppendSteps.h"
#include "platform/posix/SharedFiles.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zel {
namespace platform {

namespace {

// Never follow a link, never wait on a pipe, never leak into a child program.
const int kLogFlags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
// The rotation lock: one byte far beyond any real end of the file, so that it
// never meets a lock on the file's data.
const off_t kRotationLockByte = static_cast<off_t>(1) << 62;
// How long a rotator waits for another one before it writes without rotating.
const unsigned int kRotationWaitMs = 500;
// Suffix of the name that something squatting a log name is moved to.
const char kBlockedSuffix[] = ".blocked";

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISLNK(mode))
        return "a symbolic link";
    if (S_ISFIFO(mode))
        return "a pipe";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    return "a file with several links";
}

// The log file as the append steps see it: one descriptor, never held past a line.
class PosixLog {
public:
    PosixLog() = default;
    PosixLog(const PosixLog&) = delete;
    PosixLog& operator=(const PosixLog&) = delete;
    ~PosixLog() { Close(); }

    // Log: a regular file with one link. NotALog: something else is at the name.
    LogOpened Open(const char* path) {
        m_fd = ::open(path, kLogFlags | O_CREAT, 0666);
        // With fs.protected_regular, O_CREAT of another account's file in a sticky
        // folder is refused even to root; the file itself may still be opened.
        if (m_fd < 0 && errno == EACCES)
            m_fd = ::open(path, kLogFlags);
        if (m_fd < 0) {
            if (errno == ELOOP || errno == EISDIR || errno == ENXIO)
                return LogOpened::NotALog;
            return LogOpened::Failed;
        }
        if (::fstat(m_fd, &m_opened) != 0) {
            Close();
            return LogOpened::Failed;
        }
        if (!S_ISREG(m_opened.st_mode) || m_opened.st_nlink != 1) {
            Close(); // before anything is moved away from the name
            return LogOpened::NotALog;
        }
        return LogOpened::Log;
    }

    long long OpenedSize() const { return static_cast<long long>(m_opened.st_size); }
    long long CurrentSize() const {
        struct stat now;
        return ::fstat(m_fd, &now) == 0 ? static_cast<long long>(now.st_size) : -1;
    }
    bool StillAt(const char* path) const {
        struct stat atName;
        return ::lstat(path, &atName) == 0 && shared::SameFile(atName, m_opened);
    }

    // Exclusive lock of the rotation byte, waited for a bounded time.
    bool LockRotation() {
        return shared::LockByte(m_fd, kRotationLockByte, F_WRLCK, kRotationWaitMs);
    }
    void UnlockRotation() { shared::UnlockByte(m_fd, kRotationLockByte); }

    // One write. A line that stopped part-way is cut back off, so the next one is
    // not glued onto it: only when nobody has appended after it.
    bool Write(const char* line, std::size_t length) {
        if (length == 0)
            return true;
        ssize_t written = 0;
        do {
            written = ::write(m_fd, line, length);
        } while (written < 0 && errno == EINTR);
        if (written > 0 && static_cast<std::size_t>(written) < length) {
            off_t end = ::lseek(m_fd, 0, SEEK_CUR); // O_APPEND leaves it after our bytes
            struct stat st;
            if (end >= written && ::fstat(m_fd, &st) == 0 && st.st_size == end)
                (void)::ftruncate(m_fd, end - written);
        }
        return written == static_cast<ssize_t>(length);
    }

    static bool Rename(const char* from, const char* to, std::string& error) {
        if (::rename(from, to) == 0)
            return true;
        error = std::strerror(errno);
        return false;
    }

    // Moves what squats `path` (anything but a regular file with one link) to
    // `path` + ".blocked".
    static std::string MoveAside(const char* path) {
        struct stat st;
        if (::lstat(path, &st) != 0 || (S_ISREG(st.st_mode) && st.st_nlink == 1))
            return std::string();
        std::string aside = std::string(path) + kBlockedSuffix;
        if (::rename(path, aside.c_str()) != 0)
            return std::string();
        return std::string(KindOf(st.st_mode)) + " at " + path + " was moved to " + aside;
    }

private:
    void Close() {
        if (m_fd >= 0)
            ::close(m_fd); // also drops the rotation lock
        m_fd = -1;
    }

    int m_fd = -1;
    struct stat m_opened {};
};

} // namespace

LogAppend AppendLogLine(const char* path, const char* olderPath, long long rotateAbove,
                        const char* line, std::size_t length) {
    return AppendWithRotation<PosixLog>(path, olderPath, rotateAbove, line, length);
}

bool LockLogDescriptor(int fd, bool lock) {
    struct flock fl {};
    fl.l_type = lock ? F_WRLCK : F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0; // to the end of the file, however long it grows
    return ::fcntl(fd, F_SETLK, &fl) == 0;
}

} // namespace platform
} // namespace zel
