// The vector level of the library's text functions in a benchmark program. The
// library reads no environment; this program does: ZEL_TEST_TEXT_VECTORS=portable,
// sse2, avx2 or avx512 lowers the level through the library's test seam before
// the first benchmark runs.
#pragma once

#include "testing/TestHooks.h"

#include <cstdio>
#include <cstdlib>

namespace zelbench {

inline bool ApplyTextVectorLevel() {
    const char* level = std::getenv("ZEL_TEST_TEXT_VECTORS");
    if (level == nullptr)
        return false;
    const char* used = zel::detail::SetTextVectorLevelForTesting(level);
    std::fprintf(stderr, "text functions at the %s level (ZEL_TEST_TEXT_VECTORS=%s)\n", used,
                 level);
    return true;
}

} // namespace zelbench
