// Generic POSIX code only (with Linux's open-file-description locks and abstract
// socket names): named mutexes that every account may open.
//
// A named mutex is the file /dev/shm/zel.mutex.<name>, mode 0666, opened under the
// trust rule (TrustedPath.h). Ownership across processes is the binding of an
// abstract socket name derived from the mutex's name: no account can remove or
// replace a name there, so removing or replacing the file never gives a mutex two
// owners, and the kernel frees the name when its holder ends. Another account can
// only hold it (a denial). Byte 0 of the file's data is a mark: '1' while owned,
// '0' once released, so the next owner learns when the previous one ended without
// releasing (another account may forge the mark in either direction; that only
// reports a false "abandoned" or hides a true one). Every process that uses the
// mutex holds a read lock on byte 1; the last one to close removes the name.
// Which thread owns it, and how often, is kept in this process's memory, shared
// by all its handles to the same name.
#include "platform/NamedMutex.h"

#include "base/Deadline.h"
#include "platform/CallDeadline.h"
#include "base/Immortal.h"
#include "platform/posix/SharedFiles.h"

#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>

namespace zel {
namespace platform {

namespace {

const off_t kMarkByte = 0; // the mark in the data
const off_t kUseByte = 1;  // read-locked by every process using the mutex
const mode_t kMutexMode = 0666;
// How long opening may take in all, retries included: waiting for a process that
// is removing the name is a brief step; only an account holding it on purpose
// makes it last, and then the call fails within this bound.
const unsigned int kOpenWaitMs = 400;

// Binds the abstract name `exclusion`: a socket while this process owns the
// mutex, -1 (errno EADDRINUSE) while another one does.
int BindExclusion(const std::string& exclusion) {
    int s = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return -1;
    struct sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const std::size_t n = exclusion.size() < sizeof address.sun_path - 1
                              ? exclusion.size()
                              : sizeof address.sun_path - 1;
    std::memcpy(address.sun_path + 1, exclusion.data(), n);
    const socklen_t length = static_cast<socklen_t>(offsetof(struct sockaddr_un, sun_path) + 1 + n);
    if (::bind(s, reinterpret_cast<struct sockaddr*>(&address), length) != 0) {
        int error = errno;
        ::close(s);
        errno = error;
        return -1;
    }
    return s;
}

// Binds it, trying until `waitMs` has passed (kForever: without limit).
int BindExclusionWithin(const std::string& exclusion, unsigned int waitMs) {
    timespec start;
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    const timespec deadline = base::AddMilliseconds(start, waitMs);
    long pauseNs = 200000; // 0.2 ms, doubling to 5 ms
    for (;;) {
        int s = BindExclusion(exclusion);
        if (s >= 0 || errno != EADDRINUSE)
            return s;
        unsigned long long left = 1;
        if (waitMs != shared::kForever) {
            timespec now;
            ::clock_gettime(CLOCK_MONOTONIC, &now);
            left = base::MillisecondsLeft(now, deadline);
            if (waitMs == 0 || left == 0) {
                errno = ETIMEDOUT;
                return -1;
            }
        }
        long ns = pauseNs;
        if (waitMs != shared::kForever && static_cast<unsigned long long>(ns) > left * 1000000ULL)
            ns = static_cast<long>(left * 1000000ULL);
        timespec pause{0, ns};
        ::nanosleep(&pause, nullptr);
        if (pauseNs < 5000000)
            pauseNs *= 2;
    }
}

pid_t CurrentThread() {
    return static_cast<pid_t>(::syscall(SYS_gettid));
}

bool ThreadAlive(pid_t tid) {
    return !(::syscall(SYS_tgkill, ::getpid(), tid, 0) != 0 && errno == ESRCH);
}

// One mutex as this process sees it, shared by all its handles to that file.
struct MutexState {
    std::mutex local;
    std::condition_variable changed;
    pid_t owner = 0;         // the owning thread, or the one taking the file lock
    unsigned long count = 0; // recursion depth; 0 while the owner is still taking it
    int fd = -1;             // -1 for a mutex of this process only
    int exclusion = -1;      // the bound name while this process owns it
    std::string path;
    std::string exclusionName;
    struct stat identity {};
    int handles = 0;
};

void DropState(MutexState* state);

// Closing a handle (CloseKernelHandle deletes it) drops its share of the state.
struct MutexHandle : shared::Handle {
    explicit MutexHandle(MutexState* s) : Handle(Mutex), state(s) {}
    ~MutexHandle() override { DropState(state); }
    MutexState* state;
};

// The named mutexes this process has open, by exclusion name. Guards the states'
// `handles` as well; never held while waiting. Never destroyed, so that a handle
// may be opened or closed during exit.
base::Immortal<std::mutex> g_statesMutexStore;
base::Immortal<std::map<std::string, MutexState*>> g_statesStore;
std::mutex& g_statesMutex = *g_statesMutexStore;
std::map<std::string, MutexState*>& g_states = *g_statesStore;

// Opens or creates the file of `path` with this process's read lock on the use
// byte, all within kOpenWaitMs (or what is left of the call's deadline). `created`: this call made
// it; `owned` then holds the bound exclusion when `initialOwner` asked for it (else -1).
int OpenOrCreate(const std::string& path, const std::string& exclusion, bool mayCreate,
                 bool initialOwner, bool& created, int& owned, struct stat& st) {
    owned = -1;
    timespec deadline;
    ::clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline = base::AddMilliseconds(deadline, CallWaitMs(kOpenWaitMs));
    for (;;) {
        timespec now;
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        const unsigned long long left = base::MillisecondsLeft(now, deadline);
        if (left == 0) {
            errno = ETIMEDOUT;
            return -1;
        }
        int fd = shared::OpenObject(path, O_RDWR, st);
        if (fd >= 0) {
            const shared::Join joined =
                shared::JoinObject(fd, path, st, kUseByte, static_cast<unsigned int>(left));
            if (joined == shared::Join::Failed)
                return -1;
            if (joined == shared::Join::Gone)
                continue;
            created = false;
            return fd;
        }
        if (errno != ENOENT)
            return -1;
        if (!mayCreate)
            return -1;
        int bound = -1;
        if (initialOwner) {
            // Owned before anyone can see it; a name another process holds (only
            // possible on purpose) makes creating fail, as a held mutex would.
            bound = BindExclusion(exclusion);
            if (bound < 0)
                return -1;
        }
        fd = shared::PublishObject(path, kMutexMode, [initialOwner](int f) {
            return shared::LockByte(f, kUseByte, F_RDLCK, 0) &&
                   (!initialOwner || ::pwrite(f, "1", 1, kMarkByte) == 1);
        });
        if (fd >= 0 && ::fstat(fd, &st) == 0) {
            created = true;
            owned = bound;
            return fd;
        }
        int error = errno;
        if (fd >= 0)
            ::close(fd);
        if (bound >= 0)
            ::close(bound);
        if (error != EEXIST) {
            errno = error;
            return -1;
        }
    }
}

void* MakeMutex(bool initialOwner, const char* name, bool mayCreate, bool& existed) {
    if (name == nullptr || *name == '\0') {
        if (!mayCreate) {
            errno = ENOENT;
            return nullptr;
        }
        std::unique_ptr<MutexState> state(new MutexState);
        if (initialOwner) {
            state->owner = CurrentThread();
            state->count = 1;
        }
        state->handles = 1;
        std::unique_ptr<MutexHandle> handle(new MutexHandle(state.get()));
        (void)state.release(); // the handle owns it now
        existed = false;
        return shared::Register(handle.release());
    }
    std::string path;
    if (!shared::ObjectPath("mutex", name, path))
        return nullptr;
    const std::string exclusion = shared::ExclusionName(path);
    bool created = false;
    int owned = -1;
    struct stat st;
    // Opened without the table's lock: a wait here never holds up other handles.
    int fd = OpenOrCreate(path, exclusion, mayCreate, initialOwner, created, owned, st);
    if (fd < 0)
        return nullptr;
    std::unique_ptr<MutexState> fresh;
    std::unique_ptr<MutexHandle> handle;
    MutexState* state = nullptr;
    try {
        fresh.reset(new MutexState);
        handle.reset(new MutexHandle(nullptr));
        std::lock_guard<std::mutex> lock(g_statesMutex);
        auto it = g_states.find(exclusion);
        if (it != g_states.end()) {
            ::close(fd); // this process already has it open, locks and all
            fd = -1;
            state = it->second;
            if (owned >= 0) {
                // The name was made again while this process still used the old file.
                std::lock_guard<std::mutex> local(state->local);
                if (state->owner == 0) {
                    state->owner = CurrentThread();
                    state->count = 1;
                    state->exclusion = owned;
                } else {
                    ::close(owned);
                }
                owned = -1;
            }
        } else {
            // What may throw comes first: once in the table, the state is whole.
            fresh->path = path;
            fresh->exclusionName = exclusion;
            fresh->identity = st;
            g_states[exclusion] = fresh.get();
            fresh->fd = fd;
            if (owned >= 0) {
                fresh->owner = CurrentThread();
                fresh->count = 1;
                fresh->exclusion = owned;
            }
            fd = -1;
            owned = -1;
            state = fresh.release();
        }
        handle->state = state;
        ++state->handles;
    } catch (...) {
        // Out of memory: a name this call made goes again, nothing is left open.
        if (owned >= 0)
            ::close(owned);
        if (fd >= 0)
            shared::Retire(fd, path, kUseByte);
        throw;
    }
    existed = !created;
    return shared::Register(handle.release());
}

void DropState(MutexState* state) {
    if (state == nullptr) // a handle whose making failed before it had a state
        return;
    std::lock_guard<std::mutex> lock(g_statesMutex);
    if (--state->handles > 0)
        return;
    if (state->fd >= 0) {
        g_states.erase(state->exclusionName);
        // Still owned through it: closing frees the name, and the mark left at
        // '1' tells the next owner that this one never released.
        if (state->exclusion >= 0)
            ::close(state->exclusion);
        shared::Retire(state->fd, state->path, kUseByte);
    }
    delete state;
}

// Takes the file lock for `state` until `deadline` (null: no limit).
MutexWait TakeFileLock(MutexState* state, const timespec* deadline) {
    if (state->fd < 0)
        return MutexWait::Acquired;
    unsigned int waitMs = shared::kForever;
    if (deadline != nullptr) {
        timespec now;
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        unsigned long long left = base::MillisecondsLeft(now, *deadline);
        waitMs = left >= shared::kForever ? shared::kForever - 1 : static_cast<unsigned int>(left);
    }
    int bound = BindExclusionWithin(state->exclusionName, waitMs);
    if (bound < 0)
        return errno == ETIMEDOUT ? MutexWait::Timeout : MutexWait::Failed;
    state->exclusion = bound;
    char mark = 0;
    bool abandoned = ::pread(state->fd, &mark, 1, kMarkByte) == 1 && mark == '1';
    (void)::pwrite(state->fd, "1", 1, kMarkByte);
    return abandoned ? MutexWait::Abandoned : MutexWait::Acquired;
}

} // namespace

void* CreateNamedMutex(void*, bool initialOwner, const char* name, bool& existed) {
    try {
        return MakeMutex(initialOwner, name, true, existed);
    } catch (...) {
        errno = ENOMEM;
        return nullptr;
    }
}

void* OpenNamedMutex(const char* name) {
    try {
        bool existed = false;
        return MakeMutex(false, name, false, existed);
    } catch (...) {
        errno = ENOMEM;
        return nullptr;
    }
}

MutexWait WaitNamedMutex(void* handle, unsigned int milliseconds) {
    auto* h = static_cast<MutexHandle*>(shared::Find(handle, shared::Handle::Mutex));
    if (h == nullptr)
        return MutexWait::Failed;
    MutexState* state = h->state;
    const pid_t self = CurrentThread();
    timespec deadline{};
    if (milliseconds != kWaitForever) {
        ::clock_gettime(CLOCK_MONOTONIC, &deadline);
        deadline = base::AddMilliseconds(deadline, milliseconds);
    }
    std::unique_lock<std::mutex> lock(state->local);
    if (state->owner == self && state->count > 0) {
        if (state->count == ~0UL)
            return MutexWait::Failed;
        ++state->count;
        return MutexWait::Acquired;
    }
    // Another thread of this process owns it, or is taking it.
    while (state->owner != 0) {
        if (state->count > 0 && !ThreadAlive(state->owner)) {
            // It ended owning the mutex: hand it on with the file lock this
            // process still holds.
            state->owner = self;
            state->count = 1;
            return MutexWait::Abandoned;
        }
        timespec now;
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        unsigned long long left = 10; // look at the owner again every 10 ms
        if (milliseconds != kWaitForever) {
            unsigned long long remaining = base::MillisecondsLeft(now, deadline);
            if (milliseconds == 0 || remaining == 0)
                return MutexWait::Timeout;
            if (remaining < left)
                left = remaining;
        }
        state->changed.wait_for(lock, std::chrono::milliseconds(left));
    }
    state->owner = self; // taking it: others of this process wait
    state->count = 0;
    lock.unlock();
    MutexWait result = TakeFileLock(state, milliseconds == kWaitForever ? nullptr : &deadline);
    lock.lock();
    if (result == MutexWait::Acquired || result == MutexWait::Abandoned) {
        state->count = 1;
    } else {
        state->owner = 0;
        state->changed.notify_all();
    }
    return result;
}

bool ReleaseNamedMutex(void* handle) {
    auto* h = static_cast<MutexHandle*>(shared::Find(handle, shared::Handle::Mutex));
    if (h == nullptr)
        return false;
    MutexState* state = h->state;
    std::lock_guard<std::mutex> lock(state->local);
    if (state->owner != CurrentThread() || state->count == 0) {
        errno = EPERM;
        return false;
    }
    if (--state->count == 0) {
        if (state->fd >= 0) {
            (void)::pwrite(state->fd, "0", 1, kMarkByte);
            if (state->exclusion >= 0)
                ::close(state->exclusion);
            state->exclusion = -1;
        }
        state->owner = 0;
        state->changed.notify_all();
    }
    return true;
}

} // namespace platform
} // namespace zel
