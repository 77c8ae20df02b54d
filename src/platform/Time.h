// Clocks and calendar conversions.
#pragma once

#include <ctime>

namespace zel {
namespace platform {

// Seconds since 1970-01-01 00:00:00 UTC.
long long CurrentTime();
// Milliseconds since the system started.
unsigned long long TickCountMs();
// The calendar times both backends convert: 1970-01-01 00:00:00 to
// 3000-12-31 23:59:59 UTC, the range of the Windows runtime's 64-bit conversions
// (which end the process through their invalid-parameter handler outside it).
constexpr long long kFirstConvertibleTime = 0;
constexpr long long kLastConvertibleTime = 32535215999LL;

// Reentrant 64-bit conversions into caller storage; false, with the record
// zero-filled, for a time outside the range above or one the system refused.
bool ToUtc(long long time, std::tm& out);
bool ToLocal(long long time, std::tm& out);

// The 26-byte "Www Mmm dd hh:mm:ss yyyy\n" text of `t` (day of the month with a
// leading zero) into buffer of `size` bytes (at least 26); the empty text when
// base::AscTimeFieldsValid(t) is false.
void FormatAscTime(const std::tm& t, char* buffer, unsigned size);

} // namespace platform
} // namespace zel
