// Checks on the fields of a calendar record, shared by both platform backends.
#pragma once

#include <ctime>

namespace zel {
namespace base {

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

} // namespace base
} // namespace zel
