// Text shaping shared by the commands: escaped names and ISO-8601 times.
#include "Tool.h"

#include "zel/TimeUtil.h"

#include <cstdio>
#include <ctime>

namespace zeltool {

namespace {

// The length of the valid UTF-8 sequence at `s[i]` (1 to 4), or 0 when the
// bytes there are not one: a stray continuation byte, a sequence cut short, an
// overlong form, a surrogate, or a code point above U+10FFFF. `code` receives
// the code point.
std::size_t utf8At(const std::string& s, std::size_t i, unsigned long& code) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t n = 0;
    unsigned long min = 0;
    if (c < 0x80) {
        code = c;
        return 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        code = c & 0x1F;
        min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        code = c & 0x0F;
        min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        code = c & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (s.size() - i < n)
        return 0;
    for (std::size_t k = 1; k < n; ++k) {
        const unsigned char t = static_cast<unsigned char>(s[i + k]);
        if ((t & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (t & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return n;
}

// A code point a terminal shows as a character rather than acting on it.
bool printable(unsigned long code) {
    return code >= 0x20 && code != 0x7F && !(code >= 0x80 && code <= 0x9F);
}

} // namespace

bool validUtf8(const std::string& text) {
    unsigned long code = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = utf8At(text, i, code);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

std::string shellQuoted(const std::string& name) {
    // Split into printable characters and the bytes that are not (C0, DEL, C1
    // in UTF-8 or raw, and bytes that are not UTF-8).
    bool special = name.empty(), control = false, single = false, doubleSpecial = false;
    for (std::size_t i = 0; i < name.size();) {
        unsigned long code = 0;
        const std::size_t n = utf8At(name, i, code);
        if (n == 0 || !printable(code)) {
            control = true;
            i += n == 0 ? 1 : n;
            continue;
        }
        if (n == 1) {
            const char c = name[i];
            switch (c) {
            case '\'':
                single = true;
                break;
            case '#':
            case '~':
                special = special || i == 0; // only a word's start is taken by the shell
                break;
            case '"':
            case '$':
            case '`':
            case '\\':
            case '!':
                doubleSpecial = true;
                special = true;
                break;
            case ' ':
            case '&':
            case '(':
            case ')':
            case '*':
            case ';':
            case '<':
            case '=':
            case '>':
            case '?':
            case '[':
            case '^':
            case '|':
                special = true;
                break;
            default:
                break;
            }
        }
        i += n;
    }
    if (!special && !control && !single)
        return name;
    if (single && !control && !doubleSpecial)
        return "\"" + name + "\"";
    // '...' around the whole name; a quote as '\'', and each run of bytes that
    // are not printable as '$'\ooo'' (bash's ANSI-C quoting).
    std::string out = "'";
    bool inEscape = false;
    for (std::size_t i = 0; i < name.size();) {
        unsigned long code = 0;
        const std::size_t n = utf8At(name, i, code);
        const std::size_t len = n == 0 ? 1 : n;
        if (n == 0 || !printable(code)) {
            if (!inEscape)
                out += "'$'";
            inEscape = true;
            for (std::size_t k = 0; k < len; ++k) {
                const unsigned char b = static_cast<unsigned char>(name[i + k]);
                const char* named = nullptr;
                switch (b) {
                case '\a':
                    named = "\\a";
                    break;
                case '\b':
                    named = "\\b";
                    break;
                case '\f':
                    named = "\\f";
                    break;
                case '\n':
                    named = "\\n";
                    break;
                case '\r':
                    named = "\\r";
                    break;
                case '\t':
                    named = "\\t";
                    break;
                case '\v':
                    named = "\\v";
                    break;
                default:
                    break;
                }
                if (named != nullptr) {
                    out += named;
                } else {
                    out += '\\';
                    out += static_cast<char>('0' + ((b >> 6) & 7));
                    out += static_cast<char>('0' + ((b >> 3) & 7));
                    out += static_cast<char>('0' + (b & 7));
                }
            }
            i += len;
            continue;
        }
        if (inEscape)
            out += "''";
        inEscape = false;
        if (name[i] == '\'')
            out += "'\\''";
        else
            out.append(name, i, len);
        i += len;
    }
    out += "'"; // closes the last '...' or $'...', with no empty pair after it
    return out;
}

std::string quotedName(const std::string& name) {
    const std::string q = shellQuoted(name);
    return q.empty() || (q[0] != '\'' && q[0] != '"') ? "'" + q + "'" : q;
}

std::string lessVisible(const std::string& line) {
    std::string out;
    out.reserve(line.size());
    for (std::size_t i = 0; i < line.size();) {
        unsigned long code = 0;
        const std::size_t n = utf8At(line, i, code);
        char text[16]; // holds any code point: snprintf cannot cut one short
        if (n == 0) {
            static const char digits[] = "0123456789ABCDEF";
            const unsigned char byte = static_cast<unsigned char>(line[i]);
            out += '<';
            out += digits[byte >> 4];
            out += digits[byte & 0xF];
            out += '>';
            ++i;
            continue;
        }
        if (code == '\t' || printable(code)) {
            out.append(line, i, n);
        } else if (code < 0x20 || code == 0x7F) {
            out += '^';
            out += static_cast<char>(code ^ 0x40);
        } else {
            (void)std::snprintf(text, sizeof text, "<U+%04lX>", code);
            out += text;
        }
        i += n;
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
    char text[64]; // holds any date localFields gives: snprintf cannot cut it short
    (void)std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02lld:%02lld",
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
    const long long first = 2LL * 86400;     // clear of the range's edges in any zone
    const long long last = 32535215999LL - 2LL * 86400;
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
    char text[80]; // holds any int fields: snprintf cannot cut them short
    (void)std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
                        local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

} // namespace zeltool
