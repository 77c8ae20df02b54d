// The deadline of the current call, per thread, on the monotonic clock.
#include "platform/CallDeadline.h"

#include <chrono>

namespace zel {
namespace platform {

namespace {

const long long kNone = -1;
// Nanoseconds on the steady clock; plain data, so usable at any moment of a
// thread's life.
thread_local long long t_deadline = kNone;

long long Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

CallDeadline::CallDeadline(unsigned int milliseconds) : m_previous(t_deadline) {
    const long long end = Now() + static_cast<long long>(milliseconds) * 1000000LL;
    if (t_deadline == kNone || end < t_deadline)
        t_deadline = end;
}

CallDeadline::~CallDeadline() {
    t_deadline = m_previous;
}

unsigned int CallWaitMs(unsigned int milliseconds) {
    if (t_deadline == kNone)
        return milliseconds;
    const long long left = t_deadline - Now();
    if (left <= 0)
        return 1;
    const long long leftMs = (left + 999999) / 1000000;
    return leftMs < static_cast<long long>(milliseconds) ? static_cast<unsigned int>(leftMs)
                                                         : milliseconds;
}

unsigned int CallWaitLeftMs(unsigned int milliseconds) {
    if (t_deadline != kNone && t_deadline - Now() <= 0)
        return 0;
    return CallWaitMs(milliseconds);
}

} // namespace platform
} // namespace zel
