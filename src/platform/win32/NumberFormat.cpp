// Win32 code only: the runtime library's 64-bit integer conversion.
#include "platform/NumberFormat.h"

#include <cstdio>

namespace zel {
namespace platform {

int FormatInt64(long long value, char* out, unsigned size) {
    // The runtime's "%I64i"; GCC's format checker reads it as "%i".
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
    return std::snprintf(out, size, "%I64i", value);
#pragma GCC diagnostic pop
}

} // namespace platform
} // namespace zel
