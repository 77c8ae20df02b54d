#include "zel/NumberUtil.h"

#include "platform/NumberFormat.h"
#include "zel/StringUtil.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <system_error>

namespace zel {
namespace util {

namespace {

// Parsing white space: space, CR, LF, tab (not 0xA0, VT or FF).
inline bool IsBlank(char c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\t';
}
inline bool IsDigit(char c) {
    return static_cast<unsigned char>(c - '0') < 10;
}
inline unsigned DigitValue(char c) {
    return static_cast<unsigned char>(c - '0');
}

inline const char* SkipBlanks(const char* p) {
    while (IsBlank(*p))
        ++p;
    return p;
}

inline void StoreEnd(char** end, const char* position) {
    if (end != nullptr)
        *end = const_cast<char*>(position);
}

// Decimal digits accumulated modulo 2^N in the unsigned type U (no signed
// overflow anywhere), then the optional negation, also modulo 2^N.
template <typename U> const char* ReadDigits(const char* p, U& value) {
    U v = 0;
    while (IsDigit(*p)) {
        v = v * 10u + DigitValue(*p);
        ++p;
    }
    value = v;
    return p;
}

// Two's-complement reinterpretation without implementation-defined conversion.
inline int ToSigned(std::uint32_t v) {
    return v <= 0x7FFFFFFFu ? static_cast<int>(v) : -static_cast<int>(~v) - 1;
}
inline long long ToSigned(std::uint64_t v) {
    return v <= 0x7FFFFFFFFFFFFFFFull ? static_cast<long long>(v) : -static_cast<long long>(~v) - 1;
}

// 10^(2^i) for the bits of the exponent.
constexpr double kPowersOfTen[9] = {1e1, 1e2, 1e4, 1e8, 1e16, 1e32, 1e64, 1e128, 1e256};

// The products of 10^1 ... 10^32 for the exponents 0 to 63, multiplied in the
// same order as at run time (lowest bit first, from 1.0), so every entry is the
// very double that the loop would give.
struct SmallFactors {
    double value[64];
};
constexpr SmallFactors MakeSmallFactors() {
    SmallFactors t{};
    for (int m = 0; m < 64; ++m) {
        double f = 1.0;
        for (int bit = 0; bit < 6; ++bit) {
            if ((m >> bit) & 1)
                f *= kPowersOfTen[bit];
        }
        t.value[m] = f;
    }
    return t;
}
constexpr SmallFactors kSmallFactors = MakeSmallFactors();

// mantissa * 10^exponent correctly rounded, for the exponents where the product
// of powers above is no longer finite (|exponent| > 308). mantissa > 0.
double ScaleBeyondTable(std::uint64_t mantissa, std::int32_t exponent) {
    if (exponent > 0)
        return std::numeric_limits<double>::infinity(); // mantissa >= 1 times >= 1e309
    if (exponent < -400)
        return 0.0; // below 1e18 * 1e-401: rounds to zero
    char text[48];
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + mantissa % 10);
        mantissa /= 10;
    } while (mantissa != 0);
    int k = 0;
    while (n > 0)
        text[k++] = digits[--n];
    text[k++] = 'e';
    text[k++] = '-';
    unsigned e = static_cast<unsigned>(-exponent);
    n = 0;
    do {
        digits[n++] = static_cast<char>('0' + e % 10);
        e /= 10;
    } while (e != 0);
    while (n > 0)
        text[k++] = digits[--n];
    double value = 0.0;
    std::from_chars_result r = std::from_chars(text, text + k, value);
    if (r.ec == std::errc::result_out_of_range)
        return 0.0; // only underflow is possible here
    return value;
}

// Steps over a leading '-' (and a '+' where one is accepted); true for '-'.
bool ReadSign(const char*& p, bool acceptPlus) {
    if (*p == '-') {
        ++p;
        return true;
    }
    if (acceptPlus && *p == '+')
        ++p;
    return false;
}

} // namespace

int stringToInteger(const char* text, char** end) {
    if (text == nullptr) {
        StoreEnd(end, nullptr);
        return 0;
    }
    const char* p = SkipBlanks(text);
    const bool negative = ReadSign(p, false);
    std::uint32_t value;
    p = SkipBlanks(ReadDigits(p, value));
    if (negative)
        value = 0u - value;
    StoreEnd(end, p);
    return ToSigned(value);
}

long long stringToInt64(const char* text, char** end) {
    if (text == nullptr) {
        StoreEnd(end, nullptr);
        return 0;
    }
    const char* p = SkipBlanks(text);
    const bool negative = ReadSign(p, true);
    std::uint64_t value;
    p = SkipBlanks(ReadDigits(p, value));
    if (negative)
        value = 0u - value;
    StoreEnd(end, p);
    return ToSigned(value);
}

double stringToDouble(const char* text, char** end) {
    if (text == nullptr) {
        StoreEnd(end, nullptr);
        return 0.0;
    }
    const char* p = SkipBlanks(text);
    const bool negative = ReadSign(p, true);

    // Mantissa: digits and at most one point, read in one pass; the first 18
    // digits are kept as one integer.
    std::uint64_t kept = 0;
    std::size_t used = 0;
    auto readDigits = [&p, &kept, &used]() {
        const char* const from = p;
        for (; IsDigit(*p); ++p) {
            if (used < 18) {
                kept = kept * 10u + DigitValue(*p);
                ++used;
            }
        }
        return static_cast<std::size_t>(p - from);
    };
    const std::size_t pointPosition = readDigits(); // digits before the point
    std::size_t digitCount = pointPosition;
    if (*p == '.') {
        ++p;
        digitCount += readDigits();
    }
    if (digitCount == 0) {
        StoreEnd(end, text);
        return negative ? -0.0 : 0.0;
    }
    // Exponent arithmetic wraps modulo 2^32, as a 32-bit int would.
    const std::uint32_t fractionExponent =
        static_cast<std::uint32_t>(pointPosition) - static_cast<std::uint32_t>(used);

    // High part: all but the last nine used digits; low part: the last nine.
    const std::uint32_t high = static_cast<std::uint32_t>(kept / 1000000000u);
    const std::uint32_t low = static_cast<std::uint32_t>(kept % 1000000000u);
    const double fraction = static_cast<double>(high) * 1e9 + static_cast<double>(low);

    std::uint32_t total = fractionExponent;
    if (*p == 'E' || *p == 'e') {
        ++p;
        bool negativeExponent = false;
        if (*p == '-') {
            negativeExponent = true;
            ++p;
        } else if (*p == '+') {
            ++p;
        }
        std::uint32_t exponent;
        p = ReadDigits(p, exponent);
        total = negativeExponent ? fractionExponent - exponent : fractionExponent + exponent;
    }
    StoreEnd(end, p);

    const std::int32_t signedTotal = ToSigned(total);
    std::uint32_t magnitude = signedTotal < 0 ? 0u - total : total;
    if (magnitude > 511)
        magnitude = 511;
    // Bits 0 to 5 from the table, the higher ones multiplied on in order.
    double factor = kSmallFactors.value[magnitude & 63];
    for (int bit = 6; bit < 9; ++bit) {
        if ((magnitude >> bit) & 1u)
            factor *= kPowersOfTen[bit];
    }

    double result;
    if (factor <= std::numeric_limits<double>::max()) {
        result = signedTotal < 0 ? fraction / factor : fraction * factor;
    } else if (fraction == 0.0) {
        result = 0.0; // the plain product would be 0 * inf
    } else {
        // The factor overflowed: scale the exact mantissa by the exponent instead
        // of dividing by infinity (0) or multiplying by it.
        result = ScaleBeyondTable(kept, signedTotal);
    }
    return negative ? -result : result;
}

bool canCoerceToInteger(const char* text, bool allowLeadingZeros) {
    if (text == nullptr)
        return false;
    const char* p = SkipBlanks(text);
    if (*p == '+' || *p == '-')
        ++p;
    const char first = *p;
    bool sawDigit = false;
    bool sawNonZero = false;
    while (IsDigit(*p)) {
        sawDigit = true;
        if (*p != '0')
            sawNonZero = true;
        ++p;
    }
    if (*p == '.') {
        ++p;
        sawNonZero = false;
        while (*p == '0')
            ++p;
    }
    if (first == '0' && sawNonZero && !allowLeadingZeros)
        return false;
    p = SkipBlanks(p);
    return sawDigit && *p == '\0';
}

bool stringToBoolean(const char* text, char** end) {
    if (text == nullptr) {
        StoreEnd(end, nullptr);
        return false;
    }
    const char* start = SkipBlanks(text);
    if (*start == '\0') {
        StoreEnd(end, start);
        return false;
    }
    if (start[1] == '\0') {
        switch (start[0]) {
        case '1':
        case 'T':
        case 't':
        case 'Y':
        case 'y':
            StoreEnd(end, start + 1);
            return true;
        case '0':
        case 'F':
        case 'f':
        case 'N':
        case 'n':
            StoreEnd(end, start + 1);
            return false;
        default:
            StoreEnd(end, start);
            return false;
        }
    }
    static const struct {
        const char* word;
        unsigned length;
        bool value;
    } kWords[] = {{"true", 4, true}, {"false", 5, false}, {"yes", 3, true}, {"no", 2, false}};
    for (const auto& w : kWords) {
        if (compareNoCase(start, w.word)) {
            StoreEnd(end, start + w.length);
            return w.value;
        }
    }
    if (canCoerceToInteger(start, true))
        return stringToInteger(start, end) != 0;
    StoreEnd(end, start);
    return true;
}

bool isnumeric(const char* text) {
    if (text == nullptr)
        return false;
    const char* p = SkipBlanks(text);
    if (*p == '+' || *p == '-')
        ++p;
    if (*p == '.')
        ++p;
    return IsDigit(*p);
}

int atoh(char* hex, int length, char* out) {
    if (out == nullptr)
        return 0;
    if (length <= 0 || hex == nullptr) {
        out[0] = '\0';
        return 0;
    }
    int count = 0;
    for (int i = 0; i < length; i += 2) {
        // A non-digit is -1: all bits set in either nibble position.
        unsigned byte = static_cast<unsigned>(hexdigit(hex[i])) << 4;
        if (i + 1 < length)
            byte |= static_cast<unsigned>(hexdigit(hex[i + 1]));
        out[count++] = static_cast<char>(byte & 0xFFu);
        if (length - i <= 2)
            break; // i += 2 would pass INT_MAX for the largest lengths
    }
    out[count] = '\0';
    return count;
}

const char* Int64ToStr(long long value, char* buffer, unsigned int size) {
    if (buffer == nullptr)
        return nullptr;
    if (size == 0)
        return buffer;
    char text[32];
    platform::FormatInt64(value, text, sizeof text);
    strcpy(buffer, size, text);
    buffer[size - 1] = '\0';
    return buffer;
}

const char* doubleToString(double value, char* buffer, unsigned int size) {
    if (buffer == nullptr)
        return nullptr;
    if (size == 0)
        return buffer;
    // Runtime libraries disagree on NaN (sign, "-nan(ind)"); spell the
    // non-finite values the same everywhere.
    if (std::isnan(value))
        strcpy(buffer, size, "nan");
    else if (std::isinf(value))
        strcpy(buffer, size, value < 0 ? "-inf" : "inf");
    else
        (void)std::snprintf(buffer, size, "%.6f", value); // cut to size, terminated below
    buffer[size - 1] = '\0';
    return buffer;
}

} // namespace util
} // namespace zel
