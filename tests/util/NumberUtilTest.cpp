#include "zel/NumberUtil.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

namespace {

using zel::util::atoh;
using zel::util::canCoerceToInteger;
using zel::util::doubleToString;
using zel::util::Int64ToStr;
using zel::util::isnumeric;
using zel::util::stringToBoolean;
using zel::util::stringToDouble;
using zel::util::stringToInt64;
using zel::util::stringToInteger;

constexpr long kNullEnd = -1;

// Where the end pointer landed, as an offset into the text (kNullEnd for null).
long Offset(const char* text, const char* end) {
    return end ? static_cast<long>(end - text) : kNullEnd;
}

std::uint64_t Bits(double d) {
    std::uint64_t b;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

TEST(NumberUtil, StringToInteger) {
    struct Case {
        const char* text;
        int value;
        long end;
    } cases[] = {
        {"  -42  x", -42, 7},
        {"+5", 0, 0}, // '+' is not accepted here
        {"4294967297", 1, 10},
        {"2147483648", INT_MIN, 10},
        {"-2147483648", INT_MIN, 11},
        {"99999999999999999999", 1661992959, 20},
        {"-99999999999999999999", -1661992959, 21},
        {"", 0, 0},
        {"   ", 0, 3},
        {"- 5", 0, 2}, // white space after the sign is skipped as "after the digits"
        {"--5", 0, 1},
        {"12a", 12, 2},
        {"\t\r\n 12\t\n", 12, 8},
        {"\xA0"
         "1",
         0, 0}, // 0xA0 is not parsing white space
        {"\v1", 0, 0},
        {"\f1", 0, 0},
        {"1\xA0", 1, 1},
        {"-0", 0, 2},
        {"007", 7, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        char* end = nullptr;
        EXPECT_EQ(stringToInteger(c.text, &end), c.value);
        EXPECT_EQ(Offset(c.text, end), c.end);
        EXPECT_EQ(stringToInteger(c.text, nullptr), c.value);
    }
    char* end = reinterpret_cast<char*>(&end);
    EXPECT_EQ(stringToInteger(nullptr, &end), 0);
    EXPECT_EQ(end, nullptr);
}

TEST(NumberUtil, StringToInt64) {
    struct Case {
        const char* text;
        long long value;
        long end;
    } cases[] = {
        {"+5", 5, 2},
        {"-9223372036854775808", LLONG_MIN, 20},
        {"9223372036854775808", LLONG_MIN, 19},
        {"9223372036854775807", LLONG_MAX, 19},
        {"18446744073709551617", 1, 20},
        {"99999999999999999999999", 200376420520689663LL, 23},
        {" + 5", 0, 3},
        {"+-5", 0, 1},
        {"-+5", 0, 1},
        {"  -42  x", -42, 7},
        {"\xA0"
         "1",
         0, 0},
        {"", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        char* end = nullptr;
        EXPECT_EQ(stringToInt64(c.text, &end), c.value);
        EXPECT_EQ(Offset(c.text, end), c.end);
    }
    char* end = reinterpret_cast<char*>(&end);
    EXPECT_EQ(stringToInt64(nullptr, &end), 0);
    EXPECT_EQ(end, nullptr);
}

// The plain algorithm, written independently, for texts whose exponent stays
// small enough that its power-of-ten factor is finite and nothing wraps.
double ReferenceDouble(const std::string& s, bool* factorFinite = nullptr) {
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n'))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+'))
        negative = s[i++] == '-';
    std::string digits;
    long pointPosition = -1;
    long scanned = 0;
    for (; i < s.size(); ++i, ++scanned) {
        if (s[i] >= '0' && s[i] <= '9')
            digits += s[i];
        else if (s[i] == '.' && pointPosition < 0)
            pointPosition = scanned;
        else
            break;
    }
    if (pointPosition < 0)
        pointPosition = scanned;
    if (digits.empty()) {
        if (factorFinite != nullptr)
            *factorFinite = true;
        return negative ? -0.0 : 0.0;
    }
    const long used = digits.size() > 18 ? 18 : static_cast<long>(digits.size());
    long exponent = pointPosition - used;
    const unsigned long long mantissa = std::stoull(digits.substr(0, used));
    const double fraction =
        static_cast<double>(static_cast<unsigned>(mantissa / 1000000000u)) * 1e9 +
        static_cast<double>(static_cast<unsigned>(mantissa % 1000000000u));
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        long sign = 1;
        if (i < s.size() && (s[i] == '-' || s[i] == '+'))
            sign = s[i++] == '-' ? -1 : 1;
        long e = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            e = e * 10 + (s[i++] - '0');
        exponent += sign * e;
    }
    long magnitude = exponent < 0 ? -exponent : exponent;
    static const double powers[9] = {1e1, 1e2, 1e4, 1e8, 1e16, 1e32, 1e64, 1e128, 1e256};
    double factor = 1.0;
    for (int bit = 0; bit < 9; ++bit) {
        if (magnitude & (1L << bit))
            factor *= powers[bit];
    }
    if (factorFinite != nullptr)
        *factorFinite = std::isfinite(factor);
    const double result = exponent < 0 ? fraction / factor : fraction * factor;
    return negative ? -result : result;
}

TEST(NumberUtil, StringToDoubleCases) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* text;
        double value;
        long end;
    } cases[] = {
        {"  1.5e3", 1500.0, 7},
        {"abc", 0.0, 0},
        {"  abc", 0.0, 0}, // no digits: the end is the text as passed in
        {"", 0.0, 0},
        {"-", -0.0, 0},
        {"+", 0.0, 0},
        {".", 0.0, 0},
        {"-.", -0.0, 0},
        {"  -  ", -0.0, 0},
        {"1.2.3", 1.2, 3},
        {"1e", 1.0, 2},
        {"1e+", 1.0, 3},
        {"1E-", 1.0, 3},
        {"1ex", 1.0, 2},
        {".5", 0.5, 2},
        {"5.", 5.0, 2},
        {"-2.5E-1x", -0.25, 7},
        {"+7", 7.0, 2},
        {"0.1", 0.1, 3},
        {"\t\r\n 3 ", 3.0, 5}, // no white space is skipped after the number
        {"\xA0"
         "1",
         0.0, 0},
        {"1\xA0", 1.0, 1},
        {"100000000000000000000", 1e20, 21}, // 21 digits: 18 used, scaled by 10^3
        {"1e4294967297", 10.0, 12},          // the exponent wraps modulo 2^32
        {"1e-4294967295", 10.0, 13},
        {"1e2147483648", 0.0, 12}, // wraps to -2^31: a vanishing factor
        // Beyond the finite factors: the correctly scaled value.
        {"0e400", 0.0, 5},
        {"-0e400", -0.0, 6},
        {"0.000e999999", 0.0, 12},
        {"1e309", inf, 5},
        {"-1e309", -inf, 6},
        {"1e600", inf, 5},
        {"2.2250738585072014e-308", 2.2250738585072014e-308, 23},
        {"1e-320", 1e-320, 6},
        {"-1e-320", -1e-320, 7},
        {"4.9406564584124654e-324", 4.9406564584124654e-324, 23},
        {"3e-324", 4.9406564584124654e-324, 6},
        {"2e-324", 0.0, 6},
        {"1e-400", 0.0, 6},
        {"-1e-400", -0.0, 7},
        {"123456789e-316", 1.23456789e-308, 14},
        {"0.000001e-303", 1e-309, 13},
        {"123456789012345678901234e-340", 1.23456789012345678e-317, 29},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        char* end = nullptr;
        const double v = stringToDouble(c.text, &end);
        EXPECT_EQ(Bits(v), Bits(c.value)) << v << " against " << c.value;
        EXPECT_EQ(Offset(c.text, end), c.end);
    }
    char* end = reinterpret_cast<char*>(&end);
    EXPECT_EQ(Bits(stringToDouble(nullptr, &end)), Bits(0.0));
    EXPECT_EQ(end, nullptr);
}

// The algorithm's own results, not strtod's: the cut to 18 digits and the
// product of powers decide the last bits. Every result must match the plain
// algorithm bit for bit, and the fingerprint of all of them is the same on
// every build (an x87 build differs in about 80 of these).
TEST(NumberUtil, StringToDoubleMatchesAlgorithmBitForBit) {
    const char* fixed[] = {
        "1.7976931348623157e308",
        "1e308",
        "9.999999999999999e307",
        "1e-308",
        "12345678901234567890",
        "0.30000000000000004",
        "123456789.123456789",
        "999999999999999999",
        "9007199254740993",
        "1e22",
        "1e23",
        "8.98846567431158e307",
        "4.35e-300",
    };
    for (const char* text : fixed) {
        SCOPED_TRACE(text);
        const double v = stringToDouble(text, nullptr);
        bool factorFinite = false;
        EXPECT_EQ(Bits(v), Bits(ReferenceDouble(text, &factorFinite)));
        EXPECT_TRUE(factorFinite);
        EXPECT_TRUE(std::isfinite(v));
    }

    std::uint32_t state = 12345;
    auto next = [&state]() {
        state = state * 1103515245u + 12345u;
        return (state >> 8) & 0xFFFFFFu;
    };
    std::uint64_t fingerprint = 1469598103934665603ull;
    int checked = 0;
    for (int n = 0; n < 4000; ++n) {
        std::string text;
        if (next() % 4 == 0)
            text += '-';
        const unsigned digits = 1 + next() % 24;
        const unsigned point = next() % (digits + 2);
        for (unsigned d = 0; d < digits; ++d) {
            if (d == point)
                text += '.';
            text += static_cast<char>('0' + next() % 10);
        }
        if (next() % 3 != 0) {
            text += next() % 2 ? 'e' : 'E';
            const int exponent = static_cast<int>(next() % 720) - 360;
            text += std::to_string(exponent);
        }
        const double v = stringToDouble(text.c_str(), nullptr);
        bool factorFinite = false;
        const double r = ReferenceDouble(text, &factorFinite);
        if (factorFinite) {
            ASSERT_EQ(Bits(v), Bits(r)) << text;
            ++checked;
        }
        fingerprint = (fingerprint ^ Bits(v)) * 1099511628211ull;
    }
    EXPECT_GT(checked, 3000) << "too few texts within the finite factors";
    EXPECT_EQ(fingerprint, 0xc5c553acea3d2965ull) << std::hex << fingerprint;
}

TEST(NumberUtil, StringToDoubleTwentyDigitsKeepEighteen) {
    // 20 digits: the last two only move the point (scale by 100).
    EXPECT_EQ(Bits(stringToDouble("12345678901234567890", nullptr)),
              Bits(stringToDouble("123456789012345678", nullptr) * 100.0));
    EXPECT_EQ(Bits(stringToDouble("12345678901234567899", nullptr)),
              Bits(stringToDouble("12345678901234567800", nullptr)));
    EXPECT_EQ(Bits(stringToDouble("1.2345678901234567899", nullptr)),
              Bits(stringToDouble("1.23456789012345678", nullptr)));
    // Leading zeros are among the eighteen digits kept.
    EXPECT_EQ(Bits(stringToDouble("0000000005589461468615162042", nullptr)),
              Bits(stringToDouble("558946146", nullptr) * 1e10));
    EXPECT_EQ(Bits(stringToDouble("0.0000000000000000001234", nullptr)), Bits(0.0));
    EXPECT_EQ(Bits(stringToDouble("-0.0000000000000000001234", nullptr)), Bits(-0.0));
}

TEST(NumberUtil, StringToBoolean) {
    struct Case {
        const char* text;
        bool value;
        long end;
    } cases[] = {
        {"TRUE", true, 4},
        {" y", true, 2},
        {"true ", true, 0},
        {"2.0", true, 1},
        {"0.0", false, 1},
        {"007", true, 3},
        {"7", false, 0},
        {"77", true, 2},
        {"", false, 0},
        {"   ", false, 3},
        {"  t", true, 3},
        {"T", true, 1},
        {"Y", true, 1},
        {"1", true, 1},
        {"0", false, 1},
        {"F", false, 1},
        {"f", false, 1},
        {"N", false, 1},
        {"n", false, 1},
        {"x", false, 0},
        {"no", false, 2},
        {"No", false, 2},
        {"yes", true, 3},
        {"YeS", true, 3},
        {"false", false, 5},
        {"FaLsE", false, 5},
        {"maybe", true, 0},
        {"  maybe", true, 2},
        {"00", false, 2},
        {" -1 ", true, 4},
        {"0 ", false, 2},
        {"1.5", true, 0},
        {"tru", true, 0},
        {"yes!", true, 0},
        {"\xA0"
         "1",
         true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        char* end = nullptr;
        EXPECT_EQ(stringToBoolean(c.text, &end), c.value);
        EXPECT_EQ(Offset(c.text, end), c.end);
    }
    char* end = reinterpret_cast<char*>(&end);
    EXPECT_FALSE(stringToBoolean(nullptr, &end));
    EXPECT_EQ(end, nullptr);
}

TEST(NumberUtil, CanCoerceToInteger) {
    struct Case {
        const char* text;
        bool strict;  // leading zeros refused
        bool lenient; // leading zeros permitted
    } cases[] = {
        {" +12 ", true, true},
        {"4.", true, true},
        {"4.00", true, true},
        {"4.01", false, false},
        {".5", false, false},
        {"-", false, false},
        {"1e3", false, false},
        {"007", false, true},
        {"007.0", true, true},
        {"0", true, true},
        {"000", true, true},
        {"-012", false, true},
        {"", false, false},
        {"  ", false, false},
        {"12 3", false, false},
        {"+-1", false, false},
        {"0.5", false, false},
        {"1.0 \t", true, true},
        {"00.1", false, false},
        {"010.00", true, true},
        {"01.", true, true}, // the point forgives the leading zero
        {"\xA0"
         "1",
         false, false},
        {"1\v", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(canCoerceToInteger(c.text, false), c.strict);
        EXPECT_EQ(canCoerceToInteger(c.text, true), c.lenient);
    }
    EXPECT_FALSE(canCoerceToInteger(nullptr, true));
}

TEST(NumberUtil, IsNumeric) {
    struct Case {
        const char* text;
        bool value;
    } cases[] = {
        {"-.5", true},
        {"+.", false},
        {"", false},
        {"x1", false},
        {"12abc", true},
        {"-.5x", true},
        {" \t+3", true},
        {"+-3", false},
        {"..5", false},
        {".5", true},
        {"\xA0"
         "1",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(isnumeric(c.text), c.value);
    }
    EXPECT_FALSE(isnumeric(nullptr));
}

TEST(NumberUtil, Atoh) {
    struct Case {
        const char* hex;
        int length;
        std::string bytes; // expected output before the NUL
    } cases[] = {
        {"0aFf", 4, "\x0A\xFF"},
        {"abc", 3, "\xAB\xC0"},
        {"x", 0, ""},
        {"ab", -5, ""},
        {"zz", 2, "\xFF"},
        {"z5", 2, "\xF5"},
        {"5z", 2, "\xFF"},
        {"z", 1, "\xF0"},
        {"1\0"
         "2",
         3, std::string("\xFF\x20")}, // a NUL inside the length is a non-digit
        {"0001", 4, std::string("\x00\x01", 2)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hex);
        char out[16];
        std::memset(out, 0x55, sizeof out);
        const int n = atoh(const_cast<char*>(c.hex), c.length, out);
        ASSERT_EQ(n, static_cast<int>(c.bytes.size()));
        EXPECT_EQ(std::string(out, n), c.bytes);
        EXPECT_EQ(out[n], '\0');
        EXPECT_EQ(out[n + 1], 0x55); // nothing written past the terminator
    }
    char out[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(atoh(nullptr, 4, out), 0);
    EXPECT_EQ(out[0], '\0');
    EXPECT_EQ(out[1], 'x');
    char hex[] = "ab";
    EXPECT_EQ(atoh(hex, 2, nullptr), 0);
}

TEST(NumberUtil, Int64ToStr) {
    struct Case {
        long long value;
        unsigned size;
        const char* text;
    } cases[] = {
        {-1234, 4, "-12"},
        {-1234, 6, "-1234"},
        {-1234, 5, "-123"},
        {-1234, 64, "-1234"},
        {0, 2, "0"},
        {0, 1, ""},
        {LLONG_MIN, 21, "-9223372036854775808"},
        {LLONG_MIN, 20, "-922337203685477580"},
        {LLONG_MAX, 21, "9223372036854775807"},
        {1, 21, "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        char buffer[80];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(Int64ToStr(c.value, buffer, c.size), buffer);
        EXPECT_STREQ(buffer, c.text);
        EXPECT_EQ(buffer[c.size - 1], '\0'); // the last byte is always a NUL
        EXPECT_EQ(buffer[c.size], 'x');      // nothing beyond the buffer
    }
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(Int64ToStr(5, buffer, 0), buffer);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(Int64ToStr(5, nullptr, 10), nullptr);
}

TEST(NumberUtil, DoubleToString) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        double value;
        unsigned size;
        const char* text;
    } cases[] = {
        {1.5, 32, "1.500000"},
        {-1.5, 32, "-1.500000"},
        {-0.0, 32, "-0.000000"},
        {0.1234565, 32, "0.123456"}, // the double lies just below the half
        {0.0000005, 32, "0.000000"},
        {0.0000015, 32, "0.000002"},
        {1e23, 64, "99999999999999991611392.000000"}, // every digit exact
        {1.5, 4, "1.5"},                              // cut to size - 1
        {123.456, 9, "123.4560"},
        {1.5, 1, ""},
        {inf, 32, "inf"},
        {-inf, 32, "-inf"},
        {nan, 32, "nan"},
        {-nan, 32, "nan"},
        {-inf, 3, "-i"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        char buffer[80];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(doubleToString(c.value, buffer, c.size), buffer);
        EXPECT_STREQ(buffer, c.text);
        EXPECT_EQ(buffer[c.size - 1], '\0');
        EXPECT_EQ(buffer[c.size], 'x');
    }
    char big[400];
    doubleToString(std::numeric_limits<double>::max(), big, sizeof big);
    EXPECT_STREQ(big,
                 "17976931348623157081452742373170435679807056752584499659891747680315726078002853"
                 "87605895586327668781715404589535143824642343213268894641827684675467035375169860"
                 "49910576551282076245490090389328944075868508455133942304583236903222948165808559"
                 "332123348274797826204144723168738177180919299881250404026184124858368.000000");
    char small[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(doubleToString(1.0, small, 0), small);
    EXPECT_EQ(small[0], 'x');
    EXPECT_EQ(doubleToString(1.0, nullptr, 10), nullptr);
}

} // namespace
