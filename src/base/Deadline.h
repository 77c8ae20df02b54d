// Deadlines for bounded waits: a point on a monotonic clock given as seconds and
// nanoseconds, as the POSIX timespec holds it. Pure arithmetic; the caller reads
// the clock.
#pragma once

namespace zel {
namespace base {

// `t` (any type with tv_sec and tv_nsec, nanoseconds below one second) moved on by
// `ms` milliseconds.
template <typename TimeSpec> TimeSpec AddMilliseconds(TimeSpec t, unsigned int ms) {
    t.tv_sec += static_cast<decltype(t.tv_sec)>(ms / 1000);
    t.tv_nsec += static_cast<decltype(t.tv_nsec)>(ms % 1000) * 1000000L;
    if (t.tv_nsec >= 1000000000L) {
        t.tv_sec += 1;
        t.tv_nsec -= 1000000000L;
    }
    return t;
}

// Whole milliseconds from `now` until `deadline`, rounded up; 0 once it has passed.
template <typename TimeSpec>
unsigned long long MillisecondsLeft(const TimeSpec& now, const TimeSpec& deadline) {
    long long ns = (static_cast<long long>(deadline.tv_sec) - static_cast<long long>(now.tv_sec)) *
                       1000000000LL +
                   (static_cast<long long>(deadline.tv_nsec) - static_cast<long long>(now.tv_nsec));
    if (ns <= 0)
        return 0;
    return static_cast<unsigned long long>((ns + 999999) / 1000000);
}

} // namespace base
} // namespace zel
