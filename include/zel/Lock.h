// ZELBase locks and scope guards.
//
// `Lockable` is the interface of anything that can be locked; `AutoCriticalSection`
// implements it with a recursive lock (a Win32 critical section on Windows, a
// recursive pthread mutex elsewhere); `Guard` holds a lock for the life of a
// scope and `UnGuard` lets go of a `Guard`'s lock for the life of a nested scope.
//
// Example:
//   zel::AutoCriticalSection cs;
//   {
//       zel::Guard g(cs);          // locked
//       {
//           zel::UnGuard ug(g);    // unlocked: other threads may take cs
//       }                          // locked again
//   }                              // unlocked
#pragma once

#include "zel/Export.h"

namespace zel {

// Abstract lock. Implementations must let the owning thread lock again
// (recursion) and release after as many unlock() calls as lock() calls.
class ZEL_API Lockable {
public:
    Lockable();
    virtual ~Lockable();
    virtual void lock() = 0;
    virtual void unlock() = 0;
};

// A recursive process-local lock. Unlocked when constructed; must be unlocked
// when destroyed. Any number of threads may use one object; it is not copyable.
class ZEL_API AutoCriticalSection : public Lockable {
public:
    AutoCriticalSection();
    virtual ~AutoCriticalSection();
    void lock() override;
    void unlock() override;

    AutoCriticalSection(const AutoCriticalSection&) = delete;
    AutoCriticalSection& operator=(const AutoCriticalSection&) = delete;

    // Storage for the native lock object, kept opaque so that no operating-system
    // header is needed here: a CRITICAL_SECTION on Windows, a pthread_mutex_t elsewhere.
#if defined(_WIN32)
    static constexpr unsigned kNativeSize = sizeof(void*) == 4 ? 24 : 40;
#else
    static constexpr unsigned kNativeSize = 64;
#endif

private:
    alignas(sizeof(void*) == 4 ? 4 : 8) unsigned char m_criticalSection[kNativeSize];
};

// Locks a Lockable in its constructor and unlocks it in its destructor, exactly
// once each. Does not own the Lockable, which must outlive it. An exception
// thrown by unlock() in the destructor ends the process.
class ZEL_API Guard {
public:
    // Converts from the lock: zel::Guard g = cs; locks cs.
    Guard(Lockable& lockable);
    virtual ~Guard();
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    friend class UnGuard;
    Lockable* m_lockable;
};

// Unlocks the lock of a Guard in its constructor and locks it again in its
// destructor. Use only inside the scope of that Guard, and end before it; with a
// recursive lock taken several times it releases one level only.
class ZEL_API UnGuard {
public:
    // Converts from the guard: zel::UnGuard u = g; unlocks g's lock.
    UnGuard(Guard& guard);
    virtual ~UnGuard();
    UnGuard(const UnGuard&) = delete;
    UnGuard& operator=(const UnGuard&) = delete;

private:
    Lockable* m_lockable;
};

} // namespace zel
