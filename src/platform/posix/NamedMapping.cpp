// Generic POSIX code only (with Linux's open-file-description locks): named file
// mappings that every account may open, and their views.
//
// A mapping name is the record file /dev/shm/zel.filemap.<name>: the absolute path,
// device, inode, size and protection of the mapped file, written by its creator
// under a temporary name and published in one step with mode 0644, so that only
// its owner could ever change it. Records describe, the file decides: a record is
// trusted only when nobody else can write it, and the file it names is opened
// once, the way the record's owner could open it with the access asked for (the
// kernel decides, see trust::OpenAsAccount); that file must have the recorded
// device and inode and at least the recorded size; otherwise it is refused, so
// that no account can make another open a file of its choosing or map past a
// file's end. Every process using the mapping holds
// a read lock on byte 0 of the record; the last one that may remove it does so.
// A stale record (its file gone or replaced) is replaced by publishing a new one
// and renaming it over the name, whoever still holds the old one open.
#include "platform/NamedMapping.h"

#include "base/Deadline.h"
#include "platform/CallDeadline.h"
#include "base/Immortal.h"
#include "platform/posix/SharedFiles.h"
#include "platform/TrustedPath.h"
#include "base/ObjectName.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

namespace zel {
namespace platform {

namespace {

const off_t kUseByte = 0;
const mode_t kRecordMode = 0644;
const mode_t kFileMode = 0666;
// How long one call may wait in all, retries included, for processes that are
// removing a record (a brief step; only the record's owner can hold it on purpose).
// A caller making several such calls bounds them together with a CallDeadline.
const unsigned int kOpenWaitMs = 250;

timespec DeadlineFromNow() {
    timespec t;
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return base::AddMilliseconds(t, CallWaitMs(kOpenWaitMs));
}

unsigned int LeftUntil(const timespec& deadline) {
    timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<unsigned int>(base::MillisecondsLeft(now, deadline));
}
using Record = shared::MappingRecord;
const std::uint32_t kRecordMagic = shared::kMappingRecordMagic;

// One process's use of a mapping name: the record, read-locked.
struct Registration {
    Registration(int f, std::string p) : fd(f), path(std::move(p)) {}
    ~Registration() { shared::Retire(fd, path, kUseByte); }
    int fd;
    std::string path;
};

struct MappingHandle : shared::Handle {
    MappingHandle() : Handle(Mapping) {}
    ~MappingHandle() override {
        if (fd >= 0)
            ::close(fd);
    }
    int fd = -1;
    std::uint64_t size = 0;
    bool writable = false;                      // the file is open for writing
    bool copyOnWrite = false;                   // a PAGE_WRITECOPY mapping: views are private
    std::shared_ptr<Registration> registration; // null for an unnamed mapping
};

struct View {
    std::size_t length;
    std::shared_ptr<Registration> registration;
};
// Never destroyed, so that a view may be mapped or unmapped during exit.
base::Immortal<std::mutex> g_viewsMutexStore;
base::Immortal<std::map<void*, View>> g_viewsStore;
std::mutex& g_viewsMutex = *g_viewsMutexStore;
std::map<void*, View>& g_views = *g_viewsStore;

bool ProtectionFlags(unsigned long protection, bool& writable, bool& copyOnWrite) {
    switch (protection) {
    case kPageReadOnly:
    case kPageExecuteRead:
        writable = false;
        copyOnWrite = false;
        return true;
    case kPageReadWrite:
    case kPageExecuteReadWrite:
        writable = true;
        copyOnWrite = false;
        return true;
    case kPageWriteCopy:
    case kPageExecuteWriteCopy:
        writable = false;
        copyOnWrite = true;
        return true;
    default:
        return false;
    }
}

} // namespace

namespace shared {

bool ReadMappingRecord(const void* bytes, std::size_t size, MappingRecord& record) {
    if (bytes == nullptr || size < sizeof record)
        return false;
    std::memcpy(&record, bytes, sizeof record);
    bool writable = false, copy = false;
    return record.magic == kMappingRecordMagic &&
           ProtectionFlags(record.protection, writable, copy) && record.size != 0 &&
           record.path[0] == '/' && std::memchr(record.path, '\0', sizeof record.path) != nullptr;
}

bool RecordDescribes(const MappingRecord& record, const struct stat& st) {
    return static_cast<std::uint64_t>(st.st_dev) == record.device &&
           static_cast<std::uint64_t>(st.st_ino) == record.inode && st.st_size >= 0 &&
           record.size <= static_cast<std::uint64_t>(st.st_size);
}

} // namespace shared

namespace {

enum class Found { Opened, Missing, Refused, Failed };

// Opens the mapping registered as `path`. Refused (with `refusal`) for a record
// that is not to be trusted; Missing when there is none, or (`stale` set) when the
// record names a file that is gone or replaced.
Found OpenRegistered(const std::string& path, bool wantWrite, std::unique_ptr<MappingHandle>& out,
                     std::string& refusal, bool& stale, const timespec& deadline) {
    stale = false;
    for (unsigned int left = LeftUntil(deadline); left > 0; left = LeftUntil(deadline)) {
        struct stat rs;
        int rfd = shared::OpenObject(path, O_RDONLY, rs);
        if (rfd < 0) {
            if (errno == ENOENT)
                return Found::Missing;
            if (errno == EINVAL || errno == ELOOP) {
                refusal = path + " is not a regular file";
                return Found::Refused;
            }
            return Found::Failed;
        }
        if ((rs.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
            ::close(rfd);
            refusal = path + " may be written by other accounts";
            return Found::Refused;
        }
        const shared::Join joined = shared::JoinObject(rfd, path, rs, kUseByte, left);
        if (joined == shared::Join::Failed)
            return Found::Failed;
        if (joined == shared::Join::Gone)
            continue;
        // A record that is refused is left as it is; a stale one (its file gone or
        // replaced) is removed when nobody else uses it and this process may.
        auto refuse = [&](const std::string& why) {
            ::close(rfd);
            refusal = path + why;
            return Found::Refused;
        };
        Record raw, record;
        const ssize_t got = ::pread(rfd, &raw, sizeof raw, 0);
        if (got < 0 || !shared::ReadMappingRecord(&raw, static_cast<std::size_t>(got), record))
            return refuse(" is not a mapping record");
        bool recordWritable = false, copy = false;
        ProtectionFlags(record.protection, recordWritable, copy);
        if (wantWrite && !recordWritable) {
            ::close(rfd);
            errno = EACCES; // as asking FILE_MAP_WRITE of a read-only mapping
            return Found::Failed;
        }
        // One open, as the record's owner could open it (the kernel decides), and
        // every check after it on that descriptor: the file checked is the file used.
        const std::string recorded = record.path;
        struct stat opened;
        std::string why;
        int fd = trust::OpenAsAccount(rs.st_uid, rs.st_gid, recorded, wantWrite ? O_RDWR : O_RDONLY,
                                      opened, why);
        if (fd < 0) {
            if (errno == ENOENT || errno == ENOTDIR) {
                shared::Retire(rfd, path, kUseByte);
                stale = true;
                return Found::Missing;
            }
            if (errno == EACCES || errno == EPERM)
                return refuse(" names " + base::EscapedText(recorded) +
                              ", which its owner may not open" + (why.empty() ? "" : ": " + why) +
                              "; to share a file, publish it from an account that may open it "
                              "with the access asked for");
            if (!why.empty())
                return refuse(" names a file that is not to be used: " + why);
            int error = errno;
            ::close(rfd);
            errno = error;
            return Found::Failed;
        }
        if (static_cast<std::uint64_t>(opened.st_dev) != record.device ||
            static_cast<std::uint64_t>(opened.st_ino) != record.inode) { // replaced
            ::close(fd);
            shared::Retire(rfd, path, kUseByte);
            stale = true;
            return Found::Missing;
        }
        if (!shared::RecordDescribes(record, opened)) {
            ::close(fd);
            return refuse(" claims " + std::to_string(record.size) + " bytes of " +
                          base::EscapedText(recorded) + ", which has " +
                          std::to_string(static_cast<long long>(opened.st_size)));
        }
        std::shared_ptr<Registration> registration;
        try {
            registration = std::make_shared<Registration>(rfd, path);
            out.reset(new MappingHandle);
        } catch (...) {
            ::close(fd);
            if (registration == nullptr)
                shared::Retire(rfd, path, kUseByte);
            throw;
        }
        out->fd = fd;
        out->size = record.size;
        out->writable = wantWrite;
        out->copyOnWrite = copy;
        out->registration = std::move(registration);
        return Found::Opened;
    }
    errno = EAGAIN;
    return Found::Failed;
}

void* OpenMapping(unsigned long access, const char* name, std::string& refusal, bool& stale,
                  const timespec& deadline) {
    stale = false;
    if (name == nullptr || *name == '\0') {
        errno = ENOENT;
        return nullptr;
    }
    std::string path;
    if (!shared::ObjectPath("filemap", name, path))
        return nullptr;
    std::unique_ptr<MappingHandle> handle;
    switch (OpenRegistered(path, (access & kMapWrite) != 0, handle, refusal, stale, deadline)) {
    case Found::Opened:
        return shared::Register(handle.release());
    case Found::Missing:
        errno = ENOENT;
        return nullptr;
    case Found::Refused:
        errno = EACCES;
        return nullptr;
    default:
        return nullptr;
    }
}

void* CreateMapping(void* file, unsigned long protection, unsigned long sizeHigh,
                    unsigned long sizeLow, const char* name, bool& existed, std::string& refusal) {
    int fileFd = static_cast<int>(reinterpret_cast<std::intptr_t>(file) - 1);
    bool writable = false, copy = false;
    if (file == nullptr || !ProtectionFlags(protection, writable, copy)) {
        errno = EINVAL;
        return nullptr;
    }
    std::uint64_t size = (static_cast<std::uint64_t>(sizeHigh) << 32) | sizeLow;
    struct stat st;
    if (::fstat(fileFd, &st) != 0)
        return nullptr;
    std::uint64_t fileSize = static_cast<std::uint64_t>(st.st_size);
    if (size == 0) {
        if (fileSize == 0) {
            errno = EINVAL; // as ERROR_FILE_INVALID: nothing to map
            return nullptr;
        }
        size = fileSize;
    }
    const bool named = name != nullptr && *name != '\0';
    const unsigned long openAccess = writable ? (kMapRead | kMapWrite) : kMapRead;

    // A mapping of that name already there is the one to use, whatever the file.
    // True when the search is over: `found` is that mapping, or null on failure.
    void* found = nullptr;
    bool stale = false;
    const timespec deadline = DeadlineFromNow();
    const auto useExisting = [&]() {
        found = OpenMapping(openAccess, name, refusal, stale, deadline);
        existed = found != nullptr;
        return found != nullptr || errno != ENOENT;
    };
    std::string path;
    if (named) {
        if (!shared::ObjectPath("filemap", name, path))
            return nullptr;
        if (useExisting())
            return found;
    }

    if (size > fileSize) {
        if (!writable) {
            errno = EACCES; // a read-only mapping cannot grow its file
            return nullptr;
        }
        if (size > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
            errno = EFBIG;
            return nullptr;
        }
        // Allocated, not only sized: on a full file system the call fails here,
        // instead of a later write into a view raising SIGBUS.
        int rc = ::posix_fallocate(fileFd, 0, static_cast<off_t>(size));
        if (rc != 0) {
            struct stat now;
            if (::fstat(fileFd, &now) == 0 && now.st_size > st.st_size)
                (void)::ftruncate(fileFd, st.st_size); // as it was
            errno = rc;
            return nullptr;
        }
    }

    std::unique_ptr<MappingHandle> handle(new MappingHandle);
    handle->fd = ::fcntl(fileFd, F_DUPFD_CLOEXEC, 0);
    if (handle->fd < 0)
        return nullptr;
    handle->size = size;
    handle->writable = writable;
    handle->copyOnWrite = copy;
    existed = false;
    if (!named)
        return shared::Register(handle.release());

    Record record;
    std::memset(&record, 0, sizeof record);
    if (::realpath(("/proc/self/fd/" + std::to_string(fileFd)).c_str(), record.path) == nullptr) {
        errno = ENOENT;
        return nullptr;
    }
    record.magic = kRecordMagic;
    record.protection = static_cast<std::uint32_t>(protection);
    record.device = static_cast<std::uint64_t>(st.st_dev);
    record.inode = static_cast<std::uint64_t>(st.st_ino);
    record.size = size;
    for (int attempt = 0; attempt < 10; ++attempt) {
        int rfd = shared::PublishObject(
            path, kRecordMode,
            [&record](int f) {
                return ::pwrite(f, &record, sizeof record, 0) ==
                           static_cast<ssize_t>(sizeof record) &&
                       shared::LockByte(f, kUseByte, F_RDLCK, 0);
            },
            stale);
        if (rfd >= 0) {
            try {
                handle->registration = std::make_shared<Registration>(rfd, path);
            } catch (...) {
                shared::Retire(rfd, path, kUseByte); // the name this call published goes
                throw;
            }
            return shared::Register(handle.release());
        }
        if (errno != EEXIST)
            return nullptr;
        // Another process registered the name meanwhile: use its mapping.
        if (useExisting())
            return found;
    }
    errno = EAGAIN;
    return nullptr;
}

} // namespace

bool MappingRecordAccepted(const void* bytes, std::size_t size, unsigned long long device,
                           unsigned long long inode, long long fileSize) {
    Record record;
    struct stat st {};
    st.st_dev = static_cast<dev_t>(device);
    st.st_ino = static_cast<ino_t>(inode);
    st.st_size = static_cast<off_t>(fileSize);
    if (static_cast<unsigned long long>(st.st_dev) != device ||
        static_cast<unsigned long long>(st.st_ino) != inode)
        return false; // no file has such a status
    return shared::ReadMappingRecord(bytes, size, record) && shared::RecordDescribes(record, st);
}

bool PathExists(const char* path) {
    struct stat st;
    return path != nullptr && ::stat(path, &st) == 0;
}

void* OpenSharedFile(const char* path, void*, bool& existed) {
    if (path == nullptr || *path == '\0') {
        errno = ENOENT;
        return nullptr;
    }
    std::string full = path;
    if (full[0] != '/') {
        char here[PATH_MAX];
        if (::getcwd(here, sizeof here) == nullptr)
            return nullptr;
        full = std::string(here) + "/" + full;
    }
    for (int attempt = 0; attempt < 10; ++attempt) {
        struct stat st;
        bool created = false;
        std::string why;
        // Under the trust rule: no link of another account, a regular file with
        // one link, a new file with exactly kFileMode.
        int fd = trust::OpenFile(full, O_RDWR | O_CREAT, kFileMode, st, created, why);
        if (fd >= 0) {
            existed = !created;
            // NOLINTNEXTLINE(performance-no-int-to-ptr) // the handle is the descriptor + 1
            return reinterpret_cast<void*>(static_cast<std::intptr_t>(fd) + 1);
        }
        if (errno == EAGAIN)
            continue;   // created by another process meanwhile
        return nullptr; // the caller reports that the file cannot be opened
    }
    return nullptr;
}

void CloseSharedFile(void* file) {
    if (file != nullptr)
        ::close(static_cast<int>(reinterpret_cast<std::intptr_t>(file) - 1));
}

void* CreateNamedMapping(void* file, void*, unsigned long protection, unsigned long sizeHigh,
                         unsigned long sizeLow, const char* name, bool& existed,
                         std::string& refusal) {
    try {
        return CreateMapping(file, protection, sizeHigh, sizeLow, name, existed, refusal);
    } catch (...) {
        errno = ENOMEM;
        return nullptr;
    }
}

void* OpenNamedMapping(unsigned long access, const char* name, std::string& refusal) {
    try {
        bool stale = false;
        return OpenMapping(access, name, refusal, stale, DeadlineFromNow());
    } catch (...) {
        errno = ENOMEM;
        return nullptr;
    }
}

void* MapView(void* handle, unsigned long access, unsigned long long offset, unsigned long bytes) {
    try {
        auto* object = static_cast<MappingHandle*>(shared::Find(handle, shared::Handle::Mapping));
        if (object == nullptr)
            return nullptr;
        bool copy = access == kMapCopy;
        bool write = (access & kMapWrite) != 0;
        if (!copy && !write && (access & kMapRead) == 0) {
            errno = EINVAL;
            return nullptr;
        }
        if (write && !object->writable) {
            errno = EACCES;
            return nullptr;
        }
        long page = ::sysconf(_SC_PAGESIZE);
        if (offset % static_cast<unsigned long long>(page) != 0 || offset >= object->size) {
            errno = EINVAL;
            return nullptr;
        }
        std::uint64_t length = bytes == 0 ? object->size - offset : bytes;
        if (length > object->size - offset || length > SIZE_MAX) {
            errno = EINVAL;
            return nullptr;
        }
        int prot = PROT_READ | ((write || copy) ? PROT_WRITE : 0);
        int flags = (copy || object->copyOnWrite) ? MAP_PRIVATE : MAP_SHARED;
        void* view = ::mmap(nullptr, static_cast<std::size_t>(length), prot, flags, object->fd,
                            static_cast<off_t>(offset));
        if (view == MAP_FAILED)
            return nullptr;
        std::lock_guard<std::mutex> lock(g_viewsMutex);
        g_views[view] = View{static_cast<std::size_t>(length), object->registration};
        return view;
    } catch (...) {
        errno = ENOMEM;
        return nullptr;
    }
}

bool UnmapView(void* view) {
    std::shared_ptr<Registration> registration; // dropped after the lock
    std::lock_guard<std::mutex> lock(g_viewsMutex);
    auto it = g_views.find(view);
    if (it == g_views.end()) {
        errno = EINVAL;
        return false;
    }
    ::munmap(view, it->second.length);
    registration = std::move(it->second.registration);
    g_views.erase(it);
    return true;
}

} // namespace platform
} // namespace zel
