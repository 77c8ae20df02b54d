#include "zel/StringUtil.h"

#include "util/VectorLevel.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

// The definitions below are the exported names even where the C library spells
// these two as macros (MinGW-w64 in unoptimised builds).
#undef strcasecmp
#undef strncasecmp

#if defined(ZEL_X86_VECTORS)
#include <immintrin.h>
#endif

// The vector walks below read whole blocks of 16, 32 or 64 bytes, so they may
// read up to 255 bytes past a terminator, but never into another page: a block is
// read only when it lies inside the page of its first byte, and pages are never
// smaller than 4 KiB. Such reads cannot fault, and AddressSanitizer is told not to
// check them. Every vector walk gives exactly the answer of the byte-at-a-time
// loop, at every vector level.
#if defined(__clang__) || defined(__GNUC__)
#define ZEL_READS_WHOLE_BLOCKS __attribute__((no_sanitize_address))
#else
#define ZEL_READS_WHOLE_BLOCKS
#endif

namespace zel {
namespace util {

namespace {

using detail::VectorLevel;

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

// Whether the window of l bytes that ends at q (its last byte) has the pattern's
// first and last bytes (`first`, `last`, where `firstBit`, `lastBit` are the case
// bits the search ignores), or q is the text's terminator.
inline bool WindowStopsAt(const unsigned char* q, std::size_t l, unsigned char first,
                          unsigned char last, unsigned char firstBit, unsigned char lastBit) {
    return *q == 0 ||
           ((*q | lastBit) == last && (q[-static_cast<std::ptrdiff_t>(l - 1)] | firstBit) == first);
}

// The first q at or after `from` where WindowStopsAt holds, byte at a time. The l -
// 1 bytes before `from` are text.
const unsigned char* FindWindowBytes(const unsigned char* from, std::size_t l, unsigned char first,
                                     unsigned char last, unsigned char firstBit,
                                     unsigned char lastBit) {
    const unsigned char* q = from;
    while (!WindowStopsAt(q, l, first, last, firstBit, lastBit))
        ++q;
    return q;
}

#if defined(ZEL_X86_VECTORS)
constexpr std::uintptr_t kPageSize = 4096;

// Whether `bytes` bytes from p lie in p's page.
inline bool InPage(const char* p, std::uintptr_t bytes) {
    return (reinterpret_cast<std::uintptr_t>(p) & (kPageSize - 1)) <= kPageSize - bytes;
}

// Whether `bytes` bytes from a and from b lie in their pages; may say no when they
// do (the offsets are or-ed: one test instead of two).
inline bool BothInPage(const char* a, const char* b, std::uintptr_t bytes) {
    const std::uintptr_t offsets =
        reinterpret_cast<std::uintptr_t>(a) | reinterpret_cast<std::uintptr_t>(b);
    return (offsets & (kPageSize - 1)) <= kPageSize - bytes;
}

// Bytes from p to the end of its page.
inline std::size_t RoomInPage(const char* p) {
    return kPageSize - (reinterpret_cast<std::uintptr_t>(p) & (kPageSize - 1));
}

// The length of a text whose first `known` bytes hold no terminator. Kept out of
// line so that the short texts' path needs no stack frame.
__attribute__((noinline)) std::size_t LengthPast(const char* s, std::size_t known) {
    return known + std::strlen(s + known);
}

#define ZEL_BLOCK_OP(target)                                                                       \
    target ZEL_READS_WHOLE_BLOCKS __attribute__((always_inline)) static inline

// The block types of the walks. Walk tests a block of an ordering walk: Through
// when it goes on past the block, else StopBits has the bits of the bytes where it
// stops. Agree gives per byte the (folded) byte of a where
// both texts agree, else 0: a zero byte is where an ordering walk stops (a
// difference, or the common terminator). Folding maps 'A'..'Z' to 'a'..'z' and
// leaves every other byte: adding 0x3F maps 'A'..'Z' to -128..-103, the only
// bytes below -102.

// 16 bytes: SSE2, the baseline of every x86 build.
struct Sse2Block {
    using R = __m128i;
    using M = __m128i; // per byte 0 or 0xFF
    static constexpr std::size_t kWidth = 16;
    ZEL_BLOCK_OP() R Load(const char* p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    }
    ZEL_BLOCK_OP() R LoadAligned(const char* p) {
        return _mm_load_si128(reinterpret_cast<const __m128i*>(p));
    }
    ZEL_BLOCK_OP() R Splat(char c) { return _mm_set1_epi8(c); }
    ZEL_BLOCK_OP() R Or(R a, R b) { return _mm_or_si128(a, b); }
    ZEL_BLOCK_OP() R Min(R a, R b) { return _mm_min_epu8(a, b); }
    template <bool Fold> ZEL_BLOCK_OP() R FoldIf(R v) {
        if (!Fold)
            return v;
        const R upper = _mm_cmplt_epi8(_mm_add_epi8(v, _mm_set1_epi8(0x3F)), _mm_set1_epi8(-102));
        return _mm_or_si128(v, _mm_and_si128(upper, _mm_set1_epi8(0x20)));
    }
    template <bool Fold> ZEL_BLOCK_OP() R Agree(const char* a, const char* b) {
        const R x = FoldIf<Fold>(Load(a)), y = FoldIf<Fold>(Load(b));
        return _mm_and_si128(_mm_cmpeq_epi8(x, y), x);
    }
    template <bool Fold> ZEL_BLOCK_OP() M Walk(const char* a, const char* b) {
        return Eq(Agree<Fold>(a, b), _mm_setzero_si128());
    }
    ZEL_BLOCK_OP() bool Through(M walk) { return Bits(walk) == 0; }
    ZEL_BLOCK_OP() std::uint64_t StopBits(M walk) { return Bits(walk); }
    ZEL_BLOCK_OP() M Eq(R a, R b) { return _mm_cmpeq_epi8(a, b); }
    ZEL_BLOCK_OP() M Any(M a, M b) { return _mm_or_si128(a, b); }
    ZEL_BLOCK_OP() M Both(M a, M b) { return _mm_and_si128(a, b); }
    ZEL_BLOCK_OP() std::uint64_t Bits(M m) { return static_cast<unsigned>(_mm_movemask_epi8(m)); }
};

// 32 bytes: AVX2.
struct Avx2Block {
    using R = __m256i;
    using M = __m256i;
    static constexpr std::size_t kWidth = 32;
    ZEL_BLOCK_OP(ZEL_TARGET_AVX2) R Load(const char* p) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX2) R LoadAligned(const char* p) {
        return _mm256_load_si256(reinterpret_cast<const __m256i*>(p));
    }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX2) R Splat(char c) { return _mm256_set1_epi8(c); }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX2) R Or(R a, R b) { return _mm256_or_si256(a, b); }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX2) R Min(R a, R b) { return _mm256_min_epu8(a, b); }
    template <bool Fold> ZEL_BLOCK_OP(ZEL_TARGET_AVX2) R FoldIf(R v) {
        if (!Fold)
            return v;
        const R upper =
            _mm256_cmpgt_epi8(_mm256_set1_epi8(-102), _mm256_add_epi8(v, _mm256_set1_epi8(0x3F)));
        return _mm256_or_si256(v, _mm256_and_si256(upper, _mm256_set1_epi8(0x20)));
    }
    template <bool Fold> ZEL_BLOCK_OP(ZEL_TARGET_AVX2) R Agree(const char* a, const char* b) {
        const R x = FoldIf<Fold>(Load(a)), y = FoldIf<Fold>(Load(b));
        return _mm256_and_si256(_mm256_cmpeq_epi8(x, y), x);
    }
    template <bool Fold> ZEL_BLOCK_OP(ZEL_TARGET_AVX2) M Walk(const char* a, const char* b) {
        return Eq(Agree<Fold>(a, b), _mm256_setzero_si256());
    }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX2) bool Through(M walk) { return Bits(walk) == 0; }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX2) std::uint64_t StopBits(M walk) { return Bits(walk); }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX2) M Eq(R a, R b) { return _mm256_cmpeq_epi8(a, b); }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX2) M Any(M a, M b) { return _mm256_or_si256(a, b); }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX2) M Both(M a, M b) { return _mm256_and_si256(a, b); }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX2) std::uint64_t Bits(M m) {
        return static_cast<unsigned>(_mm256_movemask_epi8(m));
    }
};

// 64 bytes: AVX-512 F and BW, with the comparisons in mask registers.
struct Avx512Block {
    using R = __m512i;
    using M = __mmask64;
    static constexpr std::size_t kWidth = 64;
    ZEL_BLOCK_OP(ZEL_TARGET_AVX512) R Load(const char* p) { return _mm512_loadu_si512(p); }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX512) R LoadAligned(const char* p) { return _mm512_load_si512(p); }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX512) R Splat(char c) { return _mm512_set1_epi8(c); }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX512) R Or(R a, R b) { return _mm512_or_si512(a, b); }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX512) R Min(R a, R b) { return _mm512_min_epu8(a, b); }
    template <bool Fold> ZEL_BLOCK_OP(ZEL_TARGET_AVX512) R FoldIf(R v) {
        if (!Fold)
            return v;
        const M upper = _mm512_cmplt_epi8_mask(_mm512_add_epi8(v, _mm512_set1_epi8(0x3F)),
                                               _mm512_set1_epi8(-102));
        return _mm512_mask_add_epi8(v, upper, v, _mm512_set1_epi8(0x20));
    }
    template <bool Fold> ZEL_BLOCK_OP(ZEL_TARGET_AVX512) R Agree(const char* a, const char* b) {
        const R x = FoldIf<Fold>(Load(a)), y = FoldIf<Fold>(Load(b));
        return _mm512_maskz_mov_epi8(_mm512_cmpeq_epi8_mask(x, y), x);
    }
    // Where the walk goes on: the byte of a is not NUL and both agree.
    template <bool Fold> ZEL_BLOCK_OP(ZEL_TARGET_AVX512) M Walk(const char* a, const char* b) {
        const R x = FoldIf<Fold>(Load(a)), y = FoldIf<Fold>(Load(b));
        return _mm512_mask_cmpeq_epi8_mask(_mm512_test_epi8_mask(x, x), x, y);
    }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX512) bool Through(M walk) { return _kortestc_mask64_u8(walk, walk); }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX512) std::uint64_t StopBits(M walk) { return static_cast<M>(~walk); }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX512) M Eq(R a, R b) { return _mm512_cmpeq_epi8_mask(a, b); }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX512) M Any(M a, M b) { return a | b; }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX512) M Both(M a, M b) { return a & b; }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX512) std::uint64_t Bits(M m) { return m; }
};

// 32 bytes with AVX-512 BW and VL: the comparisons in mask registers.
struct Evex256Block {
    using R = __m256i;
    using M = __mmask32;
    static constexpr std::size_t kWidth = 32;
    ZEL_BLOCK_OP(ZEL_TARGET_AVX512) R Load(const char* p) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX512) R LoadAligned(const char* p) {
        return _mm256_load_si256(reinterpret_cast<const __m256i*>(p));
    }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX512) R Splat(char c) { return _mm256_set1_epi8(c); }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX512) R Or(R a, R b) { return _mm256_or_si256(a, b); }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX512) R Min(R a, R b) { return _mm256_min_epu8(a, b); }
    template <bool Fold> ZEL_BLOCK_OP(ZEL_TARGET_AVX512) R FoldIf(R v) {
        if (!Fold)
            return v;
        const M upper = _mm256_cmplt_epi8_mask(_mm256_add_epi8(v, _mm256_set1_epi8(0x3F)),
                                               _mm256_set1_epi8(-102));
        return _mm256_mask_add_epi8(v, upper, v, _mm256_set1_epi8(0x20));
    }
    template <bool Fold> ZEL_BLOCK_OP(ZEL_TARGET_AVX512) R Agree(const char* a, const char* b) {
        const R x = FoldIf<Fold>(Load(a)), y = FoldIf<Fold>(Load(b));
        return _mm256_maskz_mov_epi8(_mm256_cmpeq_epi8_mask(x, y), x);
    }
    // Where the walk goes on: the byte of a is not NUL and both agree.
    template <bool Fold> ZEL_BLOCK_OP(ZEL_TARGET_AVX512) M Walk(const char* a, const char* b) {
        const R x = FoldIf<Fold>(Load(a)), y = FoldIf<Fold>(Load(b));
        return _mm256_mask_cmpeq_epi8_mask(_mm256_test_epi8_mask(x, x), x, y);
    }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX512) bool Through(M walk) { return _kortestc_mask32_u8(walk, walk); }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX512) std::uint64_t StopBits(M walk) { return static_cast<M>(~walk); }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX512) M Eq(R a, R b) { return _mm256_cmpeq_epi8_mask(a, b); }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX512) M Any(M a, M b) { return a | b; }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX512) M Both(M a, M b) { return a & b; }
    ZEL_BLOCK_OP(ZEL_TARGET_AVX512) std::uint64_t Bits(M m) { return m; }
};

#undef ZEL_BLOCK_OP

// The walks, once per level.
namespace sse2 {
using V = Sse2Block;
using VHead = V;
using VHeadFold = V;
#define ZEL_LEVEL
#define ZEL_WALK ZEL_READS_WHOLE_BLOCKS
#include "util/StringWalks.inc"
#undef ZEL_WALK
#undef ZEL_LEVEL
} // namespace sse2

namespace avx2 {
using V = Avx2Block;
using VHead = V;
using VHeadFold = V;
#define ZEL_LEVEL ZEL_TARGET_AVX2
#define ZEL_WALK ZEL_TARGET_AVX2 ZEL_READS_WHOLE_BLOCKS
#include "util/StringWalks.inc"
#undef ZEL_WALK
#undef ZEL_LEVEL
} // namespace avx2

namespace avx512 {
// Short texts end within a few blocks: 32-byte blocks lose less past their end.
using VHead = Evex256Block;
using VHeadFold = Avx2Block; // folding in vector registers measured faster here
using V = Avx512Block;
#define ZEL_LEVEL ZEL_TARGET_AVX512
#define ZEL_WALK ZEL_TARGET_AVX512 ZEL_READS_WHOLE_BLOCKS
#include "util/StringWalks.inc"
#undef ZEL_WALK
#undef ZEL_LEVEL
} // namespace avx512
#endif

// The routines of one vector level.
struct Routines {
    unsigned int (*length)(const char*); // strlen's own type: its call is a jump
    int (*order[2][2])(const char*, const char*, std::size_t); // [fold][bounded]
    const unsigned char* (*findWindow)(const unsigned char*, std::size_t, unsigned char,
                                       unsigned char, unsigned char, unsigned char);
};

unsigned int LengthBytes(const char* s) {
    return static_cast<unsigned int>(std::strlen(s));
}

template <bool Fold, bool Bounded> int OrderBytesOf(const char* a, const char* b, std::size_t n) {
    return OrderBytes<Fold>(a, b, Bounded, n);
}

// By level, in the order of VectorLevel.
#define ZEL_ROUTINES(level)                                                                        \
    {                                                                                              \
        level::Length,                                                                             \
            {{level::Order<false, false>, level::Order<false, true>},                              \
             {level::Order<true, false>, level::Order<true, true>}},                               \
            level::FindWindow                                                                      \
    }
const Routines kRoutines[] = {
    {LengthBytes,
     {{OrderBytesOf<false, false>, OrderBytesOf<false, true>},
      {OrderBytesOf<true, false>, OrderBytesOf<true, true>}},
     FindWindowBytes},
#if defined(ZEL_X86_VECTORS)
    ZEL_ROUTINES(sse2),
    ZEL_ROUTINES(avx2),
    ZEL_ROUTINES(avx512),
#endif
};
#undef ZEL_ROUTINES

const Routines& ChooseRoutines();

// Until the first call, routines that choose the level and then run its own.
unsigned int LengthFirst(const char* s) {
    return ChooseRoutines().length(s);
}
template <bool Fold, bool Bounded> int OrderFirst(const char* a, const char* b, std::size_t n) {
    return ChooseRoutines().order[Fold][Bounded](a, b, n);
}
const unsigned char* FindWindowFirst(const unsigned char* from, std::size_t l, unsigned char first,
                                     unsigned char last, unsigned char firstBit,
                                     unsigned char lastBit) {
    return ChooseRoutines().findWindow(from, l, first, last, firstBit, lastBit);
}
const Routines kFirstCall = {LengthFirst,
                             {{OrderFirst<false, false>, OrderFirst<false, true>},
                              {OrderFirst<true, false>, OrderFirst<true, true>}},
                             FindWindowFirst};

// The routines of the process's level (a constant table, so that each call is
// one load and one jump).
std::atomic<const Routines*> g_routines{&kFirstCall};

const Routines& ChooseRoutines() {
    const Routines* chosen = &kRoutines[static_cast<int>(detail::CurrentVectorLevel())];
    g_routines.store(chosen, std::memory_order_relaxed);
    return *chosen;
}

inline const Routines& Chosen() {
    return *g_routines.load(std::memory_order_relaxed);
}

inline unsigned int Length(const char* s) {
    return Chosen().length(s);
}

// The four ordering functions; `bounded` false ignores n.
template <bool Fold> int Order(const char* a, const char* b, bool bounded, unsigned int n) {
    if (a == nullptr)
        return b == nullptr ? 0 : -1;
    if (b == nullptr)
        return 1;
    return Chosen().order[Fold][bounded](a, b, n);
}

// FindWindow of the chosen level.
inline const unsigned char* FindWindowAtLevel(const unsigned char* from, std::size_t l,
                                              unsigned char first, unsigned char last,
                                              unsigned char firstBit, unsigned char lastBit) {
    return Chosen().findWindow(from, l, first, last, firstBit, lastBit);
}

} // namespace

unsigned int strlen(const char* s) {
    return s ? Length(s) : 0;
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

// The last byte q (at or after `from`) of the first window of l bytes whose first
// and last bytes match the pattern's (`first`, `last` in the view V), or the
// text's terminator if that comes first. The l - 1 bytes before `from` are text.
template <typename V>
const unsigned char* FindWindow(const unsigned char* from, std::size_t l, unsigned char first,
                                unsigned char last) {
    return FindWindowAtLevel(from, l, first, last, CaseBit<V>(first), CaseBit<V>(last));
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
    // Records that the text reaches at least to upTo.
    void cover(const unsigned char* upTo) {
        if (upTo > m_end)
            m_end = upTo;
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
            // last bytes both match (any match is such a window), looking for the
            // terminator in the same pass.
            const unsigned char* q = FindWindow<V>(h + l, l, firstOfPattern, lastOfPattern);
            if (*q == 0)
                return nullptr;
            known.cover(q + 1);
            h = q - (l - 1);
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
