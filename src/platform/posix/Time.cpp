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
    std::snprintf(buffer, size, "%.3s %.3s %02d %02d:%02d:%02d %04d\n", days[t.tm_wday],
                  months[t.tm_mon], t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, t.tm_year + 1900);
}

} // namespace platform
} // namespace zel
