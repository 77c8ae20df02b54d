// printf-style formatting into the fixed message buffer of the exception family.
#pragma once

#include <cstdarg>

namespace zel {
namespace detail {

// 8,000 bytes: at most 7,999 characters and the terminator.
constexpr unsigned kFormatBufferSize = 8000;

// vsnprintf into `buffer` (kFormatBufferSize bytes, always terminated). Returns
// the length of the complete text, or -1 for a null format or a formatting error.
int FormatText(char (&buffer)[kFormatBufferSize], const char* format, va_list arguments);

} // namespace detail
} // namespace zel
