// ZELBase tick count and calendar-time conversions (namespace zel::util).
//
// Calendar times are signed 64-bit counts of seconds since 1970-01-01 00:00:00 UTC.
// The conversions write only into caller storage, so they may run on any thread.
// Misuse (a null result or buffer, a buffer under 26 bytes) throws zel::Exception
// annotated with "strutil::<function>: Exception caught".
//
// Example:
//   long long t = 0;
//   std::tm tm;
//   char text[26];
//   zel::util::asctime(zel::util::gmtime(&t, &tm), text, sizeof text);
//   // text: "Thu Jan 01 00:00:00 1970\n"
#pragma once

#include "zel/Export.h"

#include <ctime>

namespace zel {
namespace util {

// Milliseconds since the system started (GetTickCount64 on Windows, the boot-time
// clock elsewhere). Never decreases.
ZEL_API unsigned long long TickCount();

// UTC broken-down time of *time into *result; returns result. Throws Exception
// "pGMTime is null" for a null result. A time the platform cannot convert leaves
// a zero-filled record. A null `time` means the current time.
ZEL_API std::tm* gmtime(const long long* time, std::tm* result);
// The same in local time (daylight saving included); "pLocalTime is null".
ZEL_API std::tm* localtime(const long long* time, std::tm* result);
// Writes the 26-byte text "Www Mmm dd hh:mm:ss yyyy\n" (day with a leading zero)
// into buffer; a null `time` means the current local time. Throws "buffer is
// null" or "buffer must be at least 26 characters long, actual size = <size>".
ZEL_API char* asctime(const std::tm* time, char* buffer, unsigned int size);

} // namespace util
} // namespace zel
