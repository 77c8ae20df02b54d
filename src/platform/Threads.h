// Events and detached threads of the operating system.
#pragma once

namespace zel {
namespace platform {

// A thread routine in the system's calling convention (__stdcall on 32-bit
// Windows): takes the argument given at the start, returns the exit code.
#if defined(_WIN32)
using ThreadRoutine = unsigned long(__stdcall*)(void* argument);
#else
using ThreadRoutine = unsigned long (*)(void* argument);
#endif

// An unnamed auto-reset event, not signalled; null when it cannot be created.
void* EventCreate();
// Releases an event from EventCreate; null is ignored.
void EventClose(void* event);
void EventSignal(void* event);

enum class EventWaitResult { Signalled, TimedOut, Failed };
// Waits up to `milliseconds` (0xFFFFFFFF: without limit). Windows waits alertably.
EventWaitResult EventWait(void* event, unsigned int milliseconds);

// Starts routine(argument) on a new detached thread; its identifier, 0 on failure.
unsigned long StartDetachedThread(ThreadRoutine routine, void* argument);

} // namespace platform
} // namespace zel
