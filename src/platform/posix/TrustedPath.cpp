// Generic POSIX code only (openat2 where the kernel has it): resolving and opening
// what another account can reach. See TrustedPath.h for the rule.
#include "platform/TrustedPath.h"

#include "base/ObjectName.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace zel {
namespace platform {
namespace trust {

namespace {

std::atomic<bool> g_forceWalk{false};

bool WalkForced() {
    return g_forceWalk;
}
const int kMaxLinks = 40; // as the kernel's own limit

void CloseAll(std::vector<int>& fds) {
    for (int fd : fds)
        ::close(fd);
    fds.clear();
}

// The kernel's own walk: no link at all. -1 with errno ELOOP where a link is on
// the way (the component walk then decides), ENOSYS where there is no openat2.
int OpenWithoutLinks(const std::string& path) {
#ifdef SYS_openat2
    struct open_how how {};
    how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    long fd = ::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how);
    if (fd < 0 && (errno == E2BIG || errno == EPERM))
        errno = ENOSYS; // an older interface, or a filter that forbids the call
    return static_cast<int>(fd);
#else
    (void)path;
    errno = ENOSYS;
    return -1;
#endif
}

void SplitInto(const std::string& path, std::deque<std::string>& parts, bool front) {
    std::vector<std::string> found;
    std::size_t i = 0;
    while (i < path.size()) {
        std::size_t j = path.find('/', i);
        if (j == std::string::npos)
            j = path.size();
        if (j > i)
            found.push_back(path.substr(i, j - i));
        i = j + 1;
    }
    if (front)
        parts.insert(parts.begin(), found.begin(), found.end());
    else
        parts.insert(parts.end(), found.begin(), found.end());
}

// One component at a time from "/", following only trusted links.
int WalkFolder(const std::string& path, std::string& why) {
    std::vector<int> stack;
    int root = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (root < 0)
        return -1;
    stack.push_back(root);
    std::deque<std::string> parts;
    SplitInto(path, parts, false);
    std::string walked; // for messages
    int links = 0;
    while (!parts.empty()) {
        const std::string part = parts.front();
        parts.pop_front();
        if (part == ".")
            continue;
        if (part == "..") {
            if (stack.size() > 1) {
                ::close(stack.back());
                stack.pop_back();
            }
            continue;
        }
        int fd = ::openat(stack.back(), part.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        struct stat st;
        if (fd < 0 || ::fstat(fd, &st) != 0) {
            int error = errno;
            if (fd >= 0)
                ::close(fd);
            CloseAll(stack);
            errno = error;
            return -1;
        }
        walked += "/" + part;
        if (S_ISLNK(st.st_mode)) {
            char target[PATH_MAX];
            ssize_t n = -1;
            if (TrustedOwner(st.st_uid) && ++links <= kMaxLinks)
                n = ::readlinkat(fd, "", target, sizeof target - 1);
            ::close(fd);
            if (n <= 0) {
                why = "the symbolic link " + base::EscapedText(walked) +
                      (TrustedOwner(st.st_uid) ? " cannot be followed"
                                               : " belongs to another account");
                CloseAll(stack);
                errno = ELOOP;
                return -1;
            }
            const std::string to(target, static_cast<std::size_t>(n));
            if (to[0] == '/') {
                while (stack.size() > 1) {
                    ::close(stack.back());
                    stack.pop_back();
                }
            }
            SplitInto(to, parts, true);
            continue;
        }
        if (!S_ISDIR(st.st_mode)) {
            ::close(fd);
            CloseAll(stack);
            errno = ENOTDIR;
            return -1;
        }
        stack.push_back(fd);
    }
    int result = stack.back();
    stack.pop_back();
    CloseAll(stack);
    return result;
}

bool HasAccessList(const std::string& path) {
    return ::lgetxattr(path.c_str(), "system.posix_acl_access", nullptr, 0) > 0;
}

// The rights `uid` has on an object of this owner and mode: read 4, write 2,
// search 1. Group rights are left out (the account's groups are not known here).
int RightsOf(uid_t uid, const struct stat& st) {
    if (uid == 0)
        return 7;
    if (uid == st.st_uid)
        return static_cast<int>((st.st_mode >> 6) & 7);
    return static_cast<int>(st.st_mode & 7);
}

} // namespace

void ForceComponentWalk(bool force) {
    g_forceWalk = force;
}

bool TrustedOwner(uid_t owner) {
    return owner == 0 || owner == ::geteuid();
}

bool SplitPath(const std::string& path, std::string& folder, std::string& leaf) {
    std::size_t slash = path.find_last_of('/');
    if (path.empty() || path[0] != '/' || slash == std::string::npos || slash + 1 == path.size()) {
        errno = EINVAL;
        return false;
    }
    folder = slash == 0 ? std::string("/") : path.substr(0, slash);
    leaf = path.substr(slash + 1);
    if (leaf == "." || leaf == "..") {
        errno = EINVAL;
        return false;
    }
    return true;
}

int OpenFolder(const std::string& path, std::string& why) {
    if (path.empty() || path[0] != '/') {
        errno = EINVAL;
        why = "the path " + base::EscapedText(path) + " is not absolute";
        return -1;
    }
    if (!WalkForced()) {
        int fd = OpenWithoutLinks(path);
        if (fd >= 0 || (errno != ELOOP && errno != ENOSYS && errno != EXDEV))
            return fd;
    }
    return WalkFolder(path, why);
}

int OpenFileAt(int dirfd, const std::string& folder, const std::string& leaf, int flags,
               mode_t mode, struct stat& st, bool& created, std::string& why) {
    created = false;
    const std::string shown = base::EscapedText(folder + (folder == "/" ? "" : "/") + leaf);
    const int base = (flags & ~(O_CREAT | O_EXCL)) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = ::openat(dirfd, leaf.c_str(), base);
    if (fd < 0 && errno == ENOENT && (flags & O_CREAT) != 0) {
        fd = ::openat(dirfd, leaf.c_str(), base | O_CREAT | O_EXCL, mode);
        if (fd >= 0) {
            created = true;
            // The mode is exactly the one asked for, whatever the umask.
            if (::fchmod(fd, mode) != 0) {
                int error = errno;
                ::close(fd);
                errno = error;
                return -1;
            }
        } else if (errno == EEXIST) {
            errno = EAGAIN; // made by another process meanwhile: the caller tries again
            return -1;
        }
    }
    if (fd < 0 && (errno == ELOOP || errno == EMLINK)) {
        struct stat link;
        if (::fstatat(dirfd, leaf.c_str(), &link, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(link.st_mode)) {
            if (!TrustedOwner(link.st_uid)) {
                why = "the symbolic link " + shown + " belongs to another account";
                errno = ELOOP;
                return -1;
            }
            char target[PATH_MAX];
            ssize_t n = ::readlinkat(dirfd, leaf.c_str(), target, sizeof target - 1);
            if (n <= 0) {
                errno = ELOOP;
                return -1;
            }
            std::string to(target, static_cast<std::size_t>(n));
            if (to[0] != '/')
                to = folder + (folder == "/" ? "" : "/") + to;
            static thread_local int depth = 0;
            if (depth >= 8) {
                errno = ELOOP;
                return -1;
            }
            ++depth;
            fd = OpenFile(to, flags, mode, st, created, why);
            --depth;
            return fd;
        }
        errno = ELOOP;
    }
    if (fd < 0)
        return -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
        why = shown + (S_ISREG(st.st_mode) ? " has more than one link" : " is not a regular file");
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

int OpenFile(const std::string& path, int flags, mode_t mode, struct stat& st, bool& created,
             std::string& why) {
    std::string folder, leaf;
    if (!SplitPath(path, folder, leaf))
        return -1;
    int dirfd = OpenFolder(folder, why);
    if (dirfd < 0)
        return -1;
    int fd = OpenFileAt(dirfd, folder, leaf, flags, mode, st, created, why);
    int error = errno;
    ::close(dirfd);
    errno = error;
    return fd;
}

bool AccountMayOpen(uid_t uid, const std::string& path, bool write) {
    if (path.empty() || path[0] != '/')
        return false;
    std::string walked;
    std::size_t i = 1;
    for (;;) {
        struct stat st;
        const std::string here = walked.empty() ? std::string("/") : walked;
        if (::lstat(here.c_str(), &st) != 0)
            return false;
        if (S_ISLNK(st.st_mode))
            return false; // the recorded path is a real one
        if (uid != 0 && uid != st.st_uid && HasAccessList(here))
            return false; // an entry of the list may shut the account out
        std::size_t j = path.find('/', i);
        if (j == std::string::npos)
            j = path.size();
        const bool last = j >= path.size();
        if (!S_ISDIR(st.st_mode))
            return false;
        if ((RightsOf(uid, st) & 1) == 0)
            return false;
        walked += "/" + path.substr(i, j - i);
        if (last) {
            struct stat file;
            if (::lstat(walked.c_str(), &file) != 0 || !S_ISREG(file.st_mode))
                return false;
            if (uid != 0 && uid != file.st_uid && HasAccessList(walked))
                return false;
            const int need = write ? 6 : 4;
            return (RightsOf(uid, file) & need) == need;
        }
        i = j + 1;
    }
}

bool TrustedLogFolder(const std::string& path, std::string& why) {
    why.clear();
    int fd = OpenFolder(path, why);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

bool CreateLogFolder(const std::string& path) {
    // Written by its owner (root, who alone may create folders in the system's
    // data folder) and read by everyone, whatever the umask: nobody else can
    // plant names in it.
    if (::mkdir(path.c_str(), 0755) != 0)
        return false;
    return ::chmod(path.c_str(), 0755) == 0;
}

} // namespace trust
} // namespace platform
} // namespace zel
