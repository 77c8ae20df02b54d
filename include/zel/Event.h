// ZELBase events and thread creation.
//
// `Event` is a signalable object on which one thread waits for another: automatic
// reset, created not signalled. `ThreadCreator::Create` starts a detached thread
// that belongs to nobody and ends when its routine returns. The library itself
// never waits on an Event or starts a thread; both are for host programs.
//
// Windows: an unnamed auto-reset event (CreateEventA) waited on with
// WaitForSingleObjectEx, alertable; CreateThread with its handle closed at once.
// Linux: a mutex and a condition variable on the monotonic clock, so changes of
// the wall clock never shorten or stretch a time-out; a detached POSIX thread.
//
// Example:
//   zel::Event done;
//   done.Wait(0);                                   // false: not signalled
//   zel::ThreadCreator::Create(&Work, &done);       // Work calls done.Signal()
//   done.Wait(zel::Event::Infinite);                // true once Work has signalled
//   done.Wait(0);                                   // false again: reset by itself
#pragma once

#include "zel/Export.h"

// The calling convention of a thread routine: __stdcall (WINAPI) on 32-bit
// Windows, the default elsewhere.
#if defined(_WIN32)
#define ZEL_STDCALL __stdcall
#else
#define ZEL_STDCALL
#endif

namespace zel {

// An automatic-reset event. Signal() makes it signalled; it stays so until exactly
// one waiting thread is released (or, with nobody waiting, until the next Wait
// returns at once), and then resets by itself: several Signal() calls with nobody
// waiting release only one later Wait. Signal and Wait may be called from any
// threads at once; destroying an Event while a thread waits on it is not allowed.
// Not copyable: the object owns its kernel handle.
class ZEL_API Event {
public:
    // Wait without a time limit.
    static constexpr unsigned int Infinite = 0xFFFFFFFFu;

    // Creates the event, not signalled. Reports no failure: an event that could not
    // be created behaves as one that is always signalled (see Wait).
    Event();
    // Releases the event. Never throws.
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    // Makes the event signalled. Always returns true.
    bool Signal();
    // Waits up to `milliseconds` (Infinite: without limit; 0: only tests) for the
    // event. Returns false only when the time ran out; true when the event was
    // signalled (and has now reset), and also when the wait failed (the event
    // could not be created). Windows: the wait is alertable, so an APC or I/O
    // completion routine run on this thread also ends it with true; check your
    // own condition after a true result when that matters.
    // Example: Event e; e.Wait(100) returns false after about 100 ms.
    bool Wait(unsigned int milliseconds);

private:
    void* m_handle;
};

// Starts detached threads. Not instantiable: its one operation is static.
class ZEL_API ThreadCreator {
public:
    // A thread routine: takes the argument given to Create, returns the thread's
    // exit code (Windows; discarded on Linux).
    typedef unsigned long(ZEL_STDCALL* Routine)(void* argument);

    // Starts a thread that runs routine(argument) at once, with the default stack
    // size, and keeps nothing of it: it cannot be joined or waited on through the
    // library and ends when the routine returns. Returns the new thread's
    // identifier (Windows: the thread id; Linux: the kernel thread id, as gettid
    // gives it), or 0 when the thread could not be started or routine is null.
    // Never throws. May be called from any thread.
    // Example: ThreadCreator::Create(&Work, nullptr) != 0
    static unsigned long Create(Routine routine, void* argument);

private:
    ThreadCreator();
    ~ThreadCreator(); // NOLINT(performance-trivially-destructible) // exported: stays in abi/
};

} // namespace zel
