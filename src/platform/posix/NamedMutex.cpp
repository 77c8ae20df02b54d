// Generic POSIX code only (with Linux's open-file-description locks): named
// mutexes that every account may open.
//
// A named mutex is the file /dev/shm/zel.mutex.<name>, mode 0666. Ownership across
// processes is an exclusive lock on its byte 0, held by the owning process; the
// kernel drops it when that process ends, so no account can corrupt it, only hold
// it. Byte 0 of the file's data is a mark: '1' while owned, '0' once released, so
// the next owner learns when the previous one ended without releasing (another
// account may forge the mark; that only reports a false "abandoned"). Every
// process that uses the mutex holds a read lock on byte 1; the last one to close
// removes the name. Which thread owns it, and how often, is kept in this
// process's memory, shared by all its handles to the same file.
#include "platform/NamedMutex.h"

#include "base/Deadline.h"
#include "base/Immortal.h"
#include "platform/posix/SharedFiles.h"

#include <cerrno>
#include <condition_variable>
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

const off_t kOwnerByte = 0; // the lock of the owning process; the mark in the data
const off_t kUseByte = 1;   // read-locked by every process using the mutex
const mode_t kMutexMode = 0666;
// How long opening waits for a process that is removing the name (a brief step;
// only an account holding the lock on purpose makes it last).
const unsigned int kOpenWaitMs = 1000;

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
    std::string path;
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

// The named mutexes this process has open, by file identity. Guards the states'
// `handles` as well, and is held while a name is opened or created.
// Never destroyed, so that a handle may be opened or closed during exit.
base::Immortal<std::mutex> g_statesMutexStore;
base::Immortal<std::map<std::pair<dev_t, ino_t>, MutexState*>> g_statesStore;
std::mutex& g_statesMutex = *g_statesMutexStore;
std::map<std::pair<dev_t, ino_t>, MutexState*>& g_states = *g_statesStore;

// Opens or creates the file of `path` with this process's read lock on the use
// byte. `created`: this call made it (and, with `initialOwner`, owns it).
int OpenOrCreate(const std::string& path, bool mayCreate, bool initialOwner, bool& created,
                 struct stat& st) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        int fd = shared::OpenObject(path, O_RDWR, st);
        if (fd >= 0) {
            const shared::Join joined = shared::JoinObject(fd, path, st, kUseByte, kOpenWaitMs);
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
        fd = shared::PublishObject(path, kMutexMode, [initialOwner](int f) {
            if (!shared::LockByte(f, kUseByte, F_RDLCK, 0))
                return false;
            // Owned before anyone can see it.
            return !initialOwner ||
                   (shared::LockByte(f, kOwnerByte, F_WRLCK, 0) && ::pwrite(f, "1", 1, 0) == 1);
        });
        if (fd >= 0) {
            created = true;
            return ::fstat(fd, &st) == 0 ? fd : (::close(fd), -1);
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EAGAIN;
    return -1;
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
        state.release();
        existed = false;
        return shared::Register(handle.release());
    }
    std::string path;
    if (!shared::ObjectPath("mutex", name, path))
        return nullptr;
    bool created = false;
    MutexState* state = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_statesMutex);
        struct stat st;
        int fd = OpenOrCreate(path, mayCreate, initialOwner, created, st);
        if (fd < 0)
            return nullptr;
        auto key = std::make_pair(st.st_dev, st.st_ino);
        auto it = g_states.find(key);
        if (it != g_states.end()) {
            ::close(fd); // this process already has it open, locks and all
            state = it->second;
        } else {
            try {
                std::unique_ptr<MutexState> fresh(new MutexState);
                fresh->fd = fd;
                fresh->path = path;
                fresh->identity = st;
                if (created && initialOwner) {
                    fresh->owner = CurrentThread();
                    fresh->count = 1;
                }
                g_states[key] = fresh.get();
                state = fresh.release();
            } catch (...) {
                // Out of memory: a name this call made goes again, none is left open.
                shared::Retire(fd, path, kUseByte);
                throw;
            }
        }
        ++state->handles; // the share of the handle made below
    }
    // Outside the lock: a handle that cannot be made or registered drops its share.
    MutexHandle* handle = nullptr;
    try {
        handle = new MutexHandle(state);
    } catch (...) {
        DropState(state);
        throw;
    }
    existed = !created;
    return shared::Register(handle);
}

void DropState(MutexState* state) {
    std::lock_guard<std::mutex> lock(g_statesMutex);
    if (--state->handles > 0)
        return;
    if (state->fd >= 0) {
        g_states.erase(std::make_pair(state->identity.st_dev, state->identity.st_ino));
        // Still owned through it: closing drops the file lock, and the mark left
        // at '1' tells the next owner that this one never released.
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
    if (!shared::LockByte(state->fd, kOwnerByte, F_WRLCK, waitMs))
        return errno == ETIMEDOUT ? MutexWait::Timeout : MutexWait::Failed;
    char mark = 0;
    bool abandoned = ::pread(state->fd, &mark, 1, 0) == 1 && mark == '1';
    (void)::pwrite(state->fd, "1", 1, 0);
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
            (void)::pwrite(state->fd, "0", 1, 0);
            shared::UnlockByte(state->fd, kOwnerByte);
        }
        state->owner = 0;
        state->changed.notify_all();
    }
    return true;
}

} // namespace platform
} // namespace zel
