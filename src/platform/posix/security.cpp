// Generic POSIX code only: named mutexes and file mappings in shared-memory objects
// that every account may open, mapped views, and the administrator test.
//
// A named object is a shared-memory object created with mode 0666 holding a
// header (a robust process-shared lock, a count of the handles open on it in all
// processes, and a "removed" mark) followed by the object's own data. The last
// handle to close removes the name, as the last CloseHandle ends a Windows object.
#include "platform/Security.h"

#include "zel/Security.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <limits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <pthread.h>
#include <set>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zel {
namespace platform {

// ---- The descriptor: nothing to build here ----

SharedDescriptor::SharedDescriptor()
    : m_sid(nullptr), m_acl(nullptr), m_descriptor(), m_attributes() {}
SharedDescriptor::~SharedDescriptor() {
    Release();
}
bool SharedDescriptor::CreateWorldSid() {
    return true;
}
SharedDescriptor::Step SharedDescriptor::BuildRest() {
    return Done;
}
void SharedDescriptor::Release() {}
void* SharedDescriptor::Attributes() {
    return nullptr;
}

namespace {

const mode_t kShareMode = 0666;
const int kReadyWaitMs = 2000;

void SleepMs(long ms) {
    timespec t{0, ms * 1000000L};
    nanosleep(&t, nullptr);
}

// Locks a robust mutex; a lock whose owner died is taken over and made usable.
// Returns 0 (locked), EOWNERDEAD (locked, previous owner died) or an error.
int LockRobust(pthread_mutex_t* m) {
    int rc = pthread_mutex_lock(m);
    if (rc == EOWNERDEAD) {
        pthread_mutex_consistent(m);
        return EOWNERDEAD;
    }
    return rc;
}

bool InitRobustMutex(pthread_mutex_t* m, bool recursive) {
    pthread_mutexattr_t attr;
    if (pthread_mutexattr_init(&attr) != 0)
        return false;
    bool ok = pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED) == 0 &&
              pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST) == 0 &&
              pthread_mutexattr_settype(&attr, recursive ? PTHREAD_MUTEX_RECURSIVE
                                                         : PTHREAD_MUTEX_NORMAL) == 0 &&
              pthread_mutex_init(m, &attr) == 0;
    pthread_mutexattr_destroy(&attr);
    return ok;
}

struct BlockHeader {
    std::atomic<std::uint32_t> ready; // set last by the creator
    std::uint32_t refs;               // handles open in all processes
    std::uint32_t removed;            // the name is gone; attach again
    std::uint32_t reserved;
    pthread_mutex_t guard; // protects refs and removed
};

// The shared-memory name for `name` of `kind`: "/zel.<kind>.<name>" with every byte
// other than a letter, a digit, '.', '_' and '-' written as %XX.
bool ShmName(const char* kind, const char* name, std::string& out) {
    static const char hex[] = "0123456789ABCDEF";
    out = "/zel.";
    out += kind;
    out += '.';
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p) {
        unsigned char c = *p;
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '.' || c == '_' || c == '-') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    if (out.size() > NAME_MAX) {
        errno = ENAMETOOLONG;
        return false;
    }
    return true;
}

// One process's attachment to a named block (or to a private one, without name).
class SharedBlock {
public:
    ~SharedBlock() { Detach(); }

    BlockHeader* header() const { return static_cast<BlockHeader*>(m_base); }
    void* data() const { return static_cast<char*>(m_base) + DataOffset(); }

    static std::size_t DataOffset() {
        return (sizeof(BlockHeader) + alignof(std::max_align_t) - 1) &
               ~(alignof(std::max_align_t) - 1);
    }

    // Opens the existing block `shmName`, or (when `mayCreate`) creates it and runs
    // init(data) before anyone else can use it. False with errno on failure.
    template <typename Init>
    bool Attach(const std::string& shmName, std::size_t dataSize, bool mayCreate, Init init,
                bool& created) {
        m_name = shmName;
        m_size = DataOffset() + dataSize;
        for (int attempt = 0; attempt < 50; ++attempt) {
            // Open without O_CREAT first: with fs.protected_regular even root may
            // not O_CREAT-open an object of another account in the sticky /dev/shm.
            int fd = shm_open(shmName.c_str(), O_RDWR, 0);
            if (fd >= 0) {
                int rc = OpenExisting(fd);
                if (rc == 0) {
                    created = false;
                    return true;
                }
                if (rc != EAGAIN) {
                    errno = rc;
                    return false;
                }
                continue; // the block was being removed: look again
            }
            if (errno != ENOENT)
                return false;
            if (!mayCreate) {
                errno = ENOENT;
                return false;
            }
            fd = shm_open(shmName.c_str(), O_RDWR | O_CREAT | O_EXCL, kShareMode);
            if (fd < 0) {
                if (errno == EEXIST)
                    continue; // another process won the race: open its block
                return false;
            }
            int rc = CreateNew(fd, init);
            if (rc == 0) {
                created = true;
                return true;
            }
            shm_unlink(shmName.c_str());
            errno = rc;
            return false;
        }
        errno = EAGAIN;
        return false;
    }

    // A block of this process only (an unnamed object).
    template <typename Init> bool AttachPrivate(std::size_t dataSize, Init init) {
        m_size = DataOffset() + dataSize;
        void* base =
            mmap(nullptr, m_size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED)
            return false;
        m_base = base;
        if (!InitRobustMutex(&header()->guard, false) || !init(data())) {
            munmap(m_base, m_size);
            m_base = nullptr;
            errno = ENOMEM;
            return false;
        }
        header()->refs = 1;
        header()->ready.store(1, std::memory_order_release);
        return true;
    }

    // Drops this handle's count; the last one removes the name. `unmap` false keeps
    // the memory mapped for good (a robust mutex still held must stay reachable).
    void Detach(bool unmap = true) {
        if (m_base == nullptr)
            return;
        BlockHeader* h = header();
        LockRobust(&h->guard);
        if (h->refs > 0)
            --h->refs;
        if (h->refs == 0 && !h->removed) {
            h->removed = 1;
            if (!m_name.empty())
                shm_unlink(m_name.c_str());
        }
        pthread_mutex_unlock(&h->guard);
        if (unmap)
            munmap(m_base, m_size);
        m_base = nullptr;
    }

    // Marks a block whose data turned out stale as removed and removes its name.
    void Discard() {
        BlockHeader* h = header();
        LockRobust(&h->guard);
        if (h->refs > 0)
            --h->refs;
        if (!h->removed) {
            h->removed = 1;
            shm_unlink(m_name.c_str());
        }
        pthread_mutex_unlock(&h->guard);
        munmap(m_base, m_size);
        m_base = nullptr;
    }

private:
    // 0, EAGAIN (removed or never finished: try again) or an error code.
    int OpenExisting(int fd) {
        // The creator may still be sizing and initialising the block.
        struct stat st;
        int waited = 0;
        for (;;) {
            if (fstat(fd, &st) != 0) {
                int e = errno;
                close(fd);
                return e;
            }
            if (static_cast<std::size_t>(st.st_size) >= m_size)
                break;
            if (waited >= kReadyWaitMs) {
                close(fd);
                return ETIMEDOUT;
            }
            SleepMs(1);
            ++waited;
        }
        void* base = mmap(nullptr, m_size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        int e = errno;
        close(fd);
        if (base == MAP_FAILED)
            return e;
        BlockHeader* h = static_cast<BlockHeader*>(base);
        for (waited = 0; h->ready.load(std::memory_order_acquire) == 0; ++waited) {
            if (waited >= kReadyWaitMs) {
                munmap(base, m_size);
                return ETIMEDOUT;
            }
            SleepMs(1);
        }
        LockRobust(&h->guard);
        if (h->removed) {
            pthread_mutex_unlock(&h->guard);
            munmap(base, m_size);
            return EAGAIN;
        }
        ++h->refs;
        pthread_mutex_unlock(&h->guard);
        m_base = base;
        return 0;
    }

    template <typename Init> int CreateNew(int fd, Init init) {
        // The umask must not narrow who may open the object.
        if (fchmod(fd, kShareMode) != 0 || ftruncate(fd, static_cast<off_t>(m_size)) != 0) {
            int e = errno;
            close(fd);
            return e;
        }
        void* base = mmap(nullptr, m_size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        int e = errno;
        close(fd);
        if (base == MAP_FAILED)
            return e;
        m_base = base;
        BlockHeader* h = header();
        if (!InitRobustMutex(&h->guard, false) || !init(data())) {
            munmap(m_base, m_size);
            m_base = nullptr;
            return errno != 0 ? errno : ENOMEM;
        }
        h->refs = 1;
        h->removed = 0;
        h->ready.store(1, std::memory_order_release);
        return 0;
    }

    std::string m_name;
    void* m_base = nullptr;
    std::size_t m_size = 0;
};

// ---- Handles ----

enum class Kind { Mutex, Mapping };

struct Object {
    explicit Object(Kind k) : kind(k) {}
    virtual ~Object() = default;
    Kind kind;
};

struct MutexData {
    pthread_mutex_t mutex; // robust, process-shared, recursive
};

struct MutexObject : Object {
    MutexObject() : Object(Kind::Mutex) {}
    ~MutexObject() override {
        // A robust mutex sits on its owner's robust list, which the system walks
        // when the owner ends: while held through this handle its memory must stay
        // mapped, or the next waiter would never learn that the owner died.
        block.Detach(holds.load() == 0);
    }
    SharedBlock block;
    std::atomic<long> holds{0}; // acquisitions through this handle not yet released
    pthread_mutex_t* mutex() const { return &static_cast<MutexData*>(block.data())->mutex; }
};

// What another process needs to find the same mapping.
struct MappingRecord {
    std::uint64_t device;
    std::uint64_t inode;
    std::uint64_t size;
    std::uint32_t protection;
    char path[PATH_MAX];
};

// A mapping's name stays registered while handles or views of any process use it.
struct MappingObject : Object {
    MappingObject() : Object(Kind::Mapping) {}
    ~MappingObject() override {
        if (fd >= 0)
            close(fd);
    }
    int fd = -1;
    std::uint64_t size = 0;
    bool writable = false;                 // the file is open for writing
    bool copyOnWrite = false;              // a PAGE_WRITECOPY mapping: views are private
    std::shared_ptr<SharedBlock> registry; // null for an unnamed mapping
};

struct View {
    std::size_t length;
    std::shared_ptr<SharedBlock> registry;
};

// The live handles and views of this process, so that a stale or foreign pointer
// is refused instead of followed.
std::mutex g_tableMutex;
std::set<Object*> g_objects;
std::map<void*, View> g_views;

void* Register(Object* object) {
    std::lock_guard<std::mutex> lock(g_tableMutex);
    g_objects.insert(object);
    return object;
}

template <typename T> T* Find(void* handle, Kind kind) {
    std::lock_guard<std::mutex> lock(g_tableMutex);
    auto it = g_objects.find(static_cast<Object*>(handle));
    if (it == g_objects.end() || (*it)->kind != kind)
        return nullptr;
    return static_cast<T*>(*it);
}

// ---- Page protections and view access (Win32 values) ----

bool ProtectionFlags(unsigned long protection, bool& writable, bool& copyOnWrite) {
    switch (protection) {
    case util::AccessablePageReadOnly:
    case util::AccessablePageExecuteRead:
        writable = false;
        copyOnWrite = false;
        return true;
    case util::AccessablePageReadWrite:
    case util::AccessablePageExecuteReadWrite:
        writable = true;
        copyOnWrite = false;
        return true;
    case util::AccessablePageWriteCopy:
    case 0x80: // PAGE_EXECUTE_WRITECOPY
        writable = false;
        copyOnWrite = true;
        return true;
    default:
        return false;
    }
}

void* CreateMutexObject(bool initialOwner, const char* name, bool mayCreate, bool& existed) {
    std::unique_ptr<MutexObject> object(new (std::nothrow) MutexObject);
    if (!object) {
        errno = ENOMEM;
        return nullptr;
    }
    auto init = [initialOwner](void* data) {
        MutexData* d = static_cast<MutexData*>(data);
        if (!InitRobustMutex(&d->mutex, true))
            return false;
        // Ownership is granted only to the creator, before anyone else can see it.
        return !initialOwner || pthread_mutex_lock(&d->mutex) == 0;
    };
    if (name == nullptr || *name == '\0') {
        if (!mayCreate) {
            errno = ENOENT;
            return nullptr;
        }
        if (!object->block.AttachPrivate(sizeof(MutexData), init))
            return nullptr;
        existed = false;
    } else {
        std::string shm;
        if (!ShmName("mutex", name, shm))
            return nullptr;
        bool created = false;
        if (!object->block.Attach(shm, sizeof(MutexData), mayCreate, init, created))
            return nullptr;
        existed = !created;
    }
    if (initialOwner && !existed)
        object->holds = 1;
    return Register(object.release());
}

} // namespace

void* CreateNamedMutex(void*, bool initialOwner, const char* name, bool& existed) {
    try {
        return CreateMutexObject(initialOwner, name, true, existed);
    } catch (...) {
        errno = ENOMEM;
        return nullptr;
    }
}

void* OpenNamedMutex(const char* name) {
    try {
        bool existed = false;
        return CreateMutexObject(false, name, false, existed);
    } catch (...) {
        errno = ENOMEM;
        return nullptr;
    }
}

int WaitNamedMutex(void* handle, unsigned int milliseconds) {
    MutexObject* object = Find<MutexObject>(handle, Kind::Mutex);
    if (object == nullptr) {
        errno = EINVAL;
        return util::AccessableWaitFailed;
    }
    pthread_mutex_t* m = object->mutex();
    int rc;
    if (milliseconds == util::AccessableInfinite) {
        rc = pthread_mutex_lock(m);
    } else if (milliseconds == 0) {
        rc = pthread_mutex_trylock(m);
        if (rc == EBUSY)
            rc = ETIMEDOUT;
    } else {
        timespec deadline;
        clock_gettime(CLOCK_MONOTONIC, &deadline);
        deadline.tv_sec += static_cast<time_t>(milliseconds / 1000);
        deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
        if (deadline.tv_nsec >= 1000000000L) {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1000000000L;
        }
        rc = pthread_mutex_clocklock(m, CLOCK_MONOTONIC, &deadline);
    }
    switch (rc) {
    case 0:
        ++object->holds;
        return util::AccessableWaitAcquired;
    case EOWNERDEAD:
        // The owner ended while holding it: hand it on, usable, to this caller.
        pthread_mutex_consistent(m);
        ++object->holds;
        return util::AccessableWaitAbandoned;
    case ETIMEDOUT:
        return util::AccessableWaitTimeout;
    default:
        errno = rc;
        return util::AccessableWaitFailed;
    }
}

bool ReleaseNamedMutex(void* handle) {
    MutexObject* object = Find<MutexObject>(handle, Kind::Mutex);
    if (object == nullptr) {
        errno = EINVAL;
        return false;
    }
    int rc = pthread_mutex_unlock(object->mutex());
    if (rc != 0) {
        errno = rc; // EPERM: not the owner
        return false;
    }
    --object->holds;
    return true;
}

bool PathExists(const char* path) {
    struct stat st;
    return path != nullptr && stat(path, &st) == 0;
}

void* OpenSharedFile(const char* path, void*, bool& existed) {
    if (path == nullptr || *path == '\0') {
        errno = ENOENT;
        return nullptr;
    }
    for (int attempt = 0; attempt < 10; ++attempt) {
        int fd = open(path, O_RDWR | O_CLOEXEC);
        if (fd >= 0) {
            existed = true;
            return reinterpret_cast<void*>(static_cast<std::intptr_t>(fd) + 1);
        }
        if (errno != ENOENT)
            return nullptr;
        fd = open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, kShareMode);
        if (fd >= 0) {
            fchmod(fd, kShareMode); // whatever the umask
            existed = false;
            return reinterpret_cast<void*>(static_cast<std::intptr_t>(fd) + 1);
        }
        if (errno != EEXIST)
            return nullptr;
    }
    return nullptr;
}

void CloseSharedFile(void* file) {
    if (file != nullptr)
        close(static_cast<int>(reinterpret_cast<std::intptr_t>(file) - 1));
}

namespace {

// Opens the file a registry block describes; ENOENT when the record is stale.
int OpenRecordedFile(const MappingRecord& record, bool write) {
    int fd = open(record.path, (write ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || static_cast<std::uint64_t>(st.st_dev) != record.device ||
        static_cast<std::uint64_t>(st.st_ino) != record.inode) {
        close(fd);
        errno = ENOENT;
        return -1;
    }
    return fd;
}

void* OpenMappingObject(unsigned long access, const char* name) {
    if (name == nullptr || *name == '\0') {
        errno = ENOENT;
        return nullptr;
    }
    std::string shm;
    if (!ShmName("filemap", name, shm))
        return nullptr;
    for (int attempt = 0; attempt < 10; ++attempt) {
        auto registry = std::make_shared<SharedBlock>();
        bool created = false;
        auto noInit = [](void*) { return false; };
        if (!registry->Attach(shm, sizeof(MappingRecord), false, noInit, created))
            return nullptr;
        MappingRecord* record = static_cast<MappingRecord*>(registry->data());
        bool wantWrite = (access & util::AccessableMapWrite) != 0;
        bool recordWritable = false, copy = false;
        ProtectionFlags(record->protection, recordWritable, copy);
        if (wantWrite && !recordWritable) {
            errno = EACCES; // as asking FILE_MAP_WRITE of a read-only mapping
            return nullptr;
        }
        int fd = OpenRecordedFile(*record, wantWrite);
        if (fd < 0) {
            if (errno != ENOENT)
                return nullptr;
            registry->Discard(); // the file it named is gone
            continue;
        }
        std::unique_ptr<MappingObject> object(new MappingObject);
        object->fd = fd;
        object->size = record->size;
        object->writable = wantWrite;
        object->copyOnWrite = copy;
        object->registry = std::move(registry);
        return Register(object.release());
    }
    errno = ENOENT;
    return nullptr;
}

void* CreateMappingObject(void* file, unsigned long protection, unsigned long sizeHigh,
                          unsigned long sizeLow, const char* name, bool& existed) {
    int fileFd = static_cast<int>(reinterpret_cast<std::intptr_t>(file) - 1);
    bool writable = false, copy = false;
    if (file == nullptr || !ProtectionFlags(protection, writable, copy)) {
        errno = EINVAL;
        return nullptr;
    }
    std::uint64_t size = (static_cast<std::uint64_t>(sizeHigh) << 32) | sizeLow;
    struct stat st;
    if (fstat(fileFd, &st) != 0)
        return nullptr;
    std::uint64_t fileSize = static_cast<std::uint64_t>(st.st_size);
    if (size == 0) {
        if (fileSize == 0) {
            errno = EINVAL; // as ERROR_FILE_INVALID: nothing to map
            return nullptr;
        }
        size = fileSize;
    }

    // A mapping of that name already there is the one to use, whatever the file.
    if (name != nullptr && *name != '\0') {
        void* open = OpenMappingObject(
            writable ? util::AccessableMapAllAccess : util::AccessableMapRead, name);
        if (open != nullptr) {
            existed = true;
            return open;
        }
        if (errno != ENOENT)
            return nullptr;
    }

    if (size > fileSize) {
        if (!writable) {
            errno = EACCES; // a read-only mapping cannot grow its file
            return nullptr;
        }
        if (size > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) ||
            ftruncate(fileFd, static_cast<off_t>(size)) != 0)
            return nullptr;
    }

    std::unique_ptr<MappingObject> object(new MappingObject);
    object->fd = fcntl(fileFd, F_DUPFD_CLOEXEC, 0);
    if (object->fd < 0)
        return nullptr;
    object->size = size;
    object->writable = writable;
    object->copyOnWrite = copy;
    existed = false;

    if (name != nullptr && *name != '\0') {
        std::string shm;
        if (!ShmName("filemap", name, shm))
            return nullptr;
        char resolved[PATH_MAX];
        if (realpath(("/proc/self/fd/" + std::to_string(fileFd)).c_str(), resolved) == nullptr) {
            errno = ENOENT;
            return nullptr;
        }
        auto init = [&](void* data) {
            MappingRecord* record = static_cast<MappingRecord*>(data);
            record->device = static_cast<std::uint64_t>(st.st_dev);
            record->inode = static_cast<std::uint64_t>(st.st_ino);
            record->size = size;
            record->protection = static_cast<std::uint32_t>(protection);
            std::strncpy(record->path, resolved, sizeof record->path - 1);
            record->path[sizeof record->path - 1] = '\0';
            return true;
        };
        for (int attempt = 0; attempt < 10; ++attempt) {
            auto registry = std::make_shared<SharedBlock>();
            bool created = false;
            if (!registry->Attach(shm, sizeof(MappingRecord), true, init, created))
                return nullptr;
            if (created) {
                object->registry = std::move(registry);
                break;
            }
            // Another process registered the name meanwhile: use its mapping.
            registry.reset();
            void* open = OpenMappingObject(
                writable ? util::AccessableMapAllAccess : util::AccessableMapRead, name);
            if (open != nullptr) {
                existed = true;
                return open;
            }
            if (errno != ENOENT)
                return nullptr;
        }
        if (!object->registry) {
            errno = EAGAIN;
            return nullptr;
        }
    }
    return Register(object.release());
}

} // namespace

void* CreateNamedMapping(void* file, void*, unsigned long protection, unsigned long sizeHigh,
                         unsigned long sizeLow, const char* name, bool& existed) {
    try {
        return CreateMappingObject(file, protection, sizeHigh, sizeLow, name, existed);
    } catch (...) {
        errno = ENOMEM;
        return nullptr;
    }
}

void* OpenNamedMapping(unsigned long access, const char* name) {
    try {
        return OpenMappingObject(access, name);
    } catch (...) {
        errno = ENOMEM;
        return nullptr;
    }
}

void* MapView(void* handle, unsigned long access, unsigned long long offset, unsigned long bytes) {
    try {
        MappingObject* object = Find<MappingObject>(handle, Kind::Mapping);
        if (object == nullptr) {
            errno = EINVAL;
            return nullptr;
        }
        bool copy = access == util::AccessableMapCopy;
        bool write = (access & util::AccessableMapWrite) != 0;
        if (!copy && !write && (access & util::AccessableMapRead) == 0) {
            errno = EINVAL;
            return nullptr;
        }
        if (write && !object->writable) {
            errno = EACCES;
            return nullptr;
        }
        long page = sysconf(_SC_PAGESIZE);
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
        void* view = mmap(nullptr, static_cast<std::size_t>(length), prot, flags, object->fd,
                          static_cast<off_t>(offset));
        if (view == MAP_FAILED)
            return nullptr;
        std::lock_guard<std::mutex> lock(g_tableMutex);
        g_views[view] = View{static_cast<std::size_t>(length), object->registry};
        return view;
    } catch (...) {
        errno = ENOMEM;
        return nullptr;
    }
}

bool UnmapView(void* view) {
    std::shared_ptr<SharedBlock> registry; // dropped after the table lock
    std::lock_guard<std::mutex> lock(g_tableMutex);
    auto it = g_views.find(view);
    if (it == g_views.end()) {
        errno = EINVAL;
        return false;
    }
    munmap(view, it->second.length);
    registry = std::move(it->second.registry);
    g_views.erase(it);
    return true;
}

bool CloseObject(void* handle) {
    Object* object = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_tableMutex);
        auto it = g_objects.find(static_cast<Object*>(handle));
        if (it == g_objects.end()) {
            errno = EINVAL;
            return false;
        }
        object = *it;
        g_objects.erase(it);
    }
    delete object;
    return true;
}

bool IsAdministrator() {
    return geteuid() == 0;
}

std::wstring WideFromNarrow(const char* text) {
    std::wstring out;
    if (text == nullptr)
        return out;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        unsigned char c = *p;
        int extra = c >= 0xF0 && c <= 0xF4 ? 3
                    : c >= 0xE0            ? (c <= 0xEF ? 2 : -1)
                    : c >= 0xC2            ? 1
                    : c < 0x80             ? 0
                                           : -1;
        std::uint32_t cp = extra == 0   ? c
                           : extra == 1 ? (c & 0x1F)
                           : extra == 2 ? (c & 0x0F)
                                        : (c & 0x07);
        bool ok = extra >= 0;
        for (int i = 1; ok && i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (p[i] & 0x3F);
        }
        if (ok && ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
                   (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))))
            ok = false;
        if (!ok) { // a byte outside UTF-8 stands for itself
            out += static_cast<wchar_t>(c);
            ++p;
            continue;
        }
        out += static_cast<wchar_t>(cp);
        p += extra + 1;
    }
    return out;
}

} // namespace platform
} // namespace zel
