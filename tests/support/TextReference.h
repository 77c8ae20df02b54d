// Byte-at-a-time references of the text primitives, written straight from their
// definitions. The tests and the fuzz targets hold every fast path of the library
// to these answers.
#pragma once

#include <cstddef>

namespace zelref {

inline int Signed(char c) {
    return static_cast<signed char>(c);
}

// 'A'..'Z' to 'a'..'z'; every other byte as a signed value.
inline int Fold(char c) {
    return (c >= 'A' && c <= 'Z') ? c + 0x20 : Signed(c);
}

inline std::size_t Length(const char* s) {
    std::size_t n = 0;
    if (s != nullptr)
        while (s[n] != '\0')
            ++n;
    return n;
}

// strcmp, strncmp, strcasecmp, strncasecmp: the null rule, then the difference
// of the (folded) signed bytes where the walk stops; `bounded` false ignores n.
inline int Order(const char* a, const char* b, bool fold, bool bounded, unsigned n) {
    if (a == nullptr)
        return b == nullptr ? 0 : -1;
    if (b == nullptr)
        return 1;
    for (unsigned i = 0; !bounded || i < n; ++i) {
        const int x = fold ? Fold(a[i]) : Signed(a[i]);
        const int y = fold ? Fold(b[i]) : Signed(b[i]);
        if (x != y || x == 0)
            return x - y;
    }
    return 0;
}

// strstr and strstrNoCase: the plain quadratic scan.
inline const char* Search(const char* text, const char* pattern, bool fold) {
    if (text == nullptr || pattern == nullptr)
        return nullptr;
    if (*pattern == '\0')
        return text;
    for (const char* start = text; *start != '\0'; ++start) {
        for (std::size_t i = 0;; ++i) {
            if (pattern[i] == '\0')
                return start;
            if (start[i] == '\0')
                return nullptr;
            if ((fold ? Fold(start[i]) : Signed(start[i])) !=
                (fold ? Fold(pattern[i]) : Signed(pattern[i])))
                break;
        }
    }
    return nullptr;
}

// stringHashCode and stringHashCodeNoCase: h = h * 31 + byte, modulo 2^32.
inline unsigned HashCode(const char* text, bool fold) {
    unsigned h = 0;
    if (text != nullptr)
        for (const char* p = text; *p != '\0'; ++p)
            h = h * 31u + static_cast<unsigned char>(fold ? static_cast<char>(Fold(*p)) : *p);
    return h;
}

} // namespace zelref
