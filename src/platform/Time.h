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

// Whether asctime can lay out `t`: year 1900..9999, month 0..11, a day that
// exists in that month, hour 0..23, minute and second 0..59, week day 0..6.
inline bool AscTimeFieldsValid(const std::tm& t) {
    static const int days[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (t.tm_year < 0 || t.tm_year > 8099 || t.tm_mon < 0 || t.tm_mon > 11 || t.tm_hour < 0 ||
        t.tm_hour > 23 || t.tm_min < 0 || t.tm_min > 59 || t.tm_sec < 0 || t.tm_sec > 59 ||
        t.tm_wday < 0 || t.tm_wday > 6 || t.tm_mday < 1 || t.tm_mday > days[t.tm_mon])
        return false;
    const int year = t.tm_year + 1900;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return !(t.tm_mon == 1 && t.tm_mday == 29 && !leap);
}

// The 26-byte "Www Mmm dd hh:mm:ss yyyy\n" text of `t` (day of the month with a
// leading zero) into buffer of `size` bytes (at least 26); the empty text when
// AscTimeFieldsValid(t) is false.
void FormatAscTime(const std::tm& t, char* buffer, unsigned size);

} // namespace platform
} // namespace zel
