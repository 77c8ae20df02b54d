// Character classes and case of zel::util: fixed ASCII ranges, no locale.
#include "zel/StringUtil.h"

#include <gtest/gtest.h>

#include <string>

namespace u = zel::util;

// Every code from -300 to 300 against the ranges written out by hand.
TEST(CharClass, EveryCodeAgainstItsRange) {
    for (int c = -300; c <= 300; ++c) {
        SCOPED_TRACE(c);
        const bool digit = c >= '0' && c <= '9';
        const bool lower = c >= 'a' && c <= 'z';
        const bool upper = c >= 'A' && c <= 'Z';
        const bool hex = digit || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        const bool space = c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == 160;
        EXPECT_EQ(u::isdigit(c), digit);
        EXPECT_EQ(u::islower(c), lower);
        EXPECT_EQ(u::isupper(c), upper);
        EXPECT_EQ(u::ishexdigit(c), hex);
        EXPECT_EQ(u::IsSpace(c), space);
        EXPECT_EQ(u::tolower(c), upper ? c + 32 : c);
        EXPECT_EQ(u::toupper(c), lower ? c - 32 : c);
    }
}

TEST(CharClass, NamedEdges) {
    EXPECT_TRUE(u::IsSpace(160));
    EXPECT_FALSE(u::IsSpace(-96)); // 0xA0 widened from a signed char
    EXPECT_FALSE(u::IsSpace(11));
    EXPECT_FALSE(u::IsSpace(12));
    EXPECT_FALSE(u::isdigit(-48));
    EXPECT_TRUE(u::isdigit(48));
    EXPECT_FALSE(u::ishexdigit('G'));
    EXPECT_TRUE(u::ishexdigit('f'));
    EXPECT_EQ(u::tolower('['), '[');
    EXPECT_EQ(u::toupper('{'), '{');
    EXPECT_EQ(u::tolower(0xC9), 0xC9);
    EXPECT_EQ(u::toupper(0xE9), 0xE9);
}

TEST(CharClass, HexDigitAndByteConversionOverEveryByte) {
    for (int b = 0; b < 256; ++b) {
        SCOPED_TRACE(b);
        const char c = static_cast<char>(b);
        int expected = -1;
        if (b >= '0' && b <= '9')
            expected = b - '0';
        else if (b >= 'a' && b <= 'f')
            expected = b - 'a' + 10;
        else if (b >= 'A' && b <= 'F')
            expected = b - 'A' + 10;
        EXPECT_EQ(u::hexdigit(c), expected);
        EXPECT_EQ(u::convertISO_8859_1Char(c), static_cast<unsigned char>(b));
    }
    EXPECT_EQ(u::convertISO_8859_1Char(static_cast<char>(-23)), 233);
}
