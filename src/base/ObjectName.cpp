#include "base/ObjectName.h"

#include <cstdint>

namespace zel {
namespace base {

bool EncodeObjectName(const char* prefix, const char* name, std::size_t maxLength,
                      std::string& out) {
    static const char hex[] = "0123456789ABCDEF";
    out = prefix;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p) {
        unsigned char c = *p;
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '.' || c == '_' || c == '-') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out.size() <= maxLength;
}

namespace {

// The length of the well-formed UTF-8 character at `p` (of `left` bytes) when it
// is one from U+00A0 up, else 0. Overlong forms, surrogates and values past
// U+10FFFF are not well-formed.
std::size_t PrintableCharacter(const unsigned char* p, std::size_t left) {
    const unsigned char c = p[0];
    std::size_t length = c >= 0xC2 && c <= 0xDF   ? 2
                         : c >= 0xE0 && c <= 0xEF ? 3
                         : c >= 0xF0 && c <= 0xF4 ? 4
                                                  : 0;
    if (length == 0 || length > left)
        return 0;
    std::uint32_t value = c & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (p[i] & 0x3F);
    }
    static const std::uint32_t least[] = {0, 0, 0xA0, 0x800, 0x10000};
    if (value < least[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

std::string EscapedText(const std::string& text, bool keepCharacters) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    for (std::size_t i = 0; i < size;) {
        const unsigned char c = p[i];
        if (c >= 0x20 && c <= 0x7E && c != '%') {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        const std::size_t kept =
            keepCharacters && c > 0x7F ? PrintableCharacter(p + i, size - i) : 0;
        if (kept != 0) {
            out.append(text, i, kept);
            i += kept;
            continue;
        }
        out += '%';
        out += hex[c >> 4];
        out += hex[c & 15];
        ++i;
    }
    return out;
}

} // namespace base
} // namespace zel
