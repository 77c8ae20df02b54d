// ZELBase number parsing and formatting (namespace zel::util).
//
// Hand-written, locale-free readers for integers, 64-bit integers, doubles, truth
// values and hexadecimal byte strings, a test for integer texts, and writers of
// 64-bit integers and doubles into caller buffers.
//
//   - White space for every reader is exactly space, CR, LF and tab (never 0xA0,
//     vertical tab or form feed). Digits are '0'..'9' only.
//   - An end pointer argument may be null; otherwise it receives the position
//     where reading stopped, as each function describes.
//   - Integer accumulation wraps (modulo 2^32 or 2^64): no overflow detection, no
//     clamping, no error report.
//   - Nothing here throws, allocates or keeps state; every function may be called
//     from any thread at once. Results are the same on every platform.
//
// Example:
//   char* end;
//   zel::util::stringToInteger("  -42  x", &end);    // -42, end at 'x'
//   zel::util::stringToInt64("+5", nullptr);         // 5 (stringToInteger gives 0)
//   zel::util::stringToDouble("  1.5e3", &end);      // 1500.0, end after '3'
//   zel::util::stringToBoolean("yes", &end);         // true, end 3 bytes on
//   zel::util::canCoerceToInteger("007", false);     // false (leading zero)
//   char text[21];
//   zel::util::Int64ToStr(-1234, text, sizeof text); // "-1234"
//   zel::util::doubleToString(1.5, text, sizeof text); // "1.500000"
#pragma once

#include "zel/Export.h"

namespace zel {
namespace util {

// Signed decimal 32-bit integer: skips white space, takes one optional '-' (a '+'
// stops reading with the value 0), accumulates digits modulo 2^32, skips white
// space after the digits, then negates if '-' was seen. The end pointer receives
// the position after the trailing white space. A null text gives 0 and a null end.
//
// Example: "  -42  x" gives -42 (end at 'x'); "4294967297" gives 1;
//          "2147483648" gives -2147483648; "+5" gives 0 with the end at '+'.
ZEL_API int stringToInteger(const char* text, char** end);

// The same in 64-bit arithmetic (modulo 2^64), except that one '+' is also
// accepted and skipped.
//
// Example: "+5" gives 5; "-9223372036854775808" gives the smallest value.
ZEL_API long long stringToInt64(const char* text, char** end);

// Decimal floating-point number with an optional exponent. The mantissa is read
// as its first 18 digits, leading zeros included (later digits only scale, so
// "0.0000000000000000001" reads as 0), split into a high
// and a low part of at most nine digits, combined as high * 1e9 + low and scaled
// by a product of the powers 10^1, 10^2, 10^4, ... 10^256 selected by the bits of
// the absolute exponent (clamped to 511). These results are the ones that
// algorithm gives, not always the nearest double (strtod's answer).
// Where the scaling factor itself would overflow (total exponent beyond about
// +-308), the value is the correctly rounded product of the same digits and
// exponent instead: 0 for a zero mantissa, the small or subnormal value where
// it exists, infinity only when the value overflows.
// A text without digits ("", "-", ".", "abc") gives 0.0 (-0.0 after a '-') with
// the end at the text as passed in, before any white space. Otherwise the end
// lies after the exponent digits ("1e" ends after the 'e') or after the
// mantissa. A null text gives 0.0 and a null end.
//
// Example: "  1.5e3" gives 1500.0 (end after '3'); "1.2.3" gives 1.2 (end at the
//          second '.'); "0e400" gives 0.0; "1e-320" gives the subnormal 1e-320.
ZEL_API double stringToDouble(const char* text, char** end);

// Truth value. After leading white space:
//   - nothing left: false, end at that position;
//   - exactly one character: '1' 'T' 't' 'Y' 'y' give true and '0' 'F' 'f' 'N'
//     'n' false, end after it; any other single character gives false with the
//     end before it;
//   - the whole rest equal, ignoring ASCII case, to "true", "false", "yes" or
//     "no" (tested in that order): that value, end after the word;
//   - an integer text (canCoerceToInteger with leading zeros permitted): whether
//     stringToInteger of it is non-zero, with stringToInteger's end;
//   - anything else: true, end before it.
// A null text gives false and a null end.
//
// Example: "TRUE" true; " y" true; "2.0" true (end at '.'); "0.0" false;
//          "7" false; "77" true; "true " true with nothing consumed.
ZEL_API bool stringToBoolean(const char* text, char** end);

// Whether the whole text is an integer: white space, an optional sign, one or
// more digits, optionally a '.' followed only by zeros, white space. Without
// `allowLeadingZeros` a number that starts with '0' and has a non-zero digit is
// refused, unless a point follows its digits. A null text gives false.
//
// Example: " +12 " true; "4." true; "4.01" false; ".5" false; "1e3" false;
//          "007" false without permission, true with it; "007.0" and "01." true.
ZEL_API bool canCoerceToInteger(const char* text, bool allowLeadingZeros);

// Whether the text begins like a number: after white space, one optional sign
// and one optional '.', the next byte is a digit. Nothing further is examined.
// A null text gives false.
//
// Example: "12abc" true; "-.5" true; "+." false; "" false; "x1" false.
ZEL_API bool isnumeric(const char* text);

// Hexadecimal text into bytes: reads exactly `length` characters of `hex` in
// pairs (a NUL among them is a non-digit), writes ceil(length / 2) bytes to
// `out` followed by a NUL, and returns the byte count. A non-digit counts as
// the value -1 (all bits set), so it gives 0xF0 | d in the first position of a
// pair and 0xFF in the second; an odd last character gives its nibble followed
// by 0. `out` needs ceil(length / 2) + 1 bytes. A length <= 0 writes only the
// NUL and returns 0. A null `out` returns 0 and writes nothing; a null `hex`
// is read as the empty text.
//
// Example: atoh("0aFf", 4, out) returns 2: 0x0A 0xFF 0x00;
//          atoh("abc", 3, out) returns 2: 0xAB 0xC0 0x00.
ZEL_API int atoh(char* hex, int length, char* out);

// Writes `value` as signed decimal (optional '-', no '+', no padding) into
// `buffer` of `size` bytes, cut to its first size - 1 characters, and always
// stores a NUL at buffer[size - 1]. Returns the buffer; a null buffer returns
// null, a size of 0 writes nothing. 21 bytes always suffice.
// Windows formats with "%I64i", other platforms with their own 64-bit
// conversion ("%lld"); the text is the same.
//
// Example: -1234 into 4 bytes gives "-12", into 6 bytes "-1234".
ZEL_API const char* Int64ToStr(long long value, char* buffer, unsigned int size);

// Writes `value` with the format "%.6f" (fixed notation, six decimals, '-' for
// negatives) into `buffer` of `size` bytes; a text that does not fit is cut to
// size - 1 characters, and buffer[size - 1] is always NUL. Returns the buffer; a
// null buffer returns null, a size of 0 writes nothing. Infinities are "inf" and
// "-inf" and every NaN is "nan", on every platform.
//
// Example: 1.5 gives "1.500000"; -0.0 gives "-0.000000"; 1.5 into 4 bytes "1.5".
ZEL_API const char* doubleToString(double value, char* buffer, unsigned int size);

} // namespace util
} // namespace zel
