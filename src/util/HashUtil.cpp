#include "zel/HashUtil.h"

#include "zel/StringUtil.h"

#include "util/VectorLevel.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#if defined(ZEL_X86_VECTORS)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zel {
namespace util {

namespace {

// 31^k modulo 2^32.
constexpr std::uint32_t kPow31_2 = 31u * 31u;
constexpr std::uint32_t kPow31_4 = kPow31_2 * kPow31_2;
constexpr std::uint32_t kPow31_8 = kPow31_4 * kPow31_4;
constexpr std::uint32_t kPow31_16 = kPow31_8 * kPow31_8;
constexpr std::uint32_t kPow31_32 = kPow31_16 * kPow31_16;
constexpr std::uint32_t kPow31_64 = kPow31_32 * kPow31_32;
constexpr std::uint32_t kPow31_12 = kPow31_8 * kPow31_4;
constexpr std::uint32_t kPow31_20 = kPow31_16 * kPow31_4;
constexpr std::uint32_t kPow31_24 = kPow31_16 * kPow31_8;
constexpr std::uint32_t kPow31_28 = kPow31_24 * kPow31_4;

// sum b_i * 31^(7 - i) modulo 2^32 over eight bytes, with b_0 the lowest byte of a
// little-endian word: pairs, then quads, are combined in parallel lanes of one
// 64-bit register (no lane overflows: 255 * 31 + 255 < 2^16 and
// 8160 * 961 + 8160 < 2^32).
inline std::uint32_t Block8(std::uint64_t w) {
    const std::uint64_t bytes = 0x00FF00FF00FF00FFull;
    std::uint64_t pairs = (w & bytes) * 31u + ((w >> 8) & bytes);
    const std::uint64_t halves = 0x0000FFFF0000FFFFull;
    std::uint64_t quads = (pairs & halves) * kPow31_2 + ((pairs >> 16) & halves);
    return static_cast<std::uint32_t>(quads) * kPow31_4 + static_cast<std::uint32_t>(quads >> 32);
}

inline std::uint64_t Load8(const unsigned char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

// 'A'..'Z' folded to 'a'..'z' in each byte of a word, every other byte unchanged:
// per byte on its low seven bits x, x + 0x3F carries into the top bit from 'A'
// on and x + 0x25 from '['; the byte's own top bit rules it out.
inline std::uint64_t Fold8(std::uint64_t w) {
    const std::uint64_t low7 = 0x7F7F7F7F7F7F7F7Full;
    const std::uint64_t top = 0x8080808080808080ull;
    const std::uint64_t x = w & low7;
    const std::uint64_t upper =
        (x + 0x3F3F3F3F3F3F3F3Full) & ~(x + 0x2525252525252525ull) & ~w & top;
    return w | (upper >> 2);
}

inline unsigned char Fold(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 0x20) : c;
}

#if defined(__SSE2__)
// 'A'..'Z' folded to 'a'..'z': adding 0x3F maps them to -128..-103, the only
// bytes below -102.
inline __m128i Fold16(__m128i v) {
    const __m128i upper = _mm_cmplt_epi8(_mm_add_epi8(v, _mm_set1_epi8(0x3F)), _mm_set1_epi8(-102));
    return _mm_or_si128(v, _mm_and_si128(upper, _mm_set1_epi8(0x20)));
}

// sum b_i * 31^(15 - i) modulo 2^32 over sixteen bytes: pairs and quads by
// multiply-add of 16-bit lanes (all values stay below 2^15 and 2^23), then the
// quads into two 32-bit sums by 32 x 32 -> 64-bit multiplies.
template <bool kFold> inline std::uint32_t Block16(const unsigned char* p) {
    const __m128i zero = _mm_setzero_si128();
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    if (kFold)
        v = Fold16(v);
    const __m128i byPair = _mm_set1_epi32(0x0001001F); // (31, 1)
    const __m128i low = _mm_madd_epi16(_mm_unpacklo_epi8(v, zero), byPair);
    const __m128i high = _mm_madd_epi16(_mm_unpackhi_epi8(v, zero), byPair);
    const __m128i byQuad = _mm_set1_epi32(0x00010000 | kPow31_2); // (961, 1)
    const __m128i quads = _mm_madd_epi16(_mm_packs_epi32(low, high), byQuad);
    const __m128i octs =
        _mm_add_epi32(_mm_mul_epu32(quads, _mm_set1_epi32(kPow31_4)), _mm_srli_epi64(quads, 32));
    const std::uint32_t first = static_cast<std::uint32_t>(_mm_cvtsi128_si32(octs));
    const std::uint32_t second =
        static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(octs, 2)));
    return first * kPow31_8 + second;
}
#endif

#if defined(ZEL_X86_VECTORS)
// The hash of the first n - n % 64 bytes (AVX2), moving p and n past them. Lane k
// of a 32-byte block holds the sum b_4k * 31^3 + ... + b_4k+3 (pairs by an
// unsigned-by-signed byte multiply-add, then quads by a 16-bit one); each lane
// sums its own quads over the blocks (times 31^64 per step of 64 bytes), and only
// the end weighs the lanes by their places, 31^(28 - 4k), and adds them up.
template <bool kFold>
ZEL_TARGET_AVX2 inline __attribute__((always_inline)) __m256i Quads32(const unsigned char* at) {
    __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    if (kFold) {
        const __m256i upper =
            _mm256_cmpgt_epi8(_mm256_set1_epi8(-102), _mm256_add_epi8(v, _mm256_set1_epi8(0x3F)));
        v = _mm256_or_si256(v, _mm256_and_si256(upper, _mm256_set1_epi8(0x20)));
    }
    const __m256i byPair = _mm256_set1_epi16(0x011F);     // bytes (31, 1)
    const __m256i byQuad = _mm256_set1_epi32(0x000103C1); // 16-bit (961, 1)
    return _mm256_madd_epi16(_mm256_maddubs_epi16(v, byPair), byQuad);
}

template <bool kFold>
ZEL_TARGET_AVX2 std::uint32_t HashBlocks64(const unsigned char*& p, std::size_t& n) {
    const __m256i step = _mm256_set1_epi32(static_cast<int>(kPow31_64));
    __m256i first = _mm256_setzero_si256(), second = _mm256_setzero_si256();
    for (; n >= 64; n -= 64, p += 64) {
        first = _mm256_add_epi32(_mm256_mullo_epi32(first, step), Quads32<kFold>(p));
        second = _mm256_add_epi32(_mm256_mullo_epi32(second, step), Quads32<kFold>(p + 32));
    }
    const __m256i places = _mm256_setr_epi32(
        static_cast<int>(kPow31_28), static_cast<int>(kPow31_24), static_cast<int>(kPow31_20),
        static_cast<int>(kPow31_16), static_cast<int>(kPow31_12), static_cast<int>(kPow31_8),
        static_cast<int>(kPow31_4), 1);
    const __m256i placesFirst =
        _mm256_mullo_epi32(places, _mm256_set1_epi32(static_cast<int>(kPow31_32)));
    const __m256i sum = _mm256_add_epi32(_mm256_mullo_epi32(first, placesFirst),
                                         _mm256_mullo_epi32(second, places));
    __m128i half = _mm_add_epi32(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1));
    half = _mm_add_epi32(half, _mm_shuffle_epi32(half, 0x4E));
    half = _mm_add_epi32(half, _mm_shuffle_epi32(half, 0xB1));
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(half));
}
#endif

constexpr bool kLittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

// h = h * 31 + b over the bytes (folded with kFold), in blocks.
template <bool kFold> unsigned int HashCode(const char* text) {
    if (text == nullptr)
        return 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    std::size_t n = util::strlen(text);
    std::uint32_t h = 0;
    const detail::VectorLevel level = detail::CurrentVectorLevel();
    (void)level;
#if defined(ZEL_X86_VECTORS)
    if (n >= 64 && level >= detail::VectorLevel::Avx2)
        h = HashBlocks64<kFold>(p, n);
#endif
#if defined(__SSE2__)
    // h * 31^32 + (block * 31^16 + block): one dependent multiply per 32 bytes.
    for (; level >= detail::VectorLevel::Sse2 && n >= 32; n -= 32, p += 32)
        h = h * kPow31_32 + (Block16<kFold>(p) * kPow31_16 + Block16<kFold>(p + 16));
#endif
    if (kLittleEndian) {
        // h * 31^16 + (block * 31^8 + block): one dependent multiply per 16 bytes.
        for (; n >= 16; n -= 16, p += 16) {
            std::uint64_t first = Load8(p), second = Load8(p + 8);
            if (kFold) {
                first = Fold8(first);
                second = Fold8(second);
            }
            h = h * kPow31_16 + (Block8(first) * kPow31_8 + Block8(second));
        }
    }
    for (; n != 0; --n, ++p)
        h = h * 31u + (kFold ? Fold(*p) : *p);
    return h;
}

} // namespace

unsigned int stringHashCode(const char* text) {
    return HashCode<false>(text);
}

unsigned int stringHashCodeNoCase(const char* text) {
    return HashCode<true>(text);
}

bool isPrime(unsigned int n) {
    if (n == 1 || n == 2 || n == 3)
        return true;
    if (n % 2 == 0)
        return false;
    const unsigned int limit = static_cast<unsigned int>(std::sqrt(static_cast<double>(n)) + 1.0);
    if (limit <= 3)
        return true;
    for (unsigned int d = 3; d < limit; d += 2) {
        if (n % d == 0)
            return false;
    }
    return true;
}

unsigned int nextPrime(unsigned int n) {
    if (n == 1)
        return 2;
    unsigned int candidate = (n % 2 == 0) ? n + 1u : n + 2u;
    while (!isPrime(candidate))
        candidate += 2u;
    return candidate;
}

bool tolerantEquals(float a, float b) {
    const float difference = a - b;
    return std::fabs(static_cast<double>(a)) * 1e-5 >= std::fabs(static_cast<double>(difference));
}

bool tolerantEquals(double a, double b) {
    return std::fabs(a) * 1e-5 >= std::fabs(a - b);
}

} // namespace util
} // namespace zel
