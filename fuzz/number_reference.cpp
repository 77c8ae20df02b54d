// The number readers and writers against references: the C library's strtoull,
// strtod and snprintf (locale "C", never changed here) where they read or write
// the same form, and a plain model of each reader's documented rule otherwise.
// Input: one byte choosing a buffer size for the writers, then the text (up to
// its first NUL); the first eight text bytes, when there are eight, are also
// taken as the bits of a double and of a 64-bit integer for the writers.
#include "zel/NumberUtil.h"

#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

bool IsBlank(char c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
const char* SkipBlanks(const char* p) {
    while (IsBlank(*p))
        ++p;
    return p;
}

// The integer readers' rule: blanks, '-' (or, for 64 bits, '+'), digits modulo
// 2^64, blanks. Returns the unsigned value before negation; `end` after the blanks.
std::uint64_t ReadInteger(const char* text, bool acceptPlus, bool& negative, const char*& end,
                          std::string& digits) {
    const char* p = SkipBlanks(text);
    negative = *p == '-';
    if (negative || (acceptPlus && *p == '+'))
        ++p;
    std::uint64_t value = 0;
    while (IsDigit(*p)) {
        digits += *p;
        value = value * 10u + static_cast<unsigned>(*p - '0');
        ++p;
    }
    end = SkipBlanks(p);
    return value;
}

void CheckIntegers(const char* t) {
    bool negative = false;
    const char* refEnd = nullptr;
    std::string digits;
    const std::uint64_t v32 = ReadInteger(t, false, negative, refEnd, digits);
    char* end = nullptr;
    const int i = zel::util::stringToInteger(t, &end);
    const std::uint32_t expected32 =
        negative ? 0u - static_cast<std::uint32_t>(v32) : static_cast<std::uint32_t>(v32);
    Check(static_cast<std::uint32_t>(i) == expected32);
    Check(end == refEnd);
    // The digits alone through the C library: the same value modulo 2^32 when it fits.
    if (!digits.empty()) {
        errno = 0;
        const unsigned long long c = std::strtoull(digits.c_str(), nullptr, 10);
        if (errno == 0)
            Check(static_cast<std::uint32_t>(c) == static_cast<std::uint32_t>(v32) && c == v32);
    }

    digits.clear();
    const std::uint64_t v64 = ReadInteger(t, true, negative, refEnd, digits);
    const long long l = zel::util::stringToInt64(t, &end);
    Check(static_cast<std::uint64_t>(l) == (negative ? 0u - v64 : v64));
    Check(end == refEnd);
    // In range, exactly strtoll's answer.
    if (!digits.empty() && digits.size() < 19) {
        const std::string signedText = (negative ? "-" : "") + digits;
        Check(std::strtoll(signedText.c_str(), nullptr, 10) == l);
    }
}

// The double reader's rule: blanks, sign, digits with one point (no digit at
// all leaves the end at the text), then 'e' or 'E', a sign and any digits. Of
// the mantissa only its first 18 digits count, leading zeros included; the
// same digits and scale are written out as a plain text for strtod.
const char* DoubleEnd(const char* text, std::string& plain, bool& hugeExponent) {
    const char* p = SkipBlanks(text);
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    std::string digits;
    long long point = -1;
    for (;; ++p) {
        if (IsDigit(*p))
            digits += *p;
        else if (*p == '.' && point < 0)
            point = static_cast<long long>(digits.size());
        else
            break;
    }
    if (digits.empty())
        return text;
    if (point < 0)
        point = static_cast<long long>(digits.size());
    const std::size_t used = digits.size() < 18 ? digits.size() : 18;
    long long exponent = 0;
    hugeExponent = false;
    if (*p == 'e' || *p == 'E') {
        ++p;
        const bool negativeExponent = *p == '-';
        if (*p == '-' || *p == '+')
            ++p;
        for (; IsDigit(*p); ++p) {
            exponent = exponent * 10 + (*p - '0');
            if (exponent > 100000000)
                hugeExponent = true, exponent = 100000000;
        }
        if (negativeExponent)
            exponent = -exponent;
    }
    plain = (negative ? "-" : "") + digits.substr(0, used) + "e" +
            std::to_string(point - static_cast<long long>(used) + exponent);
    return p;
}

void CheckDouble(const char* t) {
    std::string plain;
    bool hugeExponent = false;
    const char* refEnd = DoubleEnd(t, plain, hugeExponent);
    char* end = nullptr;
    const double d = zel::util::stringToDouble(t, &end);
    Check(end == refEnd);
    if (refEnd == t) {
        Check(d == 0.0);
        return;
    }
    // The same digits and scale through strtod agree to a few units in the last
    // place (the documented algorithm is not always the nearest double), away
    // from overflow and the subnormal range.
    if (hugeExponent)
        return;
    const double c = std::strtod(plain.c_str(), nullptr);
    if (c == 0.0) {
        Check(d == 0.0);
        return;
    }
    if (std::fabs(c) < 1e-290 || std::fabs(c) > 1e290)
        return;
    Check(std::signbit(c) == std::signbit(d));
    Check(std::fabs(d - c) <= std::fabs(c) * 1e-14);
}

void CheckWriters(long long l, double d, unsigned size) {
    std::vector<char> buffer(size, 'x');
    char reference[512];
    zel::util::Int64ToStr(l, buffer.data(), size);
    std::snprintf(reference, sizeof reference, "%lld", l);
    reference[size - 1 < sizeof reference ? size - 1 : sizeof reference - 1] = '\0';
    Check(std::strcmp(buffer.data(), reference) == 0);
    Check(buffer[size - 1] == '\0');

    zel::util::doubleToString(d, buffer.data(), size);
    if (std::isnan(d))
        std::snprintf(reference, sizeof reference, "nan");
    else if (std::isinf(d))
        std::snprintf(reference, sizeof reference, d < 0 ? "-inf" : "inf");
    else
        std::snprintf(reference, sizeof reference, "%.6f", d);
    reference[size - 1 < sizeof reference ? size - 1 : sizeof reference - 1] = '\0';
    Check(std::strcmp(buffer.data(), reference) == 0);
    Check(buffer[size - 1] == '\0');
}

// canCoerceToInteger's rule: blanks, sign, digits (at least one), optionally a
// point and only zeros, blanks, the end; without permission, a leading 0
// before a non-zero digit is refused unless a point follows the digits.
bool CoercesReference(const char* t, bool allowLeadingZeros) {
    const char* p = SkipBlanks(t);
    if (*p == '+' || *p == '-')
        ++p;
    const char* digits = p;
    while (IsDigit(*p))
        ++p;
    if (p == digits)
        return false;
    bool nonZero = false;
    for (const char* q = digits; q < p; ++q)
        nonZero = nonZero || *q != '0';
    if (*p == '.') {
        nonZero = false; // "01.0" passes: the point forgives the leading zero
        for (++p; *p == '0'; ++p) {
        }
    }
    if (*SkipBlanks(p) != '\0')
        return false;
    return allowLeadingZeros || digits[0] != '0' || !nonZero;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const unsigned writerSize = 1u + data[0] % 64u;
    std::vector<char> text(data + 1, data + size);
    text.push_back('\0');
    const char* t = text.data();

    CheckIntegers(t);
    CheckDouble(t);
    Check(zel::util::canCoerceToInteger(t, false) == CoercesReference(t, false));
    Check(zel::util::canCoerceToInteger(t, true) == CoercesReference(t, true));

    CheckWriters(zel::util::stringToInt64(t, nullptr), zel::util::stringToDouble(t, nullptr),
                 writerSize);
    CheckWriters(zel::util::stringToInt64(t, nullptr), zel::util::stringToDouble(t, nullptr), 400);
    if (size >= 9) {
        double d;
        long long l;
        std::memcpy(&d, data + 1, sizeof d);
        std::memcpy(&l, data + 1, sizeof l);
        CheckWriters(l, d, writerSize);
        CheckWriters(l, d, 400);
    }
    return 0;
}
