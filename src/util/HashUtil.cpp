#include "zel/HashUtil.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace zel {
namespace util {

namespace {

// 31^k modulo 2^32.
constexpr std::uint32_t kPow31_2 = 31u * 31u;
constexpr std::uint32_t kPow31_4 = kPow31_2 * kPow31_2;
constexpr std::uint32_t kPow31_8 = kPow31_4 * kPow31_4;
constexpr std::uint32_t kPow31_16 = kPow31_8 * kPow31_8;

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

constexpr bool kLittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

} // namespace

unsigned int stringHashCode(const char* text) {
    if (text == nullptr)
        return 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    std::size_t n = std::strlen(text);
    std::uint32_t h = 0;
    if (kLittleEndian) {
        // h * 31^16 + (block * 31^8 + block): one dependent multiply per 16 bytes.
        for (; n >= 16; n -= 16, p += 16) {
            const std::uint32_t a = Block8(Load8(p));
            const std::uint32_t b = Block8(Load8(p + 8));
            h = h * kPow31_16 + (a * kPow31_8 + b);
        }
    }
    for (; n != 0; --n, ++p)
        h = h * 31u + *p;
    return h;
}

unsigned int stringHashCodeNoCase(const char* text) {
    if (text == nullptr)
        return 0;
    std::uint32_t h = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
        const unsigned char c = *p;
        h = h * 31u + ((c >= 'A' && c <= 'Z') ? c + 0x20u : c);
    }
    return h;
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
