// Clocks and calendar conversions.
#pragma once

#include <ctime>

namespace zel {
namespace platform {

// Seconds since 1970-01-01 00:00:00 UTC.
long long CurrentTime();
// Milliseconds since the system started.
unsigned long long TickCountMs();
// Reentrant 64-bit conversions into caller storage; false when the platform's
// conversion refused the value (the record is then zero-filled).
bool ToUtc(long long time, std::tm& out);
bool ToLocal(long long time, std::tm& out);
// The 26-byte "Www Mmm dd hh:mm:ss yyyy\n" text of `t` (day of the month with a
// leading zero) into buffer of `size` bytes (at least 26).
void FormatAscTime(const std::tm& t, char* buffer, unsigned size);

} // namespace platform
} // namespace zel
