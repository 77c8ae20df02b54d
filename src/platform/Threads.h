// Events and detached threads of the operating system.
#pragma once

#include "zel/Event.h"

namespace zel {
namespace platform {

// An unnamed auto-reset event, not signalled; null when it cannot be created.
void* EventCreate();
// Releases an event from EventCreate; null is ignored.
void EventClose(void* event);
void EventSignal(void* event);

enum class EventWaitResult { Signalled, TimedOut, Failed };
// Waits up to `milliseconds` (0xFFFFFFFF: without limit). Windows waits alertably.
EventWaitResult EventWait(void* event, unsigned int milliseconds);

// Starts routine(argument) on a new detached thread; its identifier, 0 on failure.
unsigned long StartDetachedThread(ThreadCreator::Routine routine, void* argument);

} // namespace platform
} // namespace zel
