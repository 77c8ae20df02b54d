// Generic POSIX code only (with Linux's open-file-description locks): appending a
// line to the error log and rotating it.
#include "platform/LogFile.h"
#include "platform/LogAppendSteps.h"
#include "platform/CallDeadline.h"
#include "platform/Errors.h"
#include "platform/posix/SharedFiles.h"
#include "platform/TrustedPath.h"
#include "base/Immortal.h"
#include "base/ObjectName.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <mutex>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
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
// After a whole wait for the rotation lock in vain, the lines of the next second
// only try it: a process that keeps the lock delays rotation, not every line.
const long long kBusyForgetNs = 1000000000LL;
std::atomic<long long> g_rotationBusyUntil{0};

long long SteadyNs() {
    timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

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

// The log's folder, opened once per location under the trust rule and kept
// between lines. Each line looks at the location's folder by name once (one
// `stat`) and compares it with the kept device and inode: when the name now leads
// elsewhere (the folder was renamed away, removed, or a relative location meets
// another current folder), it is resolved again. The kept descriptor is lent to
// the line, never duplicated: every line is written under the log's process-wide
// lock. Never destroyed, so that a line may be written while the process exits.
base::Immortal<std::mutex> g_folderMutexStore;
base::Immortal<std::string> g_folderStore;
std::mutex& g_folderMutex = *g_folderMutexStore;
std::string& g_folder = *g_folderStore;
int g_folderFd = -1;
dev_t g_folderDev = 0;
ino_t g_folderIno = 0;

// The folder and last name of a location, absolute or relative to the current
// folder ("rel.log" is "." and "rel.log"); false without a last name.
bool SplitLocation(const std::string& path, std::string& folder, std::string& leaf) {
    std::size_t slash = path.find_last_of('/');
    if (path.empty() || slash + 1 == path.size())
        return false;
    folder = slash == std::string::npos ? std::string(".")
             : slash == 0               ? std::string("/")
                                        : path.substr(0, slash);
    leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    return leaf != "." && leaf != "..";
}

// The absolute path of `folder`: a relative one is taken against the current folder.
bool Absolute(const std::string& folder, std::string& absolute) {
    if (folder[0] == '/') {
        absolute = folder;
        return true;
    }
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd) == nullptr || cwd[0] != '/')
        return false;
    absolute = cwd;
    if (folder != ".")
        absolute += (absolute == "/" ? "" : "/") + folder;
    return true;
}

// The last location split into its folder and last name, kept so that a line
// allocates nothing for it. Guarded by the log's process-wide lock, under which
// every line is written; never destroyed (lines are written during exit).
struct Split {
    std::string path, folder, leaf;
    bool ok = false;
};
base::Immortal<Split> g_splitStore;

const Split& SplitOf(const char* path) {
    Split& split = *g_splitStore;
    if (split.path != path || split.path.empty()) {
        split.ok = false;
        split.path = path;
        split.ok = SplitLocation(split.path, split.folder, split.leaf);
    }
    return split;
}

// The kept descriptor of `folder` (lent, not to be closed), -1 with `why` set
// when the trust rule refuses it.
int LogFolder(const std::string& folder, std::string& why) {
    std::lock_guard<std::mutex> lock(g_folderMutex);
    struct stat st;
    const bool named = ::stat(folder.c_str(), &st) == 0;
    if (g_folderFd >= 0 && named && st.st_dev == g_folderDev && st.st_ino == g_folderIno &&
        folder == g_folder)
        return g_folderFd;
    if (g_folderFd >= 0) {
        ::close(g_folderFd);
        g_folderFd = -1;
    }
    if (!named)
        return -1;
    std::string absolute;
    if (!Absolute(folder, absolute))
        return -1;
    int fd = trust::OpenFolder(absolute, why);
    if (fd < 0)
        return -1;
    // What was resolved is kept only if the name still leads to it; otherwise the
    // name moves under this line, which uses what it resolved and looks again next time.
    struct stat kept;
    if (::fstat(fd, &kept) != 0) {
        ::close(fd);
        return -1;
    }
    try {
        g_folder = folder;
    } catch (...) {
        ::close(fd);
        throw;
    }
    g_folderFd = fd;
    g_folderDev = kept.st_dev;
    g_folderIno = kept.st_ino;
    return fd;
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
    // as it is (`Why` tells). A file this call creates gets `createMode` (0: the
    // default), whatever the umask.
    //
    // A line that does not rotate costs five system calls: the look at the
    // folder's name, this open, `fstat` on the descriptor, the write and the close.
    // The name is looked at only when the open says a link is there.
    LogOpened Open(const char* path, unsigned int createMode) {
        const Split& split = SplitOf(path);
        if (!split.ok)
            return LogOpened::Failed;
        m_named = path;
        std::string why;
        m_dir = LogFolder(split.folder, why);
        if (m_dir < 0) {
            if (why.empty())
                return LogOpened::Failed;
            m_why = "the log " + base::EscapedText(path) + " is not used: " + why;
            return LogOpened::Refused;
        }
        m_folder = &split.folder;
        m_leaf = &split.leaf;
        int error = 0;
        for (int links = 0;; ++links) {
            m_fd = ::openat(m_dir, m_leaf->c_str(), kLogFlags);
            error = errno;
            struct stat at;
            if (m_fd >= 0 || error != ELOOP ||
                ::fstatat(m_dir, m_leaf->c_str(), &at, AT_SYMLINK_NOFOLLOW) != 0 ||
                !S_ISLNK(at.st_mode) || !trust::TrustedOwner(at.st_uid))
                break;
            // A link of this account or root is its intent: the log is where it
            // points, and rotates there.
            char target[PATH_MAX];
            ssize_t n = ::readlinkat(m_dir, m_leaf->c_str(), target, sizeof target - 1);
            if (n <= 0 || links >= kMaxLinks)
                return LogOpened::Failed;
            std::string to(target, static_cast<std::size_t>(n));
            if (to[0] != '/') { // relative to the link's folder
                if (*m_folder != "/")
                    to.insert(0, 1, '/');
                to.insert(0, *m_folder);
            }
            std::string folder, leaf, absolute;
            if (!SplitLocation(to, folder, leaf) || !Absolute(folder, absolute))
                return LogOpened::Failed;
            int dir = trust::OpenFolder(absolute, why);
            if (dir < 0)
                return LogOpened::Failed;
            Close();
            m_dir = dir;
            m_ownDir = true;
            m_ownFolder = absolute;
            m_ownLeaf = leaf;
            m_folder = &m_ownFolder;
            m_leaf = &m_ownLeaf;
            m_followed = true;
        }
        if (m_fd < 0 && error == ENOENT) {
            const mode_t mode = createMode != 0 ? static_cast<mode_t>(createMode) : kLogMode;
            m_fd = ::openat(m_dir, m_leaf->c_str(), kLogFlags | O_CREAT | O_EXCL, mode);
            error = errno;
            if (m_fd >= 0)
                (void)::fchmod(m_fd, mode);
            else if (error == EEXIST) {
                m_fd = ::openat(m_dir, m_leaf->c_str(), kLogFlags);
                error = errno;
            }
        }
        if (m_fd >= 0 && ::fstat(m_fd, &m_opened) != 0) {
            Close();
            return LogOpened::Failed;
        }
        if (m_fd < 0 && error != ELOOP && error != EISDIR && error != ENXIO && error != EACCES)
            return LogOpened::Failed;
        if (m_fd < 0 && ::fstatat(m_dir, m_leaf->c_str(), &m_opened, AT_SYMLINK_NOFOLLOW) != 0)
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
        if (m_fd < 0 && error == EACCES && S_ISREG(m_opened.st_mode) &&
            trust::TrustedOwner(m_opened.st_uid))
            return LogOpened::Failed; // a log this account may not write
        return LogOpened::NotALog;
    }

    // The read and write rights of the file opened, for the fresh log that
    // replaces it when it is rotated: a host's 0666 log stays 0666.
    unsigned int ModeForNext() const { return static_cast<unsigned int>(m_opened.st_mode & 0666); }

    const std::string& Why() const { return m_why; }

    long long OpenedSize() const { return static_cast<long long>(m_opened.st_size); }
    long long CurrentSize() const {
        struct stat now;
        return ::fstat(m_fd, &now) == 0 ? static_cast<long long>(now.st_size) : -1;
    }
    bool StillAt(const char*) const {
        struct stat atName;
        return ::fstatat(m_dir, m_leaf->c_str(), &atName, AT_SYMLINK_NOFOLLOW) == 0 &&
               shared::SameFile(atName, m_opened);
    }

    // Exclusive lock of the rotation lock file beside the log, waited for within
    // the call's deadline. The file is made with the rights rotating needs: read
    // and write for the log's owner, and for its group when the group may write
    // the log; nothing for other accounts, even where they may write the log (a
    // host's 0666 log), so that no other account can hold rotation up. A lock file
    // of this account or root with wider rights (made before) is narrowed.
    // Something squatting the lock's name (a link, a pipe, a file of another
    // account) is moved aside, and `notice` says so.
    bool LockRotation(std::string& notice, std::string& blocked) {
        const std::string lockLeaf = *m_leaf + kLockSuffix;
        blocked = "another process holds the rotation lock";
        mode_t mode = S_IRUSR | S_IWUSR;
        if (m_opened.st_mode & S_IWGRP)
            mode |= S_IRGRP | S_IWGRP;
        for (int attempt = 0; attempt < 3 && m_lock < 0; ++attempt) {
            struct stat st;
            bool created = false;
            std::string why;
            m_lock = trust::OpenFileAt(m_dir, *m_folder, lockLeaf, O_RDWR | O_CREAT, mode, st,
                                       created, why);
            if (m_lock >= 0 && !trust::TrustedOwner(st.st_uid)) {
                ::close(m_lock);
                m_lock = -1;
                errno = EPERM;
            }
            if (m_lock >= 0 && (st.st_mode & 0777 & ~mode) != 0)
                (void)::fchmod(m_lock, st.st_mode & mode);
            if (m_lock >= 0 || errno == EAGAIN)
                continue;
            const int error = errno;
            std::string moved = MoveAsideLeaf(lockLeaf, std::string());
            if (moved.empty()) {
                if (error == EACCES)
                    blocked = "this account may not open its rotation lock";
                return false;
            }
            notice = moved;
        }
        if (m_lock < 0)
            return false;
        // Past the call's deadline the lock is only tried, never waited for.
        const unsigned int waitMs =
            SteadyNs() < g_rotationBusyUntil.load() ? 0 : CallWaitLeftMs(kRotationWaitMs);
        if (shared::LockByte(m_lock, 0, F_WRLCK, waitMs))
            return true;
        if (waitMs > 0 && errno == ETIMEDOUT)
            g_rotationBusyUntil.store(SteadyNs() + kBusyForgetNs);
        return false;
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
        if (::renameat(m_dir, m_leaf->c_str(), m_dir, OlderLeaf(to).c_str()) == 0)
            return true;
        // The system's text without its line end, or strerror's words for a code
        // it has none for.
        const int code = errno;
        if (ErrorText(static_cast<unsigned long>(code), error) && error.back() == '\n')
            error.pop_back();
        else
            error = "Unknown error " + std::to_string(code);
        return false;
    }

    // Moves what squats `path` (the log's or the older generation's name; anything
    // but a regular file with one link of this account or root) to `path` +
    // ".blocked".
    std::string MoveAside(const char* path) {
        if (m_dir < 0)
            return std::string();
        const bool isLog = std::strcmp(path, m_named) == 0;
        return MoveAsideLeaf(isLog ? *m_leaf : OlderLeaf(path), path);
    }

private:
    std::string OlderLeaf(const char* older) const {
        std::string folder, leaf;
        if (!m_followed && trust::SplitPath(older, folder, leaf) && folder == *m_folder)
            return leaf;
        return *m_leaf + ".001"; // beside the file a trusted link leads to
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
            shown.empty() ? *m_folder + (*m_folder == "/" ? "" : "/") + leaf : shown;
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
        if (m_dir >= 0 && m_ownDir)
            ::close(m_dir);
        m_dir = -1;
        m_ownDir = false;
    }

    int m_fd = -1;
    int m_dir = -1;
    int m_lock = -1;
    bool m_ownDir = false; // else the kept folder, lent for this line
    bool m_followed = false;
    const char* m_named = "";
    // The location's folder and last name (kept from line to line), or where a
    // trusted link at the name leads (m_ownFolder, m_ownLeaf).
    const std::string* m_folder = nullptr;
    const std::string* m_leaf = nullptr;
    std::string m_ownFolder, m_ownLeaf, m_why;
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
