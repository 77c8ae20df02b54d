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

} // namespace base
} // namespace zel
