// Win32 code only: clocks and the runtime library's 64-bit time conversions.
#include "platform/Time.h"

#include "base/TimeFields.h"

#include <windows.h>
#include <cstring>
#include <time.h>

namespace zel {
namespace platform {

long long CurrentTime() {
    return static_cast<long long>(_time64(nullptr));
}

unsigned long long TickCountMs() {
    return GetTickCount64();
}

bool ToUtc(long long time, std::tm& out) {
    __time64_t t = time;
    if (time >= kFirstConvertibleTime && time <= kLastConvertibleTime && _gmtime64_s(&out, &t) == 0)
        return true;
    std::memset(&out, 0, sizeof out);
    return false;
}

bool ToLocal(long long time, std::tm& out) {
    __time64_t t = time;
    if (time >= kFirstConvertibleTime && time <= kLastConvertibleTime &&
        _localtime64_s(&out, &t) == 0)
        return true;
    std::memset(&out, 0, sizeof out);
    return false;
}

void FormatAscTime(const std::tm& t, char* buffer, unsigned size) {
    // asctime_s ends the process on fields it rejects: check them first.
    if (!base::AscTimeFieldsValid(t) || asctime_s(buffer, size, &t) != 0)
        buffer[0] = '\0';
}

} // namespace platform
} // namespace zel
