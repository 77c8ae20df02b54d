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
// clock on Linux, which keeps counting during suspend). Never decreases. Any thread.
ZEL_API unsigned long long TickCount();

// UTC broken-down time of *time into *result; returns result. Throws Exception
// "pGMTime is null" for a null result (nothing is written). Times from 1970-01-01
// 00:00:00 to 3000-12-31 23:59:59 UTC convert on both platforms; any other time
// leaves a zero-filled record (the Windows runtime refuses them, and Linux follows
// so that both give the same answer). A null `time` means the current time.
//   long long t = 0; std::tm tm;
//   zel::util::gmtime(&t, &tm);   // 1970-01-01 00:00:00, tm_wday 4, tm_yday 0
ZEL_API std::tm* gmtime(const long long* time, std::tm* result);
// The same in local time (daylight saving included); "pLocalTime is null".
ZEL_API std::tm* localtime(const long long* time, std::tm* result);
// Writes the 26-byte text "Www Mmm dd hh:mm:ss yyyy\n" (day with a leading zero,
// on Linux too, unlike glibc's own asctime) into buffer; a null `time` means the
// current local time. Throws "buffer is null" (checked first) or "buffer must be
// at least 26 characters long, actual size = <size>", nothing written. Fields out
// of range (a year outside 1900..9999, a day that does not exist, ...) give the
// empty text rather than a crash of the Windows runtime.
ZEL_API char* asctime(const std::tm* time, char* buffer, unsigned int size);

} // namespace util
} // namespace zel
