// Generic POSIX code only (with Linux's open-file-description locks): appending a
// line to the error log and rotating it.
#include "platform/LogFile.h"

#include <cerrno>
#include <cstring>
#include <ctime>
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
const int kRotationWaitMs = 500;
// Suffix of the name that something squatting a log name is moved to.
const char kBlockedSuffix[] = ".blocked";

enum class Opened { Log, NotALog, Failed };

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

// Opens the log for appending. Log: fd and st describe a regular file with one
// link. NotALog: something else is at the name. Failed: nothing could be opened.
Opened OpenLog(const char* path, int& fd, struct stat& st) {
    fd = ::open(path, kLogFlags | O_CREAT, 0666);
    // With fs.protected_regular, O_CREAT of another account's file in a sticky
    // folder is refused even to root; the file itself may still be opened.
    if (fd < 0 && errno == EACCES)
        fd = ::open(path, kLogFlags);
    if (fd < 0) {
        if (errno == ELOOP || errno == EISDIR || errno == ENXIO || errno == ENOTDIR)
            return errno == ENOTDIR ? Opened::Failed : Opened::NotALog;
        return Opened::Failed;
    }
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        fd = -1;
        return Opened::Failed;
    }
    if (!S_ISREG(st.st_mode) || st.st_nlink != 1) {
        ::close(fd);
        fd = -1;
        return Opened::NotALog;
    }
    return Opened::Log;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Moves what squats `path` (anything but a regular file with one link) out of the
// way, to `path` + ".blocked". Returns a notice for the log, "" when nothing moved.
std::string MoveAside(const char* path) {
    struct stat st;
    if (::lstat(path, &st) != 0 || (S_ISREG(st.st_mode) && st.st_nlink == 1))
        return std::string();
    std::string aside = std::string(path) + kBlockedSuffix;
    if (::rename(path, aside.c_str()) != 0)
        return std::string();
    return std::string(KindOf(st.st_mode)) + " at " + path + " was moved to " + aside;
}

// Non-waiting exclusive lock of the rotation byte, tried for a bounded time.
bool LockRotation(int fd) {
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = kRotationLockByte;
    fl.l_len = 1;
    for (int waited = 0;; ++waited) {
        if (::fcntl(fd, F_OFD_SETLK, &fl) == 0)
            return true;
        if ((errno != EAGAIN && errno != EACCES && errno != EINTR) || waited >= kRotationWaitMs)
            return false;
        timespec pause{0, 1000000L};
        ::nanosleep(&pause, nullptr);
    }
}

// Rotates the log open at fd (measured as `measured`) under the rotation lock.
// True when the name now holds another file (or none), so the caller opens again.
bool Rotate(int fd, const struct stat& measured, const char* path, const char* older,
            long long limit, std::string& notice) {
    if (!LockRotation(fd)) {
        notice = std::string("the log ") + path +
                 " is over its size limit and was not rotated: another process holds "
                 "the rotation lock";
        return false;
    }
    // Under the lock: is the file at the name still the one measured, still full?
    struct stat now, atName;
    if (::fstat(fd, &now) != 0 || ::lstat(path, &atName) != 0 || !SameFile(atName, measured))
        return true; // another process rotated it meanwhile
    if (static_cast<long long>(now.st_size) <= limit)
        return false;
    // rename replaces the older generation in one step; only a folder stops it.
    if (::rename(path, older) == 0)
        return true;
    int error = errno;
    std::string moved = MoveAside(older);
    if (!moved.empty() && ::rename(path, older) == 0) {
        notice = moved;
        return true;
    }
    notice = std::string("the log ") + path +
             " is over its size limit and could not be renamed to " + older + ": " +
             std::strerror(error);
    return false;
}

// Cuts a line that was only partly written back off, so the next one is not
// glued onto it: only when nobody has appended after it.
void CutBack(int fd, ssize_t written) {
    off_t end = ::lseek(fd, 0, SEEK_CUR); // O_APPEND leaves it after our bytes
    struct stat st;
    if (end >= written && ::fstat(fd, &st) == 0 && st.st_size == end)
        (void)::ftruncate(fd, end - written);
}

} // namespace

LogAppend AppendLogLine(const char* path, const char* olderPath, long long rotateAbove,
                        const char* line, std::size_t length) {
    LogAppend result;
    if (path == nullptr || *path == '\0')
        return result;
    // At most: squatter moved, rotated, then the fresh file.
    for (int attempt = 0; attempt < 4; ++attempt) {
        int fd = -1;
        struct stat st;
        Opened opened = OpenLog(path, fd, st);
        if (opened == Opened::NotALog) {
            std::string moved = MoveAside(path);
            if (moved.empty())
                return result; // the line is dropped
            result.notice = moved;
            continue;
        }
        if (opened == Opened::Failed)
            return result;
        if (rotateAbove >= 0 && olderPath != nullptr &&
            static_cast<long long>(st.st_size) > rotateAbove) {
            std::string notice;
            bool again = Rotate(fd, st, path, olderPath, rotateAbove, notice);
            if (!notice.empty()) {
                result.notice = notice;
                result.lasting = !again;
            }
            if (again) {
                ::close(fd);                // also drops the rotation lock
                rotateAbove = kNeverRotate; // the fresh file is never full
                continue;
            }
        }
        ssize_t written = 0;
        if (length > 0) {
            do {
                written = ::write(fd, line, length);
            } while (written < 0 && errno == EINTR);
            if (written > 0 && static_cast<std::size_t>(written) < length)
                CutBack(fd, written);
        }
        ::close(fd);
        result.written = written == static_cast<ssize_t>(length);
        return result;
    }
    return result;
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
