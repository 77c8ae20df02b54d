// Generic POSIX code only (with Linux's open-file-description locks): appending a
// line to the error log and rotating it.
#include "platform/LogFile.h"
#include "platform/LogAppendSteps.h"
#include "platform/posix/SharedFiles.h"
#include "platform/TrustedPath.h"
#include "base/Immortal.h"
#include "base/ObjectName.h"

#include <cerrno>
#include <climits>
#include <mutex>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zel {
namespace platform {

namespace {

// Never follow a link, never wait on a pipe, never leak into a child program.
const int kLogFlags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
// A new log is readable by every account and written by its creator, whatever
// the umask.
const mode_t kLogMode = 0644;
// How long a rotator waits for another one before it writes without rotating.
const unsigned int kRotationWaitMs = 500;
// Suffix of the name that something squatting a log name is moved to.
const char kBlockedSuffix[] = ".blocked";
// Beside the log: the file whose lock serialises rotations. Only accounts that
// may write the log may open it for writing, so a reader cannot hold rotation up.
const char kLockSuffix[] = ".lock";
// Trusted links followed from the log's name at most.
const int kMaxLinks = 8;

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
    if (S_ISREG(mode))
        return "a file";
    return "something";
}

// The log's folder, opened once per location under the trust rule and kept; a
// copy of its descriptor is handed out for one line. Opened again when the
// location changes or the folder was removed. Never destroyed, so that a line
// may be written while the process exits.
base::Immortal<std::mutex> g_folderMutexStore;
base::Immortal<std::string> g_folderStore;
std::mutex& g_folderMutex = *g_folderMutexStore;
std::string& g_folder = *g_folderStore;
int g_folderFd = -1;

int LogFolder(const std::string& folder, std::string& why) {
    std::lock_guard<std::mutex> lock(g_folderMutex);
    struct stat st;
    if (g_folderFd >= 0 &&
        (folder != g_folder || ::fstat(g_folderFd, &st) != 0 || st.st_nlink == 0)) {
        ::close(g_folderFd);
        g_folderFd = -1;
    }
    if (g_folderFd < 0) {
        int fd = trust::OpenFolder(folder, why);
        if (fd < 0)
            return -1;
        try {
            g_folder = folder;
        } catch (...) {
            ::close(fd);
            throw;
        }
        g_folderFd = fd;
    }
    return ::fcntl(g_folderFd, F_DUPFD_CLOEXEC, 0);
}

// The log file as the append steps see it: one descriptor, never held past a line.
class PosixLog {
public:
    PosixLog() = default;
    PosixLog(const PosixLog&) = delete;
    PosixLog& operator=(const PosixLog&) = delete;
    ~PosixLog() { Close(); }

    // Log: a regular file with one link, of this account or root. NotALog:
    // something else, of another account or with several links, is at the name
    // (moved aside). Refused: what is there is this account's own and is left
    // as it is (`Why` tells).
    LogOpened Open(const char* path) {
        std::string folder, leaf;
        if (!trust::SplitPath(path, folder, leaf))
            return LogOpened::Failed;
        m_named = path;
        for (int links = 0;; ++links) {
            std::string why;
            m_dir = LogFolder(folder, why);
            if (m_dir < 0) {
                if (why.empty())
                    return LogOpened::Failed;
                m_why = "the log " + base::EscapedText(path) + " is not used: " + why;
                return LogOpened::Refused;
            }
            m_folder = folder;
            m_leaf = leaf;
            struct stat at;
            if (::fstatat(m_dir, leaf.c_str(), &at, AT_SYMLINK_NOFOLLOW) != 0 ||
                !S_ISLNK(at.st_mode) || !trust::TrustedOwner(at.st_uid))
                break;
            // A link of this account or root is its intent: the log is where it
            // points, and rotates there.
            char target[PATH_MAX];
            ssize_t n = ::readlinkat(m_dir, leaf.c_str(), target, sizeof target - 1);
            if (n <= 0 || links >= kMaxLinks)
                return LogOpened::Failed;
            std::string to(target, static_cast<std::size_t>(n));
            if (to[0] != '/')
                to = folder + (folder == "/" ? "" : "/") + to;
            if (!trust::SplitPath(to, folder, leaf))
                return LogOpened::Failed;
            m_followed = true;
            Close();
        }
        m_fd = ::openat(m_dir, m_leaf.c_str(), kLogFlags);
        if (m_fd < 0 && errno == ENOENT) {
            m_fd = ::openat(m_dir, m_leaf.c_str(), kLogFlags | O_CREAT | O_EXCL, kLogMode);
            if (m_fd >= 0)
                (void)::fchmod(m_fd, kLogMode);
            else if (errno == EEXIST)
                m_fd = ::openat(m_dir, m_leaf.c_str(), kLogFlags);
        }
        if (m_fd >= 0 && ::fstat(m_fd, &m_opened) != 0) {
            Close();
            return LogOpened::Failed;
        }
        if (m_fd < 0 && errno != ELOOP && errno != EISDIR && errno != ENXIO && errno != EACCES)
            return LogOpened::Failed;
        if (m_fd < 0 && ::fstatat(m_dir, m_leaf.c_str(), &m_opened, AT_SYMLINK_NOFOLLOW) != 0)
            return LogOpened::Failed;
        if (m_fd >= 0 && S_ISREG(m_opened.st_mode) && m_opened.st_nlink == 1 &&
            trust::TrustedOwner(m_opened.st_uid))
            return LogOpened::Log;
        CloseFile(); // before anything is moved away from the name
        if (trust::TrustedOwner(m_opened.st_uid) && !S_ISREG(m_opened.st_mode) &&
            !S_ISLNK(m_opened.st_mode)) {
            m_why = std::string("the log ") + base::EscapedText(path) + " is " +
                    KindOf(m_opened.st_mode) +
                    " of this account, left where it is; the line was dropped";
            return LogOpened::Refused;
        }
        if (m_fd < 0 && errno == EACCES && S_ISREG(m_opened.st_mode) &&
            trust::TrustedOwner(m_opened.st_uid))
            return LogOpened::Failed; // a log this account may not write
        return LogOpened::NotALog;
    }

    const std::string& Why() const { return m_why; }

    long long OpenedSize() const { return static_cast<long long>(m_opened.st_size); }
    long long CurrentSize() const {
        struct stat now;
        return ::fstat(m_fd, &now) == 0 ? static_cast<long long>(now.st_size) : -1;
    }
    bool StillAt(const char*) const {
        struct stat atName;
        return ::fstatat(m_dir, m_leaf.c_str(), &atName, AT_SYMLINK_NOFOLLOW) == 0 &&
               shared::SameFile(atName, m_opened);
    }

    // Exclusive lock of the rotation lock file beside the log, waited for a
    // bounded time. The file is made with the log's write rights (read and write
    // for those who may write the log, nothing for the others).
    // Something squatting the lock's name (a link, a pipe, a file of another
    // account) is moved aside, and `notice` says so.
    bool LockRotation(std::string& notice) {
        const std::string lockLeaf = m_leaf + kLockSuffix;
        mode_t mode = S_IRUSR | S_IWUSR;
        if (m_opened.st_mode & S_IWGRP)
            mode |= S_IRGRP | S_IWGRP;
        if (m_opened.st_mode & S_IWOTH)
            mode |= S_IROTH | S_IWOTH;
        for (int attempt = 0; attempt < 3 && m_lock < 0; ++attempt) {
            struct stat st;
            bool created = false;
            std::string why;
            m_lock = trust::OpenFileAt(m_dir, m_folder, lockLeaf, O_RDWR | O_CREAT, mode, st,
                                       created, why);
            if (m_lock >= 0 && !trust::TrustedOwner(st.st_uid)) {
                ::close(m_lock);
                m_lock = -1;
                errno = EPERM;
            }
            if (m_lock >= 0 || errno == EAGAIN)
                continue;
            std::string moved = MoveAsideLeaf(lockLeaf, std::string());
            if (moved.empty())
                return false;
            notice = moved;
        }
        if (m_lock < 0)
            return false;
        return shared::LockByte(m_lock, 0, F_WRLCK, kRotationWaitMs);
    }
    void UnlockRotation() {
        if (m_lock >= 0)
            ::close(m_lock);
        m_lock = -1;
    }

    // One write. A line that stopped part-way (a full disk, a file-size limit) is
    // blanked where it stands, spaces ending in a line end, so the next line is
    // not glued onto it. Never cut off: another process may have appended after
    // it, and no check before a cut could rule that out.
    bool Write(const char* line, std::size_t length) {
        if (length == 0)
            return true;
        ssize_t written = 0;
        do {
            written = ::write(m_fd, line, length);
        } while (written < 0 && errno == EINTR);
        if (written > 0 && static_cast<std::size_t>(written) < length)
            BlankFragment(static_cast<std::size_t>(written));
        return written == static_cast<ssize_t>(length);
    }

    // Renames the log to the older generation, in the log's folder.
    bool Rename(const char*, const char* to, std::string& error) {
        if (::renameat(m_dir, m_leaf.c_str(), m_dir, OlderLeaf(to).c_str()) == 0)
            return true;
        error = std::strerror(errno);
        return false;
    }

    // Moves what squats `path` (the log's or the older generation's name; anything
    // but a regular file with one link of this account or root) to `path` +
    // ".blocked".
    std::string MoveAside(const char* path) {
        if (m_dir < 0)
            return std::string();
        const bool isLog = path == m_named;
        return MoveAsideLeaf(isLog ? m_leaf : OlderLeaf(path), path);
    }

private:
    std::string OlderLeaf(const char* older) const {
        std::string folder, leaf;
        if (!m_followed && trust::SplitPath(older, folder, leaf) && folder == m_folder)
            return leaf;
        return m_leaf + ".001"; // beside the file a trusted link leads to
    }

    // The last `count` bytes this descriptor wrote become spaces and a line end.
    // They are ours wherever later lines went: O_APPEND left the offset just
    // after them. Overwriting needs no new space on a full disk.
    void BlankFragment(std::size_t count) {
        const off_t end = ::lseek(m_fd, 0, SEEK_CUR);
        const int flags = ::fcntl(m_fd, F_GETFL);
        if (end < static_cast<off_t>(count) || flags < 0 ||
            ::fcntl(m_fd, F_SETFL, flags & ~O_APPEND) != 0)
            return; // an append-only file keeps the fragment
        char blank[256];
        std::memset(blank, ' ', sizeof blank);
        off_t at = end - static_cast<off_t>(count);
        while (at < end) {
            std::size_t n = static_cast<std::size_t>(end - at);
            if (n > sizeof blank)
                n = sizeof blank;
            if (at + static_cast<off_t>(n) == end)
                blank[n - 1] = '\n';
            ssize_t done = ::pwrite(m_fd, blank, n, at);
            if (done < 0 && errno == EINTR)
                continue;
            if (done <= 0)
                return;
            at += done;
        }
    }

    std::string MoveAsideLeaf(const std::string& leaf, const std::string& shown) {
        struct stat st;
        if (::fstatat(m_dir, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            (S_ISREG(st.st_mode) && st.st_nlink == 1 && trust::TrustedOwner(st.st_uid)))
            return std::string();
        const std::string aside = leaf + kBlockedSuffix;
        if (::renameat(m_dir, leaf.c_str(), m_dir, aside.c_str()) != 0)
            return std::string();
        const std::string name =
            shown.empty() ? m_folder + (m_folder == "/" ? "" : "/") + leaf : shown;
        const char* whose = trust::TrustedOwner(st.st_uid) ? "" : " of another account";
        return std::string(KindOf(st.st_mode)) + whose + " at " + base::EscapedText(name) +
               " was moved to " + base::EscapedText(name + kBlockedSuffix);
    }

    void CloseFile() {
        UnlockRotation();
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    void Close() {
        CloseFile();
        if (m_dir >= 0)
            ::close(m_dir);
        m_dir = -1;
    }

    int m_fd = -1;
    int m_dir = -1;
    int m_lock = -1;
    bool m_followed = false;
    std::string m_named, m_folder, m_leaf, m_why;
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
