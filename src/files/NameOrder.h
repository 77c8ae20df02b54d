// The name order of directory listings: zel::util::strcasecmp's, made quick for
// names that share long folder prefixes.
#pragma once

#include "zel/BaseString.h"
#include "zel/StringUtil.h"

#include <cstdint>
#include <cstring>

namespace zel {
namespace detail {

inline int FoldSigned(char c) {
    return (c >= 'A' && c <= 'Z') ? c + 0x20 : static_cast<signed char>(c);
}

// Eight bytes with 'A' to 'Z' turned into 'a' to 'z' and every other byte kept.
inline std::uint64_t FoldWord(std::uint64_t x) {
    const std::uint64_t ones = 0x0101010101010101ull;
    const std::uint64_t high = 0x8080808080808080ull;
    const std::uint64_t low7 = x & ~high;
    // High bit of each byte: at least 'A', then above 'Z' (ASCII bytes only).
    const std::uint64_t atLeastA = low7 + (0x80 - 'A') * ones;
    const std::uint64_t aboveZ = low7 + (0x80 - 'Z' - 1) * ones;
    const std::uint64_t upper = atLeastA & ~aboveZ & ~x & high;
    return x | (upper >> 2);
}

// The order of util::strcasecmp for two names (not null, each ending in its
// terminator) whose lengths are known (a name never holds a NUL before its end). Sorting a walk
// compares names that share long folder prefixes: those are passed eight folded bytes at a time,
// within the names, before the first difference is looked for byte by byte.
inline int CaseBlindOrder(const char* a, unsigned int la, const char* b, unsigned int lb) {
    const unsigned int n = la < lb ? la : lb;
    unsigned int i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x != y && FoldWord(x) != FoldWord(y))
            break;
    }
    // Up to and including the shorter name's terminator.
    for (; i <= n; ++i) {
        const int x = FoldSigned(a[i]);
        const int y = FoldSigned(b[i]);
        if (x != y || x == 0)
            return x - y;
    }
    return 0;
}

// The same for two strings; a null name sorts before every name.
inline int CaseBlindOrder(const BaseString<char>& left, const BaseString<char>& right) {
    const char* a = left;
    const char* b = right;
    if (a == nullptr || b == nullptr)
        return util::strcasecmp(a, b);
    return CaseBlindOrder(a, left.Length(), b, right.Length());
}

} // namespace detail
} // namespace zel
