// ZELBase hashes, primes and tolerant comparison (namespace zel::util).
//
// Small pure functions: a 32-bit string hash (h = h * 31 + byte) with a
// case-blind twin, a primality test and a next-prime search for choosing table
// sizes, and an approximate equality test for float and double values. None
// keeps state or throws; all may be called from any thread at once.
//
// Example:
//   zel::util::stringHashCode("abc");          // 96354
//   zel::util::stringHashCodeNoCase("ABC");    // 96354
//   zel::util::nextPrime(1000);                // 1009
//   zel::util::tolerantEquals(100.0, 100.0009); // true
#pragma once

#include "zel/Export.h"

namespace zel {
namespace util {

// h = h * 31 + b over the bytes b of the text taken as unsigned (0..255), from
// h = 0, modulo 2^32. A null text and the empty text hash to 0.
//
// Example: "abc" gives 96354, "ABC" 64578.
ZEL_API unsigned int stringHashCode(const char* text);

// The same over ASCII-folded bytes ('A'..'Z' as 'a'..'z'; nothing else changes),
// so texts that differ only in ASCII case hash alike.
//
// Example: "ABC" gives 96354, like stringHashCode("abc").
ZEL_API unsigned int stringHashCodeNoCase(const char* text);

// Trial division by odd numbers below floor(sqrt(n)) + 1. 1, 2 and 3 count as
// prime; 0 and other even numbers do not.
//
// Example: 1 true; 9 false; 97 true; 4294967291 true; 4294967295 false.
ZEL_API bool isPrime(unsigned int n);

// The first odd number above n (n + 1 or n + 2) that isPrime accepts, searched
// in steps of 2 modulo 2^32; 2 for n = 1. Past 4294967291, the largest prime
// below 2^32, the search wraps and returns 1.
//
// Example: 0 gives 1; 1 gives 2; 2 gives 3; 7 gives 11; 4294967291 gives 1.
ZEL_API unsigned int nextPrime(unsigned int n);

// Whether b lies within a relative tolerance of a: |a| * 1e-5 >= |a - b|. The
// tolerance follows the first argument only, so the test is not symmetric. In
// the float form a - b is computed in single precision and the comparison in
// double precision. Any NaN gives false.
//
// Example: (100.0, 100.0009) true; (100.0, 100.0011) false; (0.0, 0.0) true;
//          (0.0, 1e-30) false; (100.0, 100.001000005) false but
//          (100.001000005, 100.0) true.
ZEL_API bool tolerantEquals(float a, float b);
ZEL_API bool tolerantEquals(double a, double b);

} // namespace util
} // namespace zel
