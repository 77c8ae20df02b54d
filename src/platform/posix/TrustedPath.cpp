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
#include <grp.h>
#include <linux/openat2.h>
#include <pthread.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

namespace zel {
namespace platform {
namespace trust {

namespace {

std::atomic<bool> g_forceWalk{false};

// Set in the thread that opens a file another account's record names: the path
// is then walked one component at a time, and a FUSE file system on the way is
// refused before anything asks it.
thread_local bool t_foreign = false;

bool WalkForced() {
    return g_forceWalk || t_foreign;
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

// The status of `fd` as the kernel has it cached: a FUSE file system is not
// asked (AT_STATX_DONT_SYNC), so looking never waits on its daemon.
bool StatNoWait(int fd, struct stat& st) {
    struct statx sx;
    if (::statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC, STATX_BASIC_STATS,
                &sx) != 0)
        return false;
    st = {};
    st.st_dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    st.st_ino = static_cast<ino_t>(sx.stx_ino);
    st.st_mode = static_cast<mode_t>(sx.stx_mode);
    st.st_nlink = static_cast<nlink_t>(sx.stx_nlink);
    st.st_uid = sx.stx_uid;
    st.st_gid = sx.stx_gid;
    st.st_size = static_cast<off_t>(sx.stx_size);
    return true;
}

// Whether the object of `st` lies on a FUSE file system, from the mount table
// (which is the kernel's, never the file system's, answer).
bool OnFuse(const struct stat& st) {
    int fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return true; // cannot tell: taken as the worse case
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    if (n < 0)
        return true;
    return IsFuseDevice(text, major(st.st_dev), minor(st.st_dev));
}

// Opens one component for the walk: O_PATH, never following it, and (for another
// account's path) never onto a FUSE file system. The mount table is read only
// where the device changes.
int OpenComponent(int dirfd, const std::string& part, dev_t parent, struct stat& st,
                  const std::string& shown, std::string& why) {
    int fd = ::openat(dirfd, part.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (!StatNoWait(fd, st)) {
        int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    if (t_foreign && st.st_dev != parent && OnFuse(st)) {
        ::close(fd);
        why = shown + " is on a FUSE file system, which is not used for another account's path";
        errno = EXDEV;
        return -1;
    }
    return fd;
}

// One component at a time from "/", following only trusted links.
int WalkFolder(const std::string& path, std::string& why) {
    std::vector<int> stack;
    std::vector<dev_t> devices; // of the folders on the stack
    int root = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct stat rootSt;
    if (root < 0)
        return -1;
    if (!StatNoWait(root, rootSt)) {
        ::close(root);
        return -1;
    }
    stack.push_back(root);
    devices.push_back(rootSt.st_dev);
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
                devices.pop_back();
            }
            continue;
        }
        struct stat st;
        std::string shown = walked;
        shown += '/';
        shown += part;
        int fd =
            OpenComponent(stack.back(), part, devices.back(), st, base::EscapedText(shown), why);
        if (fd < 0) {
            int error = errno;
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
                    devices.pop_back();
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
        devices.push_back(st.st_dev);
    }
    int result = stack.back();
    stack.pop_back();
    CloseAll(stack);
    return result;
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
    int fd = -1;
    if (t_foreign) {
        // Another account's path: the name is looked up once, as O_PATH, and only
        // a regular file that no FUSE file system serves is then opened, through
        // that descriptor (no second lookup, and no device's open ever runs).
        struct stat folderSt, leafSt;
        if (!StatNoWait(dirfd, folderSt))
            return -1;
        int pathFd = OpenComponent(dirfd, leaf, folderSt.st_dev, leafSt, shown, why);
        if (pathFd < 0)
            return -1;
        if (S_ISLNK(leafSt.st_mode)) {
            ::close(pathFd);
            errno = ELOOP; // decided below, as for every link at the name
        } else if (!S_ISREG(leafSt.st_mode)) {
            ::close(pathFd);
            why = shown + " is not a regular file";
            errno = EINVAL;
            return -1;
        } else {
            fd = ::open(("/proc/self/fd/" + std::to_string(pathFd)).c_str(), base & ~O_NOFOLLOW);
            // The link of an open descriptor is there even for a removed file:
            // ENOENT means no /proc, which is not a missing file.
            int error = fd < 0 && errno == ENOENT ? ENOSYS : errno;
            ::close(pathFd);
            errno = error;
            if (fd < 0)
                return -1;
        }
    } else {
        fd = ::openat(dirfd, leaf.c_str(), base);
    }
    if (fd < 0 && errno == ENOENT && (flags & O_CREAT) != 0 && !t_foreign) {
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

namespace {

// What the opening thread is asked, and what it answers.
struct OpenJob {
    uid_t uid;
    gid_t gid;
    std::vector<gid_t> groups;
    const std::string* path;
    int flags;
    int fd = -1;
    int error = 0;
    bool switched = false; // the thread had the account's credentials
    struct stat st {};
    std::string why;
};

#ifdef SYS_setgroups32
const long kSetGroups = SYS_setgroups32, kSetFsUid = SYS_setfsuid32, kSetFsGid = SYS_setfsgid32;
#else
const long kSetGroups = SYS_setgroups, kSetFsUid = SYS_setfsuid, kSetFsGid = SYS_setfsgid;
#endif

// The raw system calls change this thread's credentials only (glibc's wrappers
// would change every thread's); the thread ends right after the open, so they
// never need to be put back. setfsuid answers the previous value, never an error:
// asking again with an invalid one reads the value that holds.
bool TakeCredentials(const OpenJob& job, bool& permitted) {
    permitted = true;
    if (::syscall(kSetGroups, job.groups.size(), job.groups.data()) != 0) {
        permitted = errno != EPERM;
        return false;
    }
    ::syscall(kSetFsGid, job.gid);
    ::syscall(kSetFsUid, job.uid);
    return static_cast<gid_t>(::syscall(kSetFsGid, static_cast<gid_t>(-1))) == job.gid &&
           static_cast<uid_t>(::syscall(kSetFsUid, static_cast<uid_t>(-1))) == job.uid;
}

void* OpenAsThread(void* argument) {
    OpenJob& job = *static_cast<OpenJob*>(argument);
    try {
        t_foreign = true;
        bool permitted = true;
        job.switched = TakeCredentials(job, permitted);
        if (!job.switched && permitted) {
            job.error = EPERM; // credentials half taken: nothing is opened with them
            return nullptr;
        }
        bool created = false;
        job.fd = OpenFile(*job.path, job.flags & ~(O_CREAT | O_EXCL), 0, job.st, created, job.why);
        job.error = errno;
    } catch (...) {
        job.error = ENOMEM;
    }
    return nullptr;
}

// The account's groups from the user database (none when it has no entry).
bool GroupsOf(uid_t uid, std::vector<gid_t>& groups) {
    groups.clear();
    std::vector<char> buffer(16384);
    struct passwd entry, *found = nullptr;
    int rc;
    while ((rc = ::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 4);
    if (rc != 0 || found == nullptr)
        return rc == 0;
    int count = 32;
    for (int attempt = 0; attempt < 8; ++attempt) {
        groups.resize(static_cast<std::size_t>(count));
        int n = count;
        if (::getgrouplist(entry.pw_name, entry.pw_gid, groups.data(), &n) >= 0) {
            groups.resize(static_cast<std::size_t>(n));
            return true;
        }
        count = n > count ? n : count * 2;
    }
    groups.clear();
    return false;
}

} // namespace

int OpenAsAccount(uid_t owner, gid_t group, const std::string& path, int flags, struct stat& st,
                  std::string& why) {
    if (TrustedOwner(owner)) {
        bool created = false;
        return OpenFile(path, flags & ~(O_CREAT | O_EXCL), 0, st, created, why);
    }
    OpenJob job;
    job.uid = owner;
    job.gid = group;
    job.path = &path;
    job.flags = flags;
    if (!GroupsOf(owner, job.groups)) {
        errno = ENOMEM;
        return -1;
    }
    pthread_t thread;
    int rc = ::pthread_create(&thread, nullptr, &OpenAsThread, &job);
    if (rc != 0) {
        errno = rc;
        return -1;
    }
    ::pthread_join(thread, nullptr);
    why = job.why;
    if (job.fd < 0) {
        errno = job.error;
        return -1;
    }
    if (!job.switched && job.st.st_uid != owner) {
        // A caller that cannot take the account's credentials trusts only the
        // account's own file, which the account may always open.
        ::close(job.fd);
        why = base::EscapedText(path) +
              " is not its own, and this process cannot open it as that account (only root "
              "can)";
        errno = EACCES;
        return -1;
    }
    st = job.st;
    return job.fd;
}

bool IsFuseDevice(const std::string& mountinfo, unsigned int major, unsigned int minor) {
    const std::string device = std::to_string(major) + ":" + std::to_string(minor);
    std::size_t start = 0;
    while (start < mountinfo.size()) {
        std::size_t end = mountinfo.find('\n', start);
        if (end == std::string::npos)
            end = mountinfo.size();
        const std::string line = mountinfo.substr(start, end - start);
        start = end + 1;
        // "id parent major:minor root point options [optional...] - type source ..."
        std::size_t a = line.find(' ');
        std::size_t b = a == std::string::npos ? a : line.find(' ', a + 1);
        std::size_t c = b == std::string::npos ? b : line.find(' ', b + 1);
        if (c == std::string::npos || line.compare(b + 1, c - b - 1, device) != 0)
            continue;
        std::size_t dash = line.find(" - ", c);
        if (dash == std::string::npos)
            continue;
        std::size_t typeEnd = line.find(' ', dash + 3);
        const std::string type = line.substr(
            dash + 3, typeEnd == std::string::npos ? std::string::npos : typeEnd - dash - 3);
        if (type == "fuse" || type == "fuseblk" || type.compare(0, 5, "fuse.") == 0)
            return true;
    }
    return false;
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
