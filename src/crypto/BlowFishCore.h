// The block function, key schedule and block assembly of the library's Blowfish
// variant, header-only so that the tests can run them directly.
//
// The variant differs from published Blowfish in exactly three places, each one a
// flag of a Variant type: the round function indexes S1 with the least
// significant byte; the outer whitening uses the constant initial values of P[0]
// and P[17] instead of the key-dependent ones; key bytes form words little-endian.
// `LibraryVariant` is the stored format; `PublishedVariant` turns all three off
// and reproduces the published algorithm (used by the tests against the published
// test vectors).
//
// Pure logic: no allocation, no operating-system calls, no exceptions.
#pragma once

#include "crypto/BlowFishTables.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zel {
namespace detail {
namespace blowfish {

struct LibraryVariant {
    static constexpr bool kLowByteFirst = true;
    static constexpr bool kConstantWhitening = true;
    static constexpr bool kLittleEndianKey = true;
};

struct PublishedVariant {
    static constexpr bool kLowByteFirst = false;
    static constexpr bool kConstantWhitening = false;
    static constexpr bool kLittleEndianKey = false;
};

// Key bytes beyond this many never reach the tables.
constexpr unsigned int kMaxKeyBytes = 72;

// The working tables of one call.
struct Tables {
    std::uint32_t P[18];
    std::uint32_t S[4][256];
};

// Zeroes n bytes in a way the optimiser cannot drop: the call goes through a
// volatile function pointer, so the compiler cannot see that the memory is dead.
inline void SecureWipe(void* p, std::size_t n) {
    static void* (*const volatile wipe)(void*, int, std::size_t) = std::memset;
    if (n != 0)
        wipe(p, 0, n);
}

template <class V> inline std::uint32_t Round(const Tables& t, std::uint32_t x) {
    if constexpr (V::kLowByteFirst)
        return ((t.S[0][x & 0xFF] + t.S[1][(x >> 8) & 0xFF]) ^ t.S[2][(x >> 16) & 0xFF]) +
               t.S[3][x >> 24];
    else
        return ((t.S[0][x >> 24] + t.S[1][(x >> 16) & 0xFF]) ^ t.S[2][(x >> 8) & 0xFF]) +
               t.S[3][x & 0xFF];
}

template <class V> inline std::uint32_t FirstWhitening(const Tables& t) {
    return V::kConstantWhitening ? kInitialP[0] : t.P[0];
}

template <class V> inline std::uint32_t LastWhitening(const Tables& t) {
    return V::kConstantWhitening ? kInitialP[17] : t.P[17];
}

// Enciphers the pair (xl, xr) in place.
template <class V> inline void Encipher(const Tables& t, std::uint32_t& xl, std::uint32_t& xr) {
    const std::uint32_t* p = t.P;
    std::uint32_t a = xl ^ FirstWhitening<V>(t);
    std::uint32_t b = xr ^ Round<V>(t, a) ^ p[1];
    a ^= Round<V>(t, b) ^ p[2];
    b ^= Round<V>(t, a) ^ p[3];
    a ^= Round<V>(t, b) ^ p[4];
    b ^= Round<V>(t, a) ^ p[5];
    a ^= Round<V>(t, b) ^ p[6];
    b ^= Round<V>(t, a) ^ p[7];
    a ^= Round<V>(t, b) ^ p[8];
    b ^= Round<V>(t, a) ^ p[9];
    a ^= Round<V>(t, b) ^ p[10];
    b ^= Round<V>(t, a) ^ p[11];
    a ^= Round<V>(t, b) ^ p[12];
    b ^= Round<V>(t, a) ^ p[13];
    a ^= Round<V>(t, b) ^ p[14];
    b ^= Round<V>(t, a) ^ p[15];
    xr = a ^ Round<V>(t, b) ^ p[16];
    xl = b ^ LastWhitening<V>(t);
}

// Deciphers the pair (xl, xr) in place: the exact inverse of Encipher.
template <class V> inline void Decipher(const Tables& t, std::uint32_t& xl, std::uint32_t& xr) {
    const std::uint32_t* p = t.P;
    std::uint32_t a = xl ^ LastWhitening<V>(t);
    std::uint32_t b = xr ^ Round<V>(t, a) ^ p[16];
    a ^= Round<V>(t, b) ^ p[15];
    b ^= Round<V>(t, a) ^ p[14];
    a ^= Round<V>(t, b) ^ p[13];
    b ^= Round<V>(t, a) ^ p[12];
    a ^= Round<V>(t, b) ^ p[11];
    b ^= Round<V>(t, a) ^ p[10];
    a ^= Round<V>(t, b) ^ p[9];
    b ^= Round<V>(t, a) ^ p[8];
    a ^= Round<V>(t, b) ^ p[7];
    b ^= Round<V>(t, a) ^ p[6];
    a ^= Round<V>(t, b) ^ p[5];
    b ^= Round<V>(t, a) ^ p[4];
    a ^= Round<V>(t, b) ^ p[3];
    b ^= Round<V>(t, a) ^ p[2];
    xr = a ^ Round<V>(t, b) ^ p[1];
    xl = b ^ FirstWhitening<V>(t);
}

// Builds the working tables from key bytes key[0..length-1], length >= 1. A key
// shorter than 72 bytes repeats cyclically; only the first 72 bytes are read.
template <class V> inline void Schedule(Tables& t, const unsigned char* key, unsigned int length) {
    std::memcpy(t.P, kInitialP, sizeof t.P);
    std::memcpy(t.S, kInitialS, sizeof t.S);
    unsigned int j = 0;
    for (int i = 0; i < 18; ++i) {
        std::uint32_t w = 0;
        for (int b = 0; b < 4; ++b) {
            const std::uint32_t k = key[j];
            if constexpr (V::kLittleEndianKey)
                w |= k << (8 * b);
            else
                w = (w << 8) | k;
            if (++j == length)
                j = 0;
        }
        t.P[i] ^= w;
    }
    std::uint32_t l = 0;
    std::uint32_t r = 0;
    for (int i = 0; i < 18; i += 2) {
        Encipher<V>(t, l, r);
        t.P[i] = l;
        t.P[i + 1] = r;
    }
    for (int s = 0; s < 4; ++s) {
        for (int i = 0; i < 256; i += 2) {
            Encipher<V>(t, l, r);
            t.S[s][i] = l;
            t.S[s][i + 1] = r;
        }
    }
}

inline std::uint32_t LoadLittleEndian(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

inline void StoreLittleEndian(unsigned char* p, std::uint32_t w) {
    p[0] = static_cast<unsigned char>(w);
    p[1] = static_cast<unsigned char>(w >> 8);
    p[2] = static_cast<unsigned char>(w >> 16);
    p[3] = static_cast<unsigned char>(w >> 24);
}

// Enciphers (or deciphers) a buffer of `bytes` bytes in place, bytes a multiple
// of 8: the buffer is a row of little-endian words, and the first word is paired
// with the last, the second with the one before the last, and so on inwards.
template <class V, bool kEncipher>
inline void Process(const Tables& t, unsigned char* buffer, std::size_t bytes) {
    if (bytes < 8)
        return;
    unsigned char* front = buffer;
    unsigned char* back = buffer + bytes - 4;
    for (std::size_t i = bytes / 8; i != 0; --i, front += 4, back -= 4) {
        std::uint32_t xl = LoadLittleEndian(front);
        std::uint32_t xr = LoadLittleEndian(back);
        if constexpr (kEncipher)
            Encipher<V>(t, xl, xr);
        else
            Decipher<V>(t, xl, xr);
        StoreLittleEndian(front, xl);
        StoreLittleEndian(back, xr);
    }
}

} // namespace blowfish
} // namespace detail
} // namespace zel
