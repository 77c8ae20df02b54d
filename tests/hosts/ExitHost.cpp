// A host program that uses the library while the process ends: its global
// destructor logs two lines, throws and catches an annotated exception and lists
// a folder, after the function-local statics made inside main are gone. With
// "thread", a detached thread keeps doing the same while main returns.
//
//   zel_exit_host <folder> plain|thread
//
// The log is <folder>/exit.log; everything the destructor learns goes into it as
// a line, for the driver (RunExitHost.cmake) to check.
//
// A host whose unwinder finds handlers through tables the C runtime drops while
// exit runs (32-bit MinGW, DWARF-2: the program's are dropped after the global
// destructors, while the thread still runs) must stop throwing through its own
// functions first, as docs/foundation.md says; this one does so from an atexit
// handler, and its thread then keeps calling the library without throwing.
//
// Under Wine, a thread that ExitProcess ends while it is inside Wine's own system
// calls may leave one of Wine's locks held, and the process then never ends (the
// main thread waits in NtTerminateProcess for a lock whose owner Wine has already
// ended). So on Windows the thread runs on through every global destructor and
// atexit handler and parks outside the library just before ExitProcess.
#include "zel/Directory.h"
#include "zel/Exception.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

// Plain storage: a host global that is still valid in the destructor below.
char g_folder[512];
std::atomic<int> g_threadRounds{0};

#if defined(_WIN32) && !defined(__SEH__)
constexpr bool kTablesDroppedAtExit = true;
#else
constexpr bool kTablesDroppedAtExit = false;
#endif
// Set by the atexit handler where the tables go; the thread answers once it has
// stopped throwing.
std::atomic<bool> g_exiting{false};
std::atomic<bool> g_threadStopped{false};
// Set by the last step of exit on Windows; the thread answers once it is parked.
std::atomic<bool> g_park{false};
std::atomic<bool> g_parked{false};
bool g_threadStarted = false;

// Lists g_folder; the number of entries, or -1 when the walk threw.
long ListFolder() {
    try {
        zel::DirectoryIterator it(g_folder, false, nullptr, true);
        return it.NumMatches();
    } catch (zel::Exception&) {
        return -1;
    }
}

// Throws an exception, annotates it as a guarded function would and catches it;
// the number of messages it held at the end.
unsigned ThrowAndCatch(const char* who) {
    try {
        try {
            throw zel::Exception("%s: thrown", who);
        } catch (zel::Exception& e) {
            e.appendMessage("%s::%s: Exception caught", "ExitHost", who);
            e.rethrow();
        }
    } catch (zel::Exception& e) {
        return e.getMessageTotal();
    }
    return 0;
}

// The library's calls without a throw: an exception built and annotated, not thrown.
unsigned AnnotateOnly(const char* who) {
    zel::Exception e("%s: built", who);
    e.appendMessage("%s::%s: annotated", "ExitHost", who);
    return e.getMessageTotal();
}

void KeepLogging() {
    for (int round = 0;; ++round) {
        if (g_park.load()) {
            g_parked.store(true);
            for (;;)
                std::this_thread::sleep_for(std::chrono::hours(1));
        }
        zel::Exception::trace("ExitHost: thread line %d", round);
        if (g_exiting.load()) {
            g_threadStopped.store(true);
            AnnotateOnly("thread");
        } else {
            ThrowAndCatch("thread");
        }
        ListFolder();
        g_threadRounds.fetch_add(1);
    }
}

void StopThrowing() {
    g_exiting.store(true);
    while (!g_threadStopped.load())
        std::this_thread::yield();
}

#ifdef _WIN32
// Destroyed after g_exitWork (defined later), so after every other step of exit.
struct ParkThread {
    ~ParkThread() {
        if (!g_threadStarted)
            return;
        g_park.store(true);
        while (!g_parked.load())
            std::this_thread::yield();
    }
} g_parkThread;
#endif

struct ExitWork {
    bool armed = false;
    ~ExitWork() {
        if (!armed)
            return;
        zel::Exception::trace("ExitHost: global destructor line 1");
        zel::Exception::trace("ExitHost: global destructor line 2");
        const unsigned messages = ThrowAndCatch("destructor");
        const long entries = ListFolder();
        zel::Exception::trace("ExitHost: caught %u messages, listed %ld entries", messages,
                              entries);
    }
} g_exitWork;

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 || std::strlen(argv[1]) + 16 > sizeof g_folder) {
        std::fprintf(stderr, "usage: zel_exit_host <folder> plain|thread\n");
        return 2;
    }
    std::strcpy(g_folder, argv[1]);
    std::string log = std::string(g_folder) + "/exit.log";
    zel::Exception::SetErrorLogLocation(log.c_str());
    zel::Exception::SetMirrorErrorLog(true);

    // The first lines build whatever the log keeps for later lines.
    zel::Exception::trace("ExitHost: main");
    ThrowAndCatch("main");
    ListFolder();
    g_exitWork.armed = true;

    if (std::strcmp(argv[2], "thread") == 0) {
        // Registered after start-up, so it runs before the runtime drops the tables.
        if (kTablesDroppedAtExit)
            std::atexit(StopThrowing);
        g_threadStarted = true;
        std::thread(KeepLogging).detach();
        while (g_threadRounds.load() < 3)
            std::this_thread::yield();
    }
    return 0;
}
