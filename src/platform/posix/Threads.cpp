// Generic POSIX code only: auto-reset events and detached threads.
#include "platform/Threads.h"

#include "base/Deadline.h"

#include <cerrno>
#include <ctime>
#include <new>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace zel {
namespace platform {

namespace {

struct PosixEvent {
    pthread_mutex_t mutex;
    pthread_cond_t cond; // on CLOCK_MONOTONIC
    bool signalled;
};

// `now` plus `ms` milliseconds.
timespec Deadline(unsigned int ms) {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return base::AddMilliseconds(t, ms);
}

} // namespace

void* EventCreate() {
    PosixEvent* e = new (std::nothrow) PosixEvent;
    if (e == nullptr)
        return nullptr;
    e->signalled = false;
    if (pthread_mutex_init(&e->mutex, nullptr) != 0) {
        delete e;
        return nullptr;
    }
    pthread_condattr_t attr;
    bool ok = pthread_condattr_init(&attr) == 0;
    if (ok) {
        ok = pthread_condattr_setclock(&attr, CLOCK_MONOTONIC) == 0 &&
             pthread_cond_init(&e->cond, &attr) == 0;
        pthread_condattr_destroy(&attr);
    }
    if (!ok) {
        pthread_mutex_destroy(&e->mutex);
        delete e;
        return nullptr;
    }
    return e;
}

void EventClose(void* event) {
    PosixEvent* e = static_cast<PosixEvent*>(event);
    if (e == nullptr)
        return;
    pthread_cond_destroy(&e->cond);
    pthread_mutex_destroy(&e->mutex);
    delete e;
}

void EventSignal(void* event) {
    PosixEvent* e = static_cast<PosixEvent*>(event);
    pthread_mutex_lock(&e->mutex);
    e->signalled = true;
    pthread_cond_signal(&e->cond);
    pthread_mutex_unlock(&e->mutex);
}

EventWaitResult EventWait(void* event, unsigned int milliseconds) {
    PosixEvent* e = static_cast<PosixEvent*>(event);
    const bool forever = milliseconds == 0xFFFFFFFFu;
    const timespec deadline = Deadline(forever ? 0 : milliseconds);
    pthread_mutex_lock(&e->mutex);
    while (!e->signalled) {
        int rc = forever ? pthread_cond_wait(&e->cond, &e->mutex)
                         : pthread_cond_timedwait(&e->cond, &e->mutex, &deadline);
        if (rc == ETIMEDOUT && !e->signalled) {
            pthread_mutex_unlock(&e->mutex);
            return EventWaitResult::TimedOut;
        }
        if (rc != 0 && rc != ETIMEDOUT) {
            pthread_mutex_unlock(&e->mutex);
            return EventWaitResult::Failed;
        }
    }
    e->signalled = false; // automatic reset: this wait consumed the signal
    pthread_mutex_unlock(&e->mutex);
    return EventWaitResult::Signalled;
}

namespace {

struct ThreadStart {
    ThreadRoutine routine;
    void* argument;
    pthread_mutex_t mutex;
    pthread_cond_t cond;
    unsigned long id; // set by the new thread before it runs the routine
};

void* ThreadMain(void* p) {
    ThreadStart* start = static_cast<ThreadStart*>(p);
    ThreadRoutine routine = start->routine;
    void* argument = start->argument;
    pthread_mutex_lock(&start->mutex);
    start->id = static_cast<unsigned long>(syscall(SYS_gettid));
    pthread_cond_signal(&start->cond);
    pthread_mutex_unlock(&start->mutex);
    // `start` belongs to the creator from here on.
    routine(argument);
    return nullptr;
}

} // namespace

unsigned long StartDetachedThread(ThreadRoutine routine, void* argument) {
    ThreadStart start;
    start.routine = routine;
    start.argument = argument;
    start.id = 0;
    if (pthread_mutex_init(&start.mutex, nullptr) != 0)
        return 0;
    if (pthread_cond_init(&start.cond, nullptr) != 0) {
        pthread_mutex_destroy(&start.mutex);
        return 0;
    }
    unsigned long id = 0;
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) == 0) {
        pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
        pthread_t thread;
        if (pthread_create(&thread, &attr, &ThreadMain, &start) == 0) {
            // Wait for the identifier, as CreateThread hands it back at once.
            pthread_mutex_lock(&start.mutex);
            while (start.id == 0)
                pthread_cond_wait(&start.cond, &start.mutex);
            id = start.id;
            pthread_mutex_unlock(&start.mutex);
        }
        pthread_attr_destroy(&attr);
    }
    pthread_cond_destroy(&start.cond);
    pthread_mutex_destroy(&start.mutex);
    return id;
}

} // namespace platform
} // namespace zel
