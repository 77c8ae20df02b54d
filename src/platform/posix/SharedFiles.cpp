// Generic POSIX code only (with Linux's open-file-description locks): handle table
// and object files of the named mutexes and mappings.
#include "platform/posix/SharedFiles.h"
#include "platform/TrustedPath.h"

#include "base/Deadline.h"
#include "base/Immortal.h"
#include "base/ObjectName.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <unistd.h>

namespace zel {
namespace platform {
namespace shared {

namespace {
// Never destroyed, so that a handle may be used or closed during exit.
base::Immortal<std::mutex> g_handlesMutexStore;
base::Immortal<std::set<Handle*>> g_handlesStore;
std::mutex& g_handlesMutex = *g_handlesMutexStore;
std::set<Handle*>& g_handles = *g_handlesStore;

const char kFolder[] = "/dev/shm/";
std::atomic<unsigned long> g_replaceCount{0};
} // namespace

void* Register(Handle* handle) {
    try {
        std::lock_guard<std::mutex> lock(g_handlesMutex);
        g_handles.insert(handle);
    } catch (...) {
        delete handle; // closed at once, outside the table's lock
        throw;
    }
    return handle;
}

Handle* Find(void* handle, Handle::Kind kind) {
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    auto it = g_handles.find(static_cast<Handle*>(handle));
    if (it == g_handles.end() || (*it)->kind != kind) {
        errno = EINVAL;
        return nullptr;
    }
    return *it;
}

Handle* Take(void* handle) {
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    auto it = g_handles.find(static_cast<Handle*>(handle));
    if (it == g_handles.end()) {
        errno = EINVAL;
        return nullptr;
    }
    Handle* h = *it;
    g_handles.erase(it);
    return h;
}

bool ObjectPath(const char* kind, const char* name, std::string& path) {
    std::string file;
    if (!base::EncodeObjectName((std::string("zel.") + kind + ".").c_str(), name, NAME_MAX, file)) {
        errno = ENAMETOOLONG;
        return false;
    }
    path = kFolder + file;
    return true;
}

int OpenObject(const std::string& path, int access, struct stat& st) {
    bool created = false;
    std::string why;
    return trust::OpenFile(path, access, 0, st, created, why);
}

// An unnamed file of /dev/shm, or (where the system has none) one under a
// temporary name; `temporary` is then that name, else empty.
int NewUnnamedFile(std::string& temporary) {
    temporary.clear();
#ifdef O_TMPFILE
    int fd = ::open(kFolder, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        return fd;
#endif
    temporary = std::string(kFolder) + "zel.new.XXXXXX";
    return ::mkostemp(&temporary[0], O_CLOEXEC);
}

int PublishObject(const std::string& path, mode_t mode, const std::function<bool(int)>& prepare,
                  bool replace) {
    std::string temporary;
    int fd = NewUnnamedFile(temporary);
    if (fd < 0)
        return -1;
    int error = 0;
    // The mode is set on the descriptor, whatever the umask, before the name exists.
    if (::fchmod(fd, mode) != 0 || !prepare(fd)) {
        error = errno != 0 ? errno : EIO;
    } else {
        int rc = 0;
        if (replace) {
            // A named copy first, then renamed over the name in one step.
            if (temporary.empty()) {
                temporary = std::string(kFolder) + "zel.new." + std::to_string(::getpid()) + "." +
                            std::to_string(fd) + "." + std::to_string(g_replaceCount++);
                rc = ::linkat(AT_FDCWD, ("/proc/self/fd/" + std::to_string(fd)).c_str(), AT_FDCWD,
                              temporary.c_str(), AT_SYMLINK_FOLLOW);
            }
            if (rc == 0)
                rc = ::rename(temporary.c_str(), path.c_str());
        } else {
            rc = temporary.empty()
                     ? ::linkat(AT_FDCWD, ("/proc/self/fd/" + std::to_string(fd)).c_str(), AT_FDCWD,
                                path.c_str(), AT_SYMLINK_FOLLOW)
                     : ::link(temporary.c_str(), path.c_str());
        }
        if (rc != 0)
            error = errno; // EEXIST: another process was first
    }
    if (!temporary.empty())
        ::unlink(temporary.c_str());
    if (error != 0) {
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

bool LockByte(int fd, off_t byte, short type, unsigned int waitMs) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = byte;
    fl.l_len = 1;
    timespec start;
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    const timespec deadline = base::AddMilliseconds(start, waitMs);
    long pauseNs = 200000; // 0.2 ms, doubling to 5 ms
    for (;;) {
        if (::fcntl(fd, F_OFD_SETLK, &fl) == 0)
            return true;
        if (errno != EAGAIN && errno != EACCES && errno != EINTR)
            return false;
        unsigned long long left = 1;
        if (waitMs != kForever) {
            timespec now;
            ::clock_gettime(CLOCK_MONOTONIC, &now);
            left = base::MillisecondsLeft(now, deadline);
            if (waitMs == 0 || left == 0) {
                errno = ETIMEDOUT;
                return false;
            }
        }
        long ns = pauseNs;
        if (waitMs != kForever && static_cast<unsigned long long>(ns) > left * 1000000ULL)
            ns = static_cast<long>(left * 1000000ULL);
        timespec pause{0, ns};
        ::nanosleep(&pause, nullptr);
        if (pauseNs < 5000000)
            pauseNs *= 2;
    }
}

void UnlockByte(int fd, off_t byte) {
    struct flock fl {};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = byte;
    fl.l_len = 1;
    ::fcntl(fd, F_OFD_SETLK, &fl);
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool StillNamed(const std::string& path, const struct stat& st) {
    struct stat now;
    return ::lstat(path.c_str(), &now) == 0 && SameFile(now, st);
}

Join JoinObject(int fd, const std::string& path, const struct stat& st, off_t useByte,
                unsigned int waitMs) {
    if (!LockByte(fd, useByte, F_RDLCK, waitMs)) {
        int error = errno;
        ::close(fd);
        errno = error;
        return Join::Failed;
    }
    if (!StillNamed(path, st)) {
        ::close(fd); // removed by its last user meanwhile
        return Join::Gone;
    }
    return Join::Joined;
}

void Retire(int fd, const std::string& path, off_t useByte) {
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return;
    }
    int writer = fd;
    if ((::fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDONLY) {
        // A write lock needs a descriptor open for writing: only the object's
        // owner (or root) gets one, and only they may remove the name anyway.
        ::close(fd);
        fd = -1;
        struct stat again;
        writer = OpenObject(path, O_RDWR, again);
        if (writer < 0)
            return;
        if (!SameFile(again, st)) {
            ::close(writer);
            return;
        }
    }
    // Converts this process's read lock; fails at once while another one holds its own.
    if (LockByte(writer, useByte, F_WRLCK, 0) && StillNamed(path, st))
        ::unlink(path.c_str());
    ::close(writer);
}

} // namespace shared
} // namespace platform
} // namespace zel
