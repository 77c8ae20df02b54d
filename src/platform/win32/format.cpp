// Win32 code only: the runtime library's 64-bit integer conversion.
#include "platform/Format.h"

#include <cstdio>

namespace zel {
namespace platform {

int FormatInt64(long long value, char* out, unsigned size) {
    return std::snprintf(out, size, "%I64i", value);
}

} // namespace platform
} // namespace zel
