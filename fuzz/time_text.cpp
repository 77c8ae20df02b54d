// The calendar conversions and the time text against plain references. Input:
// eight bytes of a time in seconds (folded into the supported years and a little
// beyond, or taken whole, by the first byte's low bit), then up to seven
// bytes of broken-down fields for asctime.
// Checks: gmtime gives the fields of the civil-calendar algorithm in the
// supported years and the zero-filled record elsewhere; localtime agrees with
// the C library's localtime_r there; asctime of a UTC time is the classic layout
// and reads back (sscanf and the same algorithm) to the very second; asctime of
// any fields is that layout when they can be laid out, and the empty text
// otherwise.
#include "zel/Exception.h"
#include "zel/TimeUtil.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

const char* const kDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool Leap(long long y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}
int DaysInMonth(long long y, int m) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 1 && Leap(y) ? 29 : days[m];
}

// Days since 1970-01-01 of a civil date (month 1..12), and back.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

struct Civil {
    long long year;
    int month; // 0..11
    int day;   // 1..31
    int yday;  // 0..365
};

Civil CivilFromDays(long long z) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const long long y = static_cast<long long>(yoe) + era * 400 + (m <= 2);
    Civil c{y, static_cast<int>(m) - 1, static_cast<int>(d), 0};
    for (int i = 0; i < c.month; ++i)
        c.yday += DaysInMonth(y, i);
    c.yday += c.day - 1;
    return c;
}

const long long kLast = DaysFromCivil(3001, 1, 1) * 86400 - 1; // 3000-12-31 23:59:59

std::string Layout(const std::tm& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %d\n", kDays[t.tm_wday],
                  kMonths[t.tm_mon], t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, t.tm_year + 1900);
    return text;
}

bool CanLayOut(const std::tm& t) {
    return t.tm_year >= 0 && t.tm_year <= 9999 - 1900 && t.tm_mon >= 0 && t.tm_mon <= 11 &&
           t.tm_mday >= 1 && t.tm_mday <= DaysInMonth(t.tm_year + 1900LL, t.tm_mon) &&
           t.tm_hour >= 0 && t.tm_hour <= 23 && t.tm_min >= 0 && t.tm_min <= 59 && t.tm_sec >= 0 &&
           t.tm_sec <= 59 && t.tm_wday >= 0 && t.tm_wday <= 6;
}

void CheckUtc(long long t) {
    std::tm tm;
    std::memset(&tm, 0x5A, sizeof tm);
    Check(zel::util::gmtime(&t, &tm) == &tm);
    if (t < 0 || t > kLast) {
        Check(tm.tm_year == 0 && tm.tm_mon == 0 && tm.tm_mday == 0 && tm.tm_hour == 0 &&
              tm.tm_min == 0 && tm.tm_sec == 0 && tm.tm_wday == 0 && tm.tm_yday == 0 &&
              tm.tm_isdst == 0);
        return;
    }
    const long long days = t / 86400;
    const long long rest = t % 86400;
    const Civil c = CivilFromDays(days);
    Check(tm.tm_year == c.year - 1900 && tm.tm_mon == c.month && tm.tm_mday == c.day &&
          tm.tm_yday == c.yday && tm.tm_wday == (days + 4) % 7 && tm.tm_hour == rest / 3600 &&
          tm.tm_min == rest / 60 % 60 && tm.tm_sec == rest % 60 && tm.tm_isdst == 0);

    char text[26];
    Check(zel::util::asctime(&tm, text, sizeof text) == text);
    Check(Layout(tm) == text);
    // Read back: the text names the very second it was made of.
    char day[4], month[4];
    int d = 0, h = 0, mi = 0, s = 0, y = 0;
    Check(std::sscanf(text, "%3s %3s %d %d:%d:%d %d", day, month, &d, &h, &mi, &s, &y) == 7);
    int m = 0;
    while (m < 12 && std::strcmp(kMonths[m], month) != 0)
        ++m;
    Check(m < 12);
    Check(DaysFromCivil(y, static_cast<unsigned>(m + 1), static_cast<unsigned>(d)) * 86400 +
              h * 3600 + mi * 60 + s ==
          t);

    // Local time: the C library's answer.
    std::tm mine;
    std::tm theirs;
    zel::util::localtime(&t, &mine);
    const std::time_t tt = static_cast<std::time_t>(t);
    if (localtime_r(&tt, &theirs) != nullptr)
        Check(mine.tm_year == theirs.tm_year && mine.tm_yday == theirs.tm_yday &&
              mine.tm_hour == theirs.tm_hour && mine.tm_min == theirs.tm_min &&
              mine.tm_sec == theirs.tm_sec && mine.tm_isdst == theirs.tm_isdst);
}

void CheckFields(const std::uint8_t* f, std::size_t n) {
    std::tm tm{};
    int* const fields[] = {&tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour,
                           &tm.tm_min,  &tm.tm_sec, &tm.tm_wday};
    // A byte per field around its range, the year spread over 1890..10145.
    for (std::size_t i = 0; i < 7; ++i) {
        const int v = i < n ? f[i] : 0;
        *fields[i] = i == 0 ? v * 32 - 10 : v - 2;
    }
    char text[40];
    std::memset(text, 'x', sizeof text);
    zel::util::asctime(&tm, text, 26);
    if (CanLayOut(tm))
        Check(Layout(tm) == text);
    else
        Check(text[0] == '\0');
    for (std::size_t i = 26; i < sizeof text; ++i)
        Check(text[i] == 'x');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 8)
        return 0;
    long long t;
    std::memcpy(&t, data, sizeof t);
    if ((data[0] & 1) == 0) {
        // Mostly the supported years: -1 day .. 3001-01-01 plus a day.
        const unsigned long long span = static_cast<unsigned long long>(kLast) + 2 * 86400 + 1;
        t = static_cast<long long>(static_cast<unsigned long long>(t) % span) - 86400;
    }
    try {
        CheckUtc(t);
        CheckFields(data + 8, size - 8);
    } catch (const zel::Exception&) {
        std::abort(); // every call above is well formed
    }
    return 0;
}
