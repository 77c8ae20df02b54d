// printf-style formatting of the exception family's messages (vsnprintf semantics).
#include "exceptions/Format.h"

#include <cstdio>

namespace zel {
namespace detail {

int FormatText(char (&buffer)[kFormatBufferSize], const char* format, va_list arguments) {
    buffer[0] = '\0';
    if (format == nullptr)
        return -1;
    int n = std::vsnprintf(buffer, kFormatBufferSize, format, arguments);
    buffer[kFormatBufferSize - 1] = '\0';
    if (n < 0)
        buffer[0] = '\0';
    return n;
}

} // namespace detail
} // namespace zel
