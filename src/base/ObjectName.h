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
// line of the log (it can neither end the line nor forge the next one).
std::string EscapedText(const std::string& text);

} // namespace base
} // namespace zel
