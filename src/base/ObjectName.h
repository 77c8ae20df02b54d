// File names for named kernel objects where the system has no such namespace.
#pragma once

#include <string>

namespace zel {
namespace base {

// "<prefix><name>" with every byte of `name` other than a letter, a digit, '.',
// '_' and '-' written as '%' and two upper-case hexadecimal digits, so that any
// name gives one file name of its own and never a path. False when the result
// would be longer than `maxLength` bytes.
bool EncodeObjectName(const char* prefix, const char* name, std::size_t maxLength,
                      std::string& out);

// `text` with every control byte, '%' and byte above 0x7E written as '%' and two
// upper-case hexadecimal digits: text another account chose, fit to quote in a
// line of the log (it can neither end the line nor forge the next one). With
// `keepCharacters`, a well-formed UTF-8 character from U+00A0 up stays as it is;
// the C1 controls (U+0080 to U+009F) and every byte outside well-formed UTF-8 are
// still escaped. Either way the result holds no control byte (C0, DEL, C1 in UTF-8
// or raw) and gives `text` back when every "%XX" is read as its byte.
std::string EscapedText(const std::string& text, bool keepCharacters = false);

} // namespace base
} // namespace zel
