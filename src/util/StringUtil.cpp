#include "zel/StringUtil.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

// The definitions below are the exported names even where the C library spells
// these two as macros (MinGW-w64 in unoptimised builds).
#undef strcasecmp
#undef strncasecmp

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The vector walks below read whole 16-byte blocks, so they may read up to 63
// bytes past a terminator, but never into another page: a block is read only
// when it lies inside the page of its first byte, and pages are never smaller
// than 4 KiB. Such reads cannot fault, and AddressSanitizer is told not to check
// them. Every vector walk gives exactly the answer of the byte-at-a-time loop.
#if defined(__clang__) || defined(__GNUC__)
#define ZEL_READS_WHOLE_BLOCKS __attribute__((no_sanitize_address))
#else
#define ZEL_READS_WHOLE_BLOCKS
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

// The result of the ordering walk at position i, where it stopped.
template <bool Fold> inline int DifferenceAt(const char* a, const char* b, std::size_t i) {
    const int x = Fold ? FoldSigned(a[i]) : Signed(a[i]);
    const int y = Fold ? FoldSigned(b[i]) : Signed(b[i]);
    return x - y;
}

// Byte-at-a-time walk of the four ordering functions; `bounded` false ignores n.
template <bool Fold> int OrderBytes(const char* a, const char* b, bool bounded, std::size_t n) {
    for (std::size_t i = 0; !bounded || i < n; ++i) {
        const int x = Fold ? FoldSigned(a[i]) : Signed(a[i]);
        const int y = Fold ? FoldSigned(b[i]) : Signed(b[i]);
        if (x != y || x == 0)
            return x - y;
    }
    return 0;
}

#if defined(__SSE2__)
constexpr std::uintptr_t kPageSize = 4096;

// Whether `bytes` bytes from p lie in p's page.
inline bool InPage(const char* p, std::uintptr_t bytes) {
    return (reinterpret_cast<std::uintptr_t>(p) & (kPageSize - 1)) <= kPageSize - bytes;
}

// The helpers that read blocks carry the attribute too: unoptimised builds keep
// them as functions of their own.
ZEL_READS_WHOLE_BLOCKS inline __m128i Load(const char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// 'A'..'Z' folded to 'a'..'z', every other byte unchanged: adding 0x3F maps
// 'A'..'Z' to -128..-103, the only bytes below -102.
template <bool Fold> inline __m128i FoldBlock(__m128i v) {
    if (!Fold)
        return v;
    const __m128i upper = _mm_cmplt_epi8(_mm_add_epi8(v, _mm_set1_epi8(0x3F)), _mm_set1_epi8(-102));
    return _mm_or_si128(v, _mm_and_si128(upper, _mm_set1_epi8(0x20)));
}

// Per byte: the (folded) byte of a where both texts agree, else 0. A zero byte
// is where the ordering walk stops: a difference, or the common terminator.
template <bool Fold> ZEL_READS_WHOLE_BLOCKS inline __m128i Agreement(const char* a, const char* b) {
    const __m128i x = FoldBlock<Fold>(Load(a));
    const __m128i y = FoldBlock<Fold>(Load(b));
    return _mm_and_si128(_mm_cmpeq_epi8(x, y), x);
}

inline unsigned ZeroMask(__m128i v) {
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())));
}

// Bytes from p to the end of its page.
inline std::size_t RoomInPage(const char* p) {
    return kPageSize - (reinterpret_cast<std::uintptr_t>(p) & (kPageSize - 1));
}

// The first stop of a 64-byte round, given its four agreement blocks.
inline std::size_t FirstStop(__m128i m0, __m128i m1, __m128i m2, __m128i m3) {
    const std::uint64_t stops = std::uint64_t(ZeroMask(m0)) | std::uint64_t(ZeroMask(m1)) << 16 |
                                std::uint64_t(ZeroMask(m2)) << 32 |
                                std::uint64_t(ZeroMask(m3)) << 48;
    return static_cast<std::size_t>(__builtin_ctzll(stops));
}

// One 16-byte block of the ordering walk. True when the walk ends in it, with its
// answer in `result`; otherwise both texts and the bound move on by 16.
template <bool Fold, bool Bounded>
ZEL_READS_WHOLE_BLOCKS inline __attribute__((always_inline)) bool
OrderBlock16(const char*& a, const char*& b, std::size_t& n, int& result) {
    result = 0;
    if (Bounded && n == 0)
        return true;
    const unsigned stops = ZeroMask(Agreement<Fold>(a, b));
    if (stops != 0) {
        const std::size_t i = static_cast<std::size_t>(__builtin_ctz(stops));
        result = Bounded && i >= n ? 0 : DifferenceAt<Fold>(a, b, i);
        return true;
    }
    if (Bounded) {
        if (n <= 16)
            return true;
        n -= 16;
    }
    a += 16;
    b += 16;
    return false;
}

// The ordering walk: after the first 128 bytes, in rounds of 64 bytes while both
// texts have that much left in their pages, then 16 bytes, then single bytes up
// to the nearer page boundary.
template <bool Fold, bool Bounded>
ZEL_READS_WHOLE_BLOCKS int OrderBlocks(const char* a, const char* b, std::size_t n) {
    // Short texts end within a few blocks: the first 128 bytes go 16 at a time.
    for (int k = InPage(a, 128) && InPage(b, 128) ? 8 : 0; k != 0; --k) {
        int result;
        if (OrderBlock16<Fold, Bounded>(a, b, n, result))
            return result;
    }
    for (;;) {
        const std::size_t roomA = RoomInPage(a), roomB = RoomInPage(b);
        const std::size_t room = roomA < roomB ? roomA : roomB;
        if (room >= 64) {
            for (std::size_t rounds = room / 64; rounds != 0; --rounds) {
                if (Bounded && n == 0)
                    return 0;
                const __m128i m0 = Agreement<Fold>(a, b);
                const __m128i m1 = Agreement<Fold>(a + 16, b + 16);
                const __m128i m2 = Agreement<Fold>(a + 32, b + 32);
                const __m128i m3 = Agreement<Fold>(a + 48, b + 48);
                const __m128i low = _mm_min_epu8(_mm_min_epu8(m0, m1), _mm_min_epu8(m2, m3));
                if (ZeroMask(low) != 0) {
                    const std::size_t i = FirstStop(m0, m1, m2, m3);
                    return Bounded && i >= n ? 0 : DifferenceAt<Fold>(a, b, i);
                }
                if (Bounded) {
                    if (n <= 64)
                        return 0;
                    n -= 64;
                }
                a += 64;
                b += 64;
            }
        } else if (room >= 16) {
            int result;
            if (OrderBlock16<Fold, Bounded>(a, b, n, result))
                return result;
        } else {
            for (std::size_t k = room; k != 0; --k) {
                if (Bounded && n-- == 0)
                    return 0;
                const int x = Fold ? FoldSigned(*a) : Signed(*a);
                const int y = Fold ? FoldSigned(*b) : Signed(*b);
                if (x != y || x == 0)
                    return x - y;
                ++a;
                ++b;
            }
        }
    }
}

// The length of a text whose first `known` bytes hold no terminator. Kept out of
// line so that the short texts' path needs no stack frame.
__attribute__((noinline)) std::size_t LengthPast(const char* s, std::size_t known) {
    return known + std::strlen(s + known);
}

// strlen: the first 128 bytes 16 at a time where they lie in the page (else the
// aligned 16-byte block holding the start, which cannot cross a page); a longer
// text is measured on by the C library, whose wider loop wins once its call is
// paid for.
ZEL_READS_WHOLE_BLOCKS std::size_t LengthBlocks(const char* s) {
    if (InPage(s, 128)) {
        for (std::size_t k = 0; k < 128; k += 16) {
            const unsigned stops = ZeroMask(Load(s + k));
            if (stops != 0)
                return k + static_cast<std::size_t>(__builtin_ctz(stops));
        }
        return LengthPast(s, 128);
    }
    const std::uintptr_t offset = reinterpret_cast<std::uintptr_t>(s) & 15;
    const unsigned stops =
        ZeroMask(_mm_load_si128(reinterpret_cast<const __m128i*>(s - offset))) >> offset;
    if (stops != 0)
        return static_cast<std::size_t>(__builtin_ctz(stops));
    return LengthPast(s, 16 - offset);
}
#endif

inline std::size_t Length(const char* s) {
#if defined(__SSE2__)
    return LengthBlocks(s);
#else
    return std::strlen(s);
#endif
}

// The four ordering functions; `bounded` false ignores n.
template <bool Fold> int Order(const char* a, const char* b, bool bounded, unsigned int n) {
    if (a == nullptr)
        return b == nullptr ? 0 : -1;
    if (b == nullptr)
        return 1;
#if defined(__SSE2__)
    return bounded ? OrderBlocks<Fold, true>(a, b, n) : OrderBlocks<Fold, false>(a, b, 0);
#else
    return OrderBytes<Fold>(a, b, bounded, n);
#endif
}

} // namespace

unsigned int strlen(const char* s) {
    return s ? static_cast<unsigned int>(Length(s)) : 0;
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
    // 64 starts per round, tested by their last byte only (one load and compare
    // per 16 starts), while that byte does not show up; then 16 starts at a time
    // on both bytes.
    for (; end - s >= static_cast<std::ptrdiff_t>(l - 1 + 64); s += 64) {
        const unsigned char* back = s + l - 1;
        auto lastMatches = [&](const unsigned char* at) {
            __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
            return _mm_cmpeq_epi8(_mm_or_si128(b, bitLast), wantLast);
        };
        __m128i any = _mm_or_si128(_mm_or_si128(lastMatches(back), lastMatches(back + 16)),
                                   _mm_or_si128(lastMatches(back + 32), lastMatches(back + 48)));
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
    // Try the candidates of the first byte in the next 64 bytes in turn, while
    // that costs little: a match near the start needs no set-up. Past that the
    // linear search takes over at the current candidate.
    const unsigned char* const start = h;
    std::size_t compared = 0;
    for (;;) {
        std::size_t i = 1;
        for (; n[i] != 0 && V::at(h, i) == V::at(n, i); ++i) {
        }
        if (n[i] == 0)
            return reinterpret_cast<char*>(const_cast<unsigned char*>(h));
        if (h[i] == 0)
            return nullptr; // the text ends inside this window
        compared += i;
        if (compared > 64 || h - start > 64)
            return reinterpret_cast<char*>(const_cast<unsigned char*>(TwoWay<V>(h, n)));
        h = FindFirstByte<V>(h + 1, V::at(n, 0));
        if (h == nullptr)
            return nullptr;
    }
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

// ---- Character classes ----

namespace zel {
namespace util {

bool isdigit(int c) {
    return c >= 0x30 && c <= 0x39;
}
bool ishexdigit(int c) {
    return (c >= 0x30 && c <= 0x39) || (c >= 0x61 && c <= 0x66) || (c >= 0x41 && c <= 0x46);
}
bool islower(int c) {
    return c >= 0x61 && c <= 0x7A;
}
bool isupper(int c) {
    return c >= 0x41 && c <= 0x5A;
}
bool IsSpace(int c) {
    return c == 0x20 || c == 0x0D || c == 0x0A || c == 0x09 || c == 0xA0;
}
int tolower(int c) {
    return (c >= 0x41 && c <= 0x5A) ? c + 0x20 : c;
}
int toupper(int c) {
    return (c >= 0x61 && c <= 0x7A) ? c - 0x20 : c;
}

int hexdigit(char ch) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

unsigned char convertISO_8859_1Char(char c) {
    return static_cast<unsigned char>(c);
}

} // namespace util
} // namespace zel
