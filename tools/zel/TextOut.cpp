// Text shaping shared by the commands: escaped names and ISO-8601 times.
#include "Tool.h"

#include "zel/TimeUtil.h"

#include <cstdio>
#include <ctime>

namespace zeltool {

std::string escapeControls(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c != 0x7f) {
            out += ch;
            continue;
        }
        switch (c) {
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default: {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
        }
    }
    return out;
}

namespace {

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

} // namespace

std::string isoTime(const std::tm& local, long long seconds) {
    // The offset is what the local fields are ahead of UTC at that moment.
    const long long asIfUtc =
        daysFromCivil(local.tm_year + 1900LL, static_cast<unsigned>(local.tm_mon + 1),
                      static_cast<unsigned>(local.tm_mday)) *
            86400 +
        local.tm_hour * 3600LL + local.tm_min * 60LL + local.tm_sec;
    long long offset = (asIfUtc - seconds) / 60;
    const char sign = offset < 0 ? '-' : '+';
    if (offset < 0)
        offset = -offset;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02lld:%02lld",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, sign, offset / 60, offset % 60);
    return text;
}

bool localFields(long long seconds, std::tm& local) {
    // The library converts the years 1970 to 3000. The calendar repeats every 400
    // years to the weekday, so a time outside is moved by whole 400-year spans
    // into the range, converted, and its year moved back: today's zone rules
    // then stand for that year's.
    const long long span = 146097LL * 86400; // 400 years
    const long long first = 2 * 86400;       // clear of the range's edges in any zone
    const long long last = 32535215999LL - 2 * 86400;
    const long long bound = 2000 * span; // years up to about 800,000 either way
    if (seconds < -bound || seconds > bound)
        return false;
    long long spans = 0;
    if (seconds < first || seconds > last) {
        spans = (seconds - first) / span;
        if (seconds - first < 0 && (seconds - first) % span != 0)
            --spans;
    }
    const long long moved = seconds - spans * span;
    local = std::tm{};
    try {
        zel::util::localtime(&moved, &local);
    } catch (...) {
        return false;
    }
    if (local.tm_mday == 0)
        return false; // not converted: the record stays zero-filled
    local.tm_year += static_cast<int>(spans * 400);
    return true;
}

std::string isoLocalTime(long long seconds) {
    std::tm local{};
    if (!localFields(seconds, local))
        return std::string();
    return isoTime(local, seconds);
}

std::string localTimeText(long long seconds) {
    std::tm local{};
    if (!localFields(seconds, local))
        return std::string();
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

} // namespace zeltool
