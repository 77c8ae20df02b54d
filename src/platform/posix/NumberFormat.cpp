// Generic POSIX code only: the C library's 64-bit integer conversion.
#include "platform/NumberFormat.h"

#include <cstdio>

namespace zel {
namespace platform {

// glibc has no "%I64i"; "%lld" gives the same text.
int FormatInt64(long long value, char* out, unsigned size) {
    return std::snprintf(out, size, "%lld", value);
}

} // namespace platform
} // namespace zel
