// Win32 code only: auto-reset events and detached threads.
#include "platform/Threads.h"

#include <windows.h>

namespace zel {
namespace platform {

static_assert(sizeof(ThreadRoutine) == sizeof(LPTHREAD_START_ROUTINE),
              "thread routine type differs from the Win32 one");

void* EventCreate() {
    return CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

void EventClose(void* event) {
    if (event != nullptr)
        CloseHandle(event);
}

void EventSignal(void* event) {
    SetEvent(event);
}

EventWaitResult EventWait(void* event, unsigned int milliseconds) {
    DWORD rc = WaitForSingleObjectEx(event, milliseconds, TRUE);
    if (rc == WAIT_TIMEOUT)
        return EventWaitResult::TimedOut;
    if (rc == WAIT_FAILED)
        return EventWaitResult::Failed;
    return EventWaitResult::Signalled; // signalled, or ended by an APC / I/O completion
}

unsigned long StartDetachedThread(ThreadRoutine routine, void* argument) {
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, routine, argument, 0, &id);
    if (thread == nullptr)
        return 0;
    CloseHandle(thread);
    return id;
}

} // namespace platform
} // namespace zel
