#include "zel/StringUtil.h"

#include <cstddef>
#include <cstring>
#include <type_traits>

// The definitions below are the exported names even where the C library spells
// these two as macros (MinGW-w64 in unoptimised builds).
#undef strcasecmp
#undef strncasecmp

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zel {
namespace util {

namespace {

inline int Signed(char c) {
    return static_cast<signed char>(c);
}
inline int FoldSigned(char c) {
    return (c >= 'A' && c <= 'Z') ? c + 0x20 : Signed(c);
}

// Shared walk of the four ordering functions; `bounded` false ignores n.
template <bool Fold> int Order(const char* a, const char* b, bool bounded, unsigned int n) {
    if (a == nullptr)
        return b == nullptr ? 0 : -1;
    if (b == nullptr)
        return 1;
    for (unsigned int i = 0; !bounded || i < n; ++i) {
        int x = Fold ? FoldSigned(a[i]) : Signed(a[i]);
        int y = Fold ? FoldSigned(b[i]) : Signed(b[i]);
        if (x != y || x == 0)
            return x - y;
    }
    return 0;
}

} // namespace

unsigned int strlen(const char* s) {
    return s ? static_cast<unsigned int>(std::strlen(s)) : 0;
}
unsigned int strlen(const unsigned char* s) {
    return strlen(reinterpret_cast<const char*>(s));
}

char* strcpy(char* dst, const char* src) {
    if (dst == nullptr)
        return nullptr;
    if (src == nullptr) {
        dst[0] = '\0';
        return dst;
    }
    std::memmove(dst, src, std::strlen(src) + 1);
    return dst;
}

unsigned char* strcpy(unsigned char* dst, const unsigned char* src) {
    return reinterpret_cast<unsigned char*>(
        strcpy(reinterpret_cast<char*>(dst), reinterpret_cast<const char*>(src)));
}

char* strcpy(char* dst, unsigned int capacity, const char* src) {
    if (dst == nullptr)
        return nullptr;
    if (capacity == 0)
        return dst; // no room even for a terminator: write nothing
    if (src == nullptr) {
        dst[0] = '\0';
        return dst;
    }
    const char* end = static_cast<const char*>(std::memchr(src, 0, capacity - 1));
    std::size_t n = end ? static_cast<std::size_t>(end - src) : capacity - 1;
    std::memmove(dst, src, n);
    dst[n] = '\0';
    return dst;
}

char* strcpy(unsigned char* dst, unsigned int capacity, const unsigned char* src) {
    return strcpy(reinterpret_cast<char*>(dst), capacity, reinterpret_cast<const char*>(src));
}

char* strncpy(char* dst, const char* src, unsigned int count) {
    if (dst == nullptr)
        return nullptr;
    if (src == nullptr) {
        dst[0] = '\0';
        return dst;
    }
    for (unsigned int i = 0; i < count; ++i) {
        dst[i] = src[i];
        if (src[i] == '\0')
            break;
    }
    return dst;
}

unsigned char* strncpy(unsigned char* dst, const unsigned char* src, unsigned int count) {
    return reinterpret_cast<unsigned char*>(
        strncpy(reinterpret_cast<char*>(dst), reinterpret_cast<const char*>(src), count));
}

char* strcgetAt(char* dst, const char* src) {
    if (dst == nullptr || src == nullptr)
        return dst;
    std::memmove(dst + std::strlen(dst), src, std::strlen(src) + 1);
    return dst;
}

int strcmp(const char* a, const char* b) {
    return Order<false>(a, b, false, 0);
}
int strncmp(const char* a, const char* b, unsigned int n) {
    return Order<false>(a, b, true, n);
}
int strcasecmp(const char* a, const char* b) {
    return Order<true>(a, b, false, 0);
}
int strncasecmp(const char* a, const char* b, unsigned int n) {
    return Order<true>(a, b, true, n);
}
bool compare(const char* a, const char* b) {
    return strcmp(a, b) == 0;
}
bool compareNoCase(const char* a, const char* b) {
    return strcasecmp(a, b) == 0;
}
bool nCompare(const char* a, const char* b, unsigned int n) {
    return strncmp(a, b, n) == 0;
}
bool nCompareNoCase(const char* a, const char* b, unsigned int n) {
    return strncasecmp(a, b, n) == 0;
}

char* strchr(const char* s, char c) {
    if (s == nullptr)
        return nullptr;
    for (;; ++s) {
        if (*s == c)
            return const_cast<char*>(s);
        if (*s == '\0')
            return nullptr;
    }
}

namespace {

// Byte views of the two searches: the exact bytes, or bytes with 'A'..'Z' folded
// to 'a'..'z'. Folding never turns a byte into NUL or NUL into anything else, so
// both views end where the texts end.
struct Exact {
    static unsigned char at(const unsigned char* s, std::size_t i) { return s[i]; }
};

struct Folded {
    static unsigned char at(const unsigned char* s, std::size_t i) {
        unsigned char c = s[i];
        return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 0x20) : c;
    }
};

// A test of one byte against a byte of the view V: (byte | bit) == want, where bit
// is 0x20 when V folds and `want` is a lower-case letter (the two cases of a
// letter differ only there), else 0.
template <typename V> unsigned char CaseBit(unsigned char want) {
    return (std::is_same<V, Folded>::value && want >= 'a' && want <= 'z') ? 0x20 : 0;
}

// The first window start s in [from, end - l] whose first and last bytes match
// the pattern's (`first`, `last` in the view V), or null. Only bytes before `end`
// are read. A vector scan tests 16 window starts at a time where SSE2 exists.
template <typename V>
const unsigned char* FindWindow(const unsigned char* from, const unsigned char* end, std::size_t l,
                                unsigned char first, unsigned char last) {
    const unsigned char firstBit = CaseBit<V>(first), lastBit = CaseBit<V>(last);
    const unsigned char* s = from;
#if defined(__SSE2__)
    const __m128i wantFirst = _mm_set1_epi8(static_cast<char>(first));
    const __m128i wantLast = _mm_set1_epi8(static_cast<char>(last));
    const __m128i bitFirst = _mm_set1_epi8(static_cast<char>(firstBit));
    const __m128i bitLast = _mm_set1_epi8(static_cast<char>(lastBit));
    auto starts16 = [&](const unsigned char* at) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + l - 1));
        return _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(a, bitFirst), wantFirst),
                             _mm_cmpeq_epi8(_mm_or_si128(b, bitLast), wantLast));
    };
    // 64 starts per round while no candidate shows up, then 16 at a time.
    for (; end - s >= static_cast<std::ptrdiff_t>(l - 1 + 64); s += 64) {
        __m128i any = _mm_or_si128(_mm_or_si128(starts16(s), starts16(s + 16)),
                                   _mm_or_si128(starts16(s + 32), starts16(s + 48)));
        if (_mm_movemask_epi8(any) != 0)
            break;
    }
    for (; end - s >= static_cast<std::ptrdiff_t>(l - 1 + 16); s += 16) {
        int mask = _mm_movemask_epi8(starts16(s));
        if (mask != 0)
            return s + __builtin_ctz(static_cast<unsigned>(mask));
    }
#endif
    for (; end - s >= static_cast<std::ptrdiff_t>(l); ++s) {
        if ((s[0] | firstBit) == first && (s[l - 1] | lastBit) == last)
            return s;
    }
    return nullptr;
}

// The first position of `text` (at or after `h`) whose byte matches `first`.
template <typename V>
const unsigned char* FindFirstByte(const unsigned char* h, unsigned char first) {
    if (std::is_same<V, Exact>::value)
        return reinterpret_cast<const unsigned char*>(
            std::strchr(reinterpret_cast<const char*>(h), first));
    for (;; ++h) {
        unsigned char c = V::at(h, 0);
        if (c == first)
            return h;
        if (c == 0)
            return nullptr;
    }
}

// How much of the text is known to hold no terminator. The text's length is
// never taken in advance (a match may come early in a huge text): the known part
// grows geometrically, so the scanning for the terminator stays linear.
class KnownText {
public:
    explicit KnownText(const unsigned char* start) : m_start(start), m_end(start) {}
    // Makes [m_start, upTo) known if the text reaches that far; false when the
    // terminator comes first.
    bool reach(const unsigned char* upTo) {
        while (m_end < upTo) {
            if (!grow())
                return false;
        }
        return true;
    }
    // Extends the known part once; false when the terminator is already known.
    bool grow() {
        if (m_atTerminator)
            return false;
        std::size_t known = static_cast<std::size_t>(m_end - m_start);
        std::size_t step = known < 4096 ? 4096 : known;
        const void* nul = std::memchr(m_end, 0, step);
        if (nul != nullptr) {
            m_end = static_cast<const unsigned char*>(nul);
            m_atTerminator = true;
        } else {
            m_end += step;
        }
        return true;
    }
    const unsigned char* end() const { return m_end; }

private:
    const unsigned char* m_start;
    const unsigned char* m_end;
    bool m_atTerminator = false;
};

// Start (less one, as an unsigned count where -1 is the empty prefix) of the
// maximal suffix of the pattern n[0..l) under the byte order, or its reverse with
// `Reverse`; `period` receives that suffix's period.
template <typename V, bool Reverse>
std::size_t MaximalSuffix(const unsigned char* n, std::size_t l, std::size_t& period) {
    std::size_t ip = static_cast<std::size_t>(-1), jp = 0, k = 1, p = 1;
    while (jp + k < l) {
        const unsigned char a = V::at(n, ip + k), b = V::at(n, jp + k);
        if (a == b) {
            if (k == p) {
                jp += p;
                k = 1;
            } else {
                ++k;
            }
        } else if (Reverse ? a < b : a > b) {
            jp += k;
            k = 1;
            p = jp - ip;
        } else {
            ip = jp++;
            k = p = 1;
        }
    }
    period = p;
    return ip;
}

// Two-Way string matching (Crochemore and Perrin) on the byte view V, with a
// last-byte shift table. When the last byte of a window does not match and the
// table gives only a short shift, the next window whose first and last bytes
// match is found by a vector scan instead, which keeps everyday texts and texts
// made of one repeated byte fast. Linear in the text and the pattern, constant extra
// space, never reads past the text's terminator; the result is the leftmost
// match, the same as that of the byte-at-a-time scan.
template <typename V> const unsigned char* TwoWay(const unsigned char* h, const unsigned char* n) {
    std::size_t shift[256];
    unsigned char present[256] = {0};

    // Pattern length, stopping early when the text is shorter than the pattern.
    std::size_t l = 0;
    for (; n[l] != 0 && h[l] != 0; ++l) {
        const unsigned char c = V::at(n, l);
        present[c] = 1;
        shift[c] = l + 1;
    }
    if (n[l] != 0)
        return nullptr; // the text ends inside the first window
    const unsigned char firstOfPattern = V::at(n, 0);
    const unsigned char lastOfPattern = V::at(n, l - 1);

    // Critical factorisation: the larger of the two maximal suffixes (under the
    // byte order and its reverse), and the period of the pattern.
    std::size_t p0 = 1, p1 = 1;
    std::size_t ms = MaximalSuffix<V, false>(n, l, p0);
    const std::size_t ip = MaximalSuffix<V, true>(n, l, p1);
    std::size_t p = p0;
    if (ip + 1 > ms + 1) {
        ms = ip;
        p = p1;
    }

    // A pattern whose left part repeats with period p lets matched bytes be
    // remembered across shifts (mem); otherwise shift past the larger half.
    bool periodic = true;
    for (std::size_t i = 0; i < ms + 1; ++i) {
        if (V::at(n, i) != V::at(n, i + p)) {
            periodic = false;
            break;
        }
    }
    std::size_t mem0;
    if (periodic) {
        mem0 = l - p;
    } else {
        mem0 = 0;
        p = (ms > l - ms - 1 ? ms : l - ms - 1) + 1;
    }
    std::size_t mem = 0;
    std::size_t k = 0;

    KnownText known(h);
    for (;;) {
        if (!known.reach(h + l))
            return nullptr;

        // Last byte of the window first: skip windows that cannot match.
        const unsigned char last = V::at(h, l - 1);
        if (last != lastOfPattern) {
            k = present[last] ? l - shift[last] : l;
            if (k < mem)
                k = mem;
            mem = 0;
            if (k >= 16) {
                h += k;
                continue;
            }
            // A short shift: jump straight to the next window whose first and
            // last bytes both match (any match is such a window).
            const unsigned char* from = h + 1;
            const unsigned char* q;
            for (;;) {
                q = FindWindow<V>(from, known.end(), l, firstOfPattern, lastOfPattern);
                if (q != nullptr)
                    break;
                // Every start whose window lies in the known text has been tested.
                const unsigned char* next = known.end() - (l - 1);
                if (next > from)
                    from = next;
                if (!known.grow())
                    return nullptr;
            }
            h = q;
            continue;
        }

        // Right half, left to right.
        for (k = (ms + 1 > mem ? ms + 1 : mem); k < l && V::at(n, k) == V::at(h, k); ++k) {
        }
        if (k < l) {
            h += k - ms;
            mem = 0;
            continue;
        }
        // Left half, right to left.
        for (k = ms + 1; k > mem && V::at(n, k - 1) == V::at(h, k - 1); --k) {
        }
        if (k <= mem)
            return h;
        h += p;
        mem = mem0;
    }
}

template <typename V> char* Search(const char* text, const char* pattern) {
    if (text == nullptr || pattern == nullptr)
        return nullptr;
    const unsigned char* h = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* n = reinterpret_cast<const unsigned char*>(pattern);
    if (n[0] == 0)
        return const_cast<char*>(text);
    // Jump to the first candidate; a one-byte pattern is then found.
    h = FindFirstByte<V>(h, V::at(n, 0));
    if (h == nullptr || n[1] == 0)
        return reinterpret_cast<char*>(const_cast<unsigned char*>(h));
    return reinterpret_cast<char*>(const_cast<unsigned char*>(TwoWay<V>(h, n)));
}

} // namespace

char* strstr(const char* text, const char* pattern) {
    return Search<Exact>(text, pattern);
}
char* strstrNoCase(const char* text, const char* pattern) {
    return Search<Folded>(text, pattern);
}

} // namespace util
} // namespace zel
