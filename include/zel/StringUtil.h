// ZELBase text primitives and character classes (namespace zel::util).
//
// Locale-free, allocation-free functions over NUL-terminated byte strings. Unlike
// the C library they give a defined answer for null pointers:
//   - lengths of a null text are 0;
//   - in every ordering a null text sorts before any non-null text (the empty
//     text included) and two null texts are equal: the result is -1 when only the
//     first is null, 1 when only the second is, 0 when both are;
//   - ordering results are the difference of the two (signed 8-bit) bytes at which
//     the comparison stopped, so bytes 0x80..0xFF sort before ASCII;
//   - case folding is ASCII only: 'A'..'Z' become 'a'..'z', nothing else changes.
// None of them keeps state or throws; all may be called from any thread.
//
// Example:
//   zel::util::strlen(nullptr);               // 0
//   zel::util::strcmp(nullptr, "");            // -1
//   zel::util::strcasecmp("ABC", "abd");       // -1
//   zel::util::strstrNoCase("xxHeLLo", "hello"); // points at "HeLLo"
#pragma once

#include "zel/Export.h"

// MinGW-w64's <string.h> defines strcasecmp and strncasecmp as macros for
// _stricmp and _strnicmp in unoptimised builds. It is included here first so that
// the macros, if any, exist before the declarations below: those are made with
// the macros suspended, and the spellings a host's qualified call turns into
// (zel::util::_stricmp, zel::util::_strnicmp) forward to the exported functions.
#include <string.h>

namespace zel {
namespace util {

// ---- Character classes (whole-int range tests; negative values match nothing) ----

ZEL_API bool isdigit(int c);    // '0'..'9'
ZEL_API bool ishexdigit(int c); // '0'..'9', 'a'..'f', 'A'..'F'
ZEL_API bool islower(int c);    // 'a'..'z'
ZEL_API bool isupper(int c);    // 'A'..'Z'
// Space, CR, LF, tab and 160 (ISO-8859-1 no-break space); not VT or FF.
// A byte 0xA0 held in a signed char arrives as -96 and is not a space.
ZEL_API bool IsSpace(int c);
ZEL_API int tolower(int c); // 'A'..'Z' to lower case, everything else unchanged
ZEL_API int toupper(int c); // 'a'..'z' to upper case, everything else unchanged
// Value of a hexadecimal digit (0..15), or -1 for any other byte.
ZEL_API int hexdigit(char c);
// The same byte as unsigned: no character is changed ((char)-23 gives 233).
ZEL_API unsigned char convertISO_8859_1Char(char c);

// ---- Lengths and copies ----

ZEL_API unsigned int strlen(const char* s);
ZEL_API unsigned int strlen(const unsigned char* s);

// Unbounded copy including the NUL. Null destination: returns null, writes
// nothing. Null source: writes an empty text.
ZEL_API char* strcpy(char* dst, const char* src);
ZEL_API unsigned char* strcpy(unsigned char* dst, const unsigned char* src);

// Bounded copy into `capacity` bytes: at most capacity - 1 bytes and always a
// terminating NUL; a source that does not fit is cut. Null destination: returns
// null. Null source: writes an empty text. A capacity of 0 writes nothing.
//   char b[4]; zel::util::strcpy(b, 4, "abcdef");   // b: "abc"
ZEL_API char* strcpy(char* dst, unsigned int capacity, const char* src);
ZEL_API char* strcpy(unsigned char* dst, unsigned int capacity, const unsigned char* src);

// Copies until a NUL has been copied or `count` bytes have been; no padding and,
// when the source is that long, no terminator. Null destination: returns null.
// Null source writes an empty text. A count of 0 writes nothing.
//   zel::util::strncpy(b, "abc", 2);   // writes 'a', 'b' and no terminator
ZEL_API char* strncpy(char* dst, const char* src, unsigned int count);
ZEL_API unsigned char* strncpy(unsigned char* dst, const unsigned char* src, unsigned int count);

// Appends `src` to the end of `dst` (unbounded). Either null: `dst` unchanged.
ZEL_API char* strcgetAt(char* dst, const char* src);

// ---- Ordering ----
// Results are the difference of the signed (or folded signed) bytes where the
// walk stopped; the null rule applies whatever the bound (a bound of 0 gives 0
// for two non-null texts).
//   zel::util::strcmp("a", "\xE9");       // 120 (97 - (-23))
//   zel::util::strcasecmp("_", "A");      // -2 ('_' 0x5F against folded 'a' 0x61)
//   zel::util::strncmp(nullptr, "x", 0);  // -1

ZEL_API int strcmp(const char* a, const char* b);
ZEL_API int strncmp(const char* a, const char* b, unsigned int n);
#if defined(__MINGW32__) && defined(strcasecmp) && defined(strncasecmp)
#define ZEL_CASE_COMPARE_MACROS 1
#endif
#pragma push_macro("strcasecmp")
#pragma push_macro("strncasecmp")
#undef strcasecmp
#undef strncasecmp
ZEL_API int strcasecmp(const char* a, const char* b);
ZEL_API int strncasecmp(const char* a, const char* b, unsigned int n);
#if defined(ZEL_CASE_COMPARE_MACROS)
inline int _stricmp(const char* a, const char* b) {
    return strcasecmp(a, b);
}
inline int _strnicmp(const char* a, const char* b, unsigned int n) {
    return strncasecmp(a, b, n);
}
#undef ZEL_CASE_COMPARE_MACROS
#endif
#pragma pop_macro("strncasecmp")
#pragma pop_macro("strcasecmp")
ZEL_API bool compare(const char* a, const char* b);                        // strcmp == 0
ZEL_API bool compareNoCase(const char* a, const char* b);                  // strcasecmp == 0
ZEL_API bool nCompare(const char* a, const char* b, unsigned int n);       // strncmp == 0
ZEL_API bool nCompareNoCase(const char* a, const char* b, unsigned int n); // strncasecmp == 0

// ---- Searching ----

// First position of `c` (the terminator for '\0'), or null. `s` must not be null;
// a null `s` gives null.
ZEL_API char* strchr(const char* s, char c);
// First occurrence of `pattern` in `text`: null for a null argument or no match,
// `text` itself for an empty pattern (also for an empty text). The answer is that
// of a byte-at-a-time scan, but the search runs in linear time in the worst case
// (Two-Way matching) with no allocation, and never reads past either terminator.
//   zel::util::strstr("aab", "ab");   // points at the second 'a'
ZEL_API char* strstr(const char* text, const char* pattern);
// The same, comparing ASCII-folded bytes.
ZEL_API char* strstrNoCase(const char* text, const char* pattern);

} // namespace util
} // namespace zel
