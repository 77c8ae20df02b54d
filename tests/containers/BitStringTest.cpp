#include "zel/BitString.h"

#include "zel/Exception.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

using zel::BitString;
using Str = zel::BaseString<char>;

namespace {

std::string Text(const BitString& b) {
    Str out;
    const char* result = b.AsString(out);
    EXPECT_EQ(result, static_cast<const char*>(out));
    return std::string(out);
}

unsigned int ByteCount(const BitString& b) {
    // Byte count from the unused bits and the bit count (both documented).
    return static_cast<unsigned int>((b.NumBits() + b.GetUnusedBits()) / 8);
}

std::string IndexMessage(void (*operation)()) {
    try {
        operation();
    } catch (const zel::InvalidIndexException& e) {
        return e.getAt() ? e.getAt() : "";
    }
    return "no exception";
}

} // namespace

TEST(BitString, SizesFromTheBitCount) {
    struct Case {
        int bits;
        int unused;
        unsigned int bytes;
    };
    const Case cases[] = {{0, 0, 0}, {1, 7, 1},  {7, 1, 1},  {8, 0, 1},
                          {9, 7, 2}, {12, 4, 2}, {16, 0, 2}, {-3, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        BitString b(c.bits);
        EXPECT_EQ(b.GetUnusedBits(), c.unused);
        EXPECT_EQ(b.NumBits(), c.bits < 0 ? 0 : c.bits);
        EXPECT_EQ(ByteCount(b), c.bytes);
        for (int i = 0; i < b.NumBits(); ++i)
            EXPECT_FALSE(b.IsBitOn(i));
        int numBits = -1;
        const unsigned char* bytes = b.GetBits(numBits);
        EXPECT_EQ(numBits, b.NumBits());
        for (unsigned int i = 0; i < c.bytes; ++i)
            EXPECT_EQ(bytes[i], 0);
    }
    BitString empty;
    EXPECT_EQ(Text(empty), "[]");
    EXPECT_EQ(empty.GetIntValue(), 0u);
    EXPECT_EQ(empty.GetIntValueReverse(), 0u);
    EXPECT_EQ(empty.GetRawBits(), nullptr);
}

// A bit count converts to a BitString of that many bits, all off.
static_assert(std::is_convertible_v<int, zel::BitString>);

TEST(BitString, ConvertsFromABitCount) {
    zel::BitString b = 12;
    EXPECT_EQ(b.NumBits(), 12);
    for (int i = 0; i < 12; ++i)
        EXPECT_FALSE(b.IsBitOn(i)) << i;
}

TEST(BitString, BitsArePackedMostSignificantFirst) {
    BitString b(12);
    EXPECT_FALSE(b.SetBit(0, true));
    EXPECT_TRUE(b.SetBit(0, true));
    b.SetBit(7, true);
    b.SetBit(8, true);
    b.SetBit(11, true);
    int n = 0;
    const unsigned char* bytes = b.GetBits(n);
    EXPECT_EQ(bytes[0], 0x81);
    EXPECT_EQ(bytes[1], 0x90);
    EXPECT_EQ(Text(b), "[100000011001]");
    EXPECT_TRUE(b.SetBit(7, false));
    EXPECT_EQ(bytes[0], 0x80);

    // Unused bits of the last byte can be set but read as off.
    EXPECT_FALSE(b.SetBit(12, true));
    EXPECT_FALSE(b.IsBitOn(12));
    EXPECT_EQ(bytes[1], 0x98);
    EXPECT_FALSE(b.SetBit(12, true)); // still reported off

    // ClearBits leaves them alone.
    b.ClearBits();
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[1], 0x08);
    EXPECT_EQ(Text(b), "[000000000000]");
}

TEST(BitString, IndexChecks) {
    EXPECT_EQ(IndexMessage([] {
                  BitString b(12);
                  b.SetBit(16, true);
              }),
              "An invalid index value (2) has been detected; legal values are between 0 and 1");
    EXPECT_EQ(IndexMessage([] {
                  BitString b;
                  b.SetBit(0, true);
              }),
              "An invalid index value (0) has been detected; there are zero items");
    EXPECT_EQ(IndexMessage([] {
                  BitString b(8);
                  b.SetBit(-1, true);
              }),
              "An invalid index value (-1) has been detected; legal values are between 0 and 0");
    BitString b(12);
    EXPECT_FALSE(b.IsBitOn(12));
    EXPECT_FALSE(b.IsBitOn(1000));
}

TEST(BitString, IntegerConversions) {
    struct Case {
        unsigned int value;
        unsigned int bits;
        const char* text;
        unsigned int intValue;
        unsigned int reverse;
    };
    const Case cases[] = {
        {5, 3, "[101]", 5, 0xA0},
        {0x80, 8, "[10000000]", 0x80, 0x80},
        {0xFFFFFFFF, 40, "[11111111111111111111111111111111]", 0xFFFFFFFF, 0xFF},
        {0x1F5, 4, "[0101]", 5, 0x50},
        {0xABCD, 16, "[1010101111001101]", 0xABCD, 0xAB},
        {7, 0, "[]", 0, 0},
        {1, 1, "[1]", 1, 0x80},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        BitString b;
        b.SetFromInt(c.value, c.bits);
        EXPECT_EQ(Text(b), c.text);
        EXPECT_EQ(b.GetIntValue(), c.intValue);
        EXPECT_EQ(b.GetIntValueReverse(), c.reverse);
    }
    // Beyond 32 bits, positions wrap modulo 32 and are OR-ed.
    BitString wide(33);
    wide.SetBit(0, true); // position 32 -> 0
    EXPECT_EQ(wide.GetIntValue(), 1u);
    wide.SetBit(32, true); // position 0
    wide.SetBit(1, true);  // position 31
    EXPECT_EQ(wide.GetIntValue(), 0x80000001u);
}

TEST(BitString, FromString) {
    struct Case {
        const char* text;
        bool ok;
        const char* after;
    };
    // Every case starts from the 4-bit string 0110.
    const Case cases[] = {
        {"[1010]", true, "[1010]"}, {"1010", true, "[1010]"},   {"1x1y", true, "[1010]"},
        {"[101]", false, "[0110]"}, {"10101", false, "[0110]"}, {"0", true, "[0000]"},
        {"", false, "[0110]"},      {"[1[11]", true, "[1111]"}, {"1]0]", true, "[1100]"},
        {"[10]1]", true, "[1011]"}, {nullptr, false, "[0110]"}, {"[", false, "[0110]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text ? c.text : "(null)");
        BitString b;
        b.SetFromInt(6, 4);
        EXPECT_EQ(b.FromString(Str(c.text)), c.ok);
        EXPECT_EQ(Text(b), c.after);
        EXPECT_EQ(b.NumBits(), 4);
    }
    // "0" clears strings of any size; the empty string accepts only empty texts.
    BitString big(100);
    big.SetBit(99, true);
    EXPECT_TRUE(big.FromString(Str("0")));
    EXPECT_FALSE(big.IsBitOn(99));
    BitString none;
    EXPECT_TRUE(none.FromString(Str("")));
    EXPECT_TRUE(none.FromString(Str()));
    EXPECT_TRUE(none.FromString(Str("[]")));
    EXPECT_TRUE(none.FromString(Str("0")));
    EXPECT_FALSE(none.FromString(Str("1")));
    // Round trip.
    BitString r(13);
    r.SetBit(2, true);
    r.SetBit(12, true);
    BitString back(13);
    Str text;
    r.AsString(text);
    EXPECT_TRUE(back.FromString(text));
    EXPECT_TRUE(back == r);
}

TEST(BitString, CopyAndCompare) {
    BitString a;
    a.SetFromInt(0xA5, 8);
    BitString b(a);
    EXPECT_TRUE(a == b);
    b.SetBit(0, false);
    EXPECT_FALSE(a == b);
    EXPECT_TRUE(a != b);
    EXPECT_EQ(a.GetIntValue(), 0xA5u);

    // Same bytes, different bit counts: equal.
    BitString seven(7);
    BitString eight(8);
    EXPECT_TRUE(seven == eight);
    // Unused bits take part.
    seven.SetBit(7, true);
    EXPECT_FALSE(seven == eight);
    // Different byte counts: not equal.
    EXPECT_FALSE(BitString(8) == BitString(9));

    BitString c(20);
    c = a;
    EXPECT_EQ(c.NumBits(), 8);
    EXPECT_EQ(c.GetUnusedBits(), 0);
    EXPECT_TRUE(c == a);
    const BitString& alias = c;
    c = alias;
    EXPECT_EQ(c.GetIntValue(), 0xA5u);
}

TEST(BitString, InitKeepsPresentBits) {
    BitString b(8);
    b.SetBit(1, true);
    b.Init(20);
    EXPECT_EQ(b.NumBits(), 20);
    EXPECT_EQ(b.GetUnusedBits(), 4);
    EXPECT_TRUE(b.IsBitOn(1));
    for (int i = 8; i < 20; ++i)
        EXPECT_FALSE(b.IsBitOn(i)) << i;
    b.Init(3);
    EXPECT_EQ(Text(b), "[010]");
    EXPECT_EQ(b.GetUnusedBits(), 5);
}

// The bit count follows the bytes Assign appends.
TEST(BitString, AssignAppendsBytes) {
    struct Case {
        int startBits;
        std::vector<unsigned char> bytes;
        int unused;
        int numBits;
        int storedUnused;
        const char* text;
    };
    const Case cases[] = {
        {0, {0xA0}, 4, 4, 4, "[1010]"},
        {0, {0xFF, 0x01}, 0, 16, 0, "[1111111100000001]"},
        {8, {0x80}, 7, 9, 7, "[000000001]"},
        {3, {0xC0}, 0, 16, 0, "[0000000011000000]"},
        {0, {}, 3, 0, 0, "[]"},
        {8, {}, 2, 8, 2, "[00000000]"},
        {12, {}, 0, 12, 0, "[000000000000]"},
        {0, {0x01}, 9, 1, 7, "[0]"},
        {0, {0x80}, -1, 8, 0, "[10000000]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        BitString b(c.startBits);
        b.Assign(c.bytes.empty() ? nullptr : c.bytes.data(), static_cast<int>(c.bytes.size()),
                 c.unused);
        EXPECT_EQ(b.NumBits(), c.numBits);
        EXPECT_EQ(b.GetUnusedBits(), c.storedUnused);
        EXPECT_EQ(Text(b), c.text);
    }
    // A count below 1 appends nothing and keeps the bit count.
    BitString b(12);
    const unsigned char byte = 0xFF;
    b.Assign(&byte, 0, 0);
    EXPECT_EQ(b.NumBits(), 12);
    b.Assign(&byte, -4, 5);
    EXPECT_EQ(b.NumBits(), 12);
    EXPECT_EQ(b.GetUnusedBits(), 5);
    EXPECT_EQ(b.GetIntValue(), 0u);

    // Bytes from the string's own storage, across reallocations.
    BitString self;
    const unsigned char seed[] = {0x12, 0x34, 0x56, 0x78, 0x9A};
    self.Assign(seed, 5, 0);
    for (int round = 0; round < 4; ++round)
        self.Assign(self.GetRawBits(), self.NumBits() / 8, 0);
    int numBits = 0;
    const unsigned char* bytes = self.GetBits(numBits);
    ASSERT_EQ(numBits, 80 * 8);
    for (int i = 0; i < 80; ++i)
        ASSERT_EQ(bytes[i], seed[i % 5]) << i;
}
