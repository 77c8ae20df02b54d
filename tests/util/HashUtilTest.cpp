#include "zel/HashUtil.h"

#include "TextReference.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

using zel::util::isPrime;
using zel::util::nextPrime;
using zel::util::stringHashCode;
using zel::util::stringHashCodeNoCase;
using zel::util::tolerantEquals;

std::uint32_t ReferenceHash(const std::string& s, bool fold) {
    return zelref::HashCode(s.c_str(), fold);
}

TEST(HashUtil, KnownHashes) {
    struct Case {
        const char* text;
        unsigned int hash;
        unsigned int noCase;
    } cases[] = {
        {"abc", 96354u, 96354u},
        {"ABC", 64578u, 96354u},
        {"", 0u, 0u},
        {"[", 91u, 91u}, // only 'A'..'Z' fold
        {"\xC9", 0xC9u, 0xC9u},
        {"Hello, World", 0xE1D9798Cu, 0xD9D1158Cu},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(stringHashCode(c.text), ReferenceHash(c.text, false));
        EXPECT_EQ(stringHashCode(c.text), c.hash);
        EXPECT_EQ(stringHashCodeNoCase(c.text), c.noCase);
    }
    EXPECT_EQ(stringHashCode(nullptr), 0u);
    EXPECT_EQ(stringHashCodeNoCase(nullptr), 0u);
    EXPECT_EQ(stringHashCodeNoCase("Hello World"), stringHashCodeNoCase("hELLO wORLD"));
    EXPECT_NE(stringHashCodeNoCase("\xC9"), stringHashCodeNoCase("\xE9"));
}

TEST(HashUtil, EveryLengthAndByteMatchesTheByteLoop) {
    // Texts of every length around the block sizes, with bytes 1..255 at every
    // position, taken unsigned.
    for (std::size_t length = 0; length < 300; ++length) {
        std::string text;
        for (std::size_t i = 0; i < length; ++i)
            text += static_cast<char>(1 + (i * 37 + length * 11) % 255);
        SCOPED_TRACE(length);
        EXPECT_EQ(stringHashCode(text.c_str()), ReferenceHash(text, false));
        EXPECT_EQ(stringHashCodeNoCase(text.c_str()), ReferenceHash(text, true));
    }
    const std::string large(100000, '\xFF');
    EXPECT_EQ(stringHashCode(large.c_str()), ReferenceHash(large, false));
    // The letters and their neighbours, at every offset within the blocks.
    std::string mixed;
    while (mixed.size() < 10007)
        mixed += "@AZ[`az{\xC1\xE1 Mm";
    EXPECT_EQ(stringHashCodeNoCase(mixed.c_str()), ReferenceHash(mixed, true));
    EXPECT_EQ(stringHashCode(mixed.c_str()), ReferenceHash(mixed, false));
}

TEST(HashUtil, IsPrime) {
    struct Case {
        unsigned int n;
        bool prime;
    } cases[] = {
        {0, false},
        {1, true},
        {2, true},
        {3, true},
        {4, false},
        {5, true},
        {7, true},
        {9, false},
        {25, false},
        {49, false},
        {97, true},
        {121, false},
        {65537, true},
        {4294967291u, true},
        {4294967295u, false},
        {4293001441u, false},
        {4294967279u, true},
        {4294967293u, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        EXPECT_EQ(isPrime(c.n), c.prime);
    }
    // Against a sieve (which does not count 1).
    std::vector<bool> composite(20000, false);
    for (unsigned i = 2; i < composite.size(); ++i) {
        if (!composite[i]) {
            for (unsigned j = i * 2; j < composite.size(); j += i)
                composite[j] = true;
        }
        ASSERT_EQ(isPrime(i), !composite[i]) << i;
    }
}

TEST(HashUtil, NextPrime) {
    struct Case {
        unsigned int n;
        unsigned int next;
    } cases[] = {
        {0, 1},           {1, 2},           {2, 3},     {3, 5},       {4, 5},
        {7, 11},          {13, 17},         {100, 101}, {1000, 1009}, {4294967290u, 4294967291u},
        {4294967291u, 1}, // wraps past the largest 32-bit prime
        {4294967294u, 1}, {4294967295u, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        EXPECT_EQ(nextPrime(c.n), c.next);
    }
}

TEST(HashUtil, TolerantEqualsDouble) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double a, b;
        bool equal;
    } cases[] = {
        {100.0, 100.0009, true},
        {100.0, 100.0011, false},
        {-100.0, -100.0009, true},
        {0.0, 0.0, true},
        {0.0, -0.0, true},
        {0.0, 1e-30, false},
        {100.0, 100.001000005, false}, // relative to the first argument
        {100.001000005, 100.0, true},
        {nan, 1.0, false},
        {1.0, nan, false},
        {nan, nan, false},
        {inf, inf, false},
        {1e300, 1.00001e300, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a << " " << c.b);
        EXPECT_EQ(tolerantEquals(c.a, c.b), c.equal);
    }
}

TEST(HashUtil, TolerantEqualsFloat) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        float a, b;
        bool equal;
    } cases[] = {
        {100.0f, 100.0009f, true},   {100.0f, 100.0011f, false},
        {100.0f, 100.001f, true}, // 100.001f lies at 100.00099945...
        {-100.0f, -100.0009f, true}, {0.0f, 0.0f, true},
        {0.0f, 1e-30f, false},       {1e-40f, 1e-40f, true},
        {3e38f, -3e38f, false}, // the single-precision difference overflows
        {nan, 1.0f, false},          {1.0f, nan, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a << " " << c.b);
        EXPECT_EQ(tolerantEquals(c.a, c.b), c.equal);
    }
}

} // namespace
