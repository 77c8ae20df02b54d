// A host that includes <string.h> before the library and is built without
// optimisation: MinGW-w64 then defines strcasecmp and strncasecmp as macros, and
// qualified calls of the library's functions must still reach them. This file is
// compiled with -O0 (tests/CMakeLists.txt).
#include <string.h>

#include "zel/StringUtil.h"

#include <gtest/gtest.h>

#if defined(__MINGW32__) && !defined(strcasecmp)
#error "expected MinGW-w64's strcasecmp macro in an unoptimised build"
#endif

TEST(HostSpelling, QualifiedCaseBlindCallsReachTheLibrary) {
    // The library's answers, not the C library's: a null text sorts first, and
    // results are differences of folded signed bytes.
    EXPECT_EQ(zel::util::strcasecmp("ABC", "abd"), -1);
    EXPECT_EQ(zel::util::strcasecmp(nullptr, "a"), -1);
    EXPECT_EQ(zel::util::strcasecmp("_", "A"), -2);
    EXPECT_EQ(zel::util::strncasecmp("abcX", "ABCY", 3), 0);
    EXPECT_EQ(zel::util::strncasecmp("a", nullptr, 0), 1);
    // The C library's own function stays usable beside them.
    EXPECT_EQ(::strcasecmp("ABC", "abc"), 0);
}
