// Auto-reset events and detached threads.
#include "zel/Event.h"

#include "platform/Threads.h"

#include <type_traits>

namespace zel {

static_assert(std::is_same<ThreadCreator::Routine, platform::ThreadRoutine>::value,
              "a host's thread routine goes to the system unchanged");

Event::Event() : m_handle(platform::EventCreate()) {}

Event::~Event() {
    platform::EventClose(m_handle);
}

bool Event::Signal() {
    if (m_handle != nullptr)
        platform::EventSignal(m_handle);
    return true;
}

bool Event::Wait(unsigned int milliseconds) {
    if (m_handle == nullptr)
        return true; // the wait fails, which is not a time-out
    return platform::EventWait(m_handle, milliseconds) != platform::EventWaitResult::TimedOut;
}

ThreadCreator::ThreadCreator() = default;
ThreadCreator::~ThreadCreator() = default;

unsigned long ThreadCreator::Create(Routine routine, void* argument) {
    if (routine == nullptr)
        return 0;
    return platform::StartDetachedThread(routine, argument);
}

} // namespace zel
