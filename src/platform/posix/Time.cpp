// Generic POSIX code only: clocks and calendar conversions.
#include "platform/Time.h"

#include "base/TimeFields.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace zel {
namespace platform {

long long CurrentTime() {
    return static_cast<long long>(std::time(nullptr));
}

unsigned long long TickCountMs() {
    timespec ts{};
    // CLOCK_BOOTTIME counts from boot and keeps counting during suspend, like GetTickCount64.
    if (clock_gettime(CLOCK_BOOTTIME, &ts) != 0)
        clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<unsigned long long>(ts.tv_sec) * 1000ull +
           static_cast<unsigned long long>(ts.tv_nsec) / 1000000ull;
}

bool ToUtc(long long time, std::tm& out) {
    time_t t = static_cast<time_t>(time);
    if (time >= kFirstConvertibleTime && time <= kLastConvertibleTime &&
        static_cast<long long>(t) == time && gmtime_r(&t, &out) != nullptr)
        return true;
    std::memset(&out, 0, sizeof out);
    return false;
}

bool ToLocal(long long time, std::tm& out) {
    time_t t = static_cast<time_t>(time);
    if (time >= kFirstConvertibleTime && time <= kLastConvertibleTime &&
        static_cast<long long>(t) == time && localtime_r(&t, &out) != nullptr)
        return true;
    std::memset(&out, 0, sizeof out);
    return false;
}

void FormatAscTime(const std::tm& t, char* buffer, unsigned size) {
    static const char days[7][4] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char months[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    // The same fields as the Windows runtime accepts; others give the empty text.
    if (!base::AscTimeFieldsValid(t)) {
        buffer[0] = '\0';
        return;
    }
    // "Www Mmm dd hh:mm:ss yyyy\n", laid out by hand: every field is in range here,
    // and snprintf was half the cost of an error-log line.
    char text[26];
    const auto two = [&text](int at, int value) {
        text[at] = static_cast<char>('0' + value / 10);
        text[at + 1] = static_cast<char>('0' + value % 10);
    };
    std::memcpy(text, days[t.tm_wday], 3);
    text[3] = ' ';
    std::memcpy(text + 4, months[t.tm_mon], 3);
    text[7] = ' ';
    two(8, t.tm_mday);
    text[10] = ' ';
    two(11, t.tm_hour);
    text[13] = ':';
    two(14, t.tm_min);
    text[16] = ':';
    two(17, t.tm_sec);
    text[19] = ' ';
    const int year = t.tm_year + 1900;
    two(20, year / 100);
    two(22, year % 100);
    text[24] = '\n';
    text[25] = '\0';
    // As snprintf did: as much as fits, always terminated; nothing for size 0.
    if (size == 0)
        return;
    const unsigned n = size - 1 < 25 ? size - 1 : 25;
    std::memcpy(buffer, text, n);
    buffer[n] = '\0';
}

} // namespace platform
} // namespace zel
