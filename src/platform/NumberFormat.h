// The runtime library's formatting of 64-bit integers.
#pragma once

namespace zel {
namespace platform {

// Writes `value` as signed decimal (optional '-', no padding) with the runtime
// library's 64-bit conversion into `out` of `size` bytes (at least 21 for the
// whole text); bounded and always terminated. Returns the length of the whole text.
int FormatInt64(long long value, char* out, unsigned size);

} // namespace platform
} // namespace zel
