// The exported path separator constants.
#include "zel/PathSeparator.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(PathSeparator, MatchesThePlatform) {
    EXPECT_EQ(std::string(1, zel::PATHSEPCHAR), zeltest::nativeSeparator());
    EXPECT_EQ(std::strlen(zel::PATHSEP), 1u);
    EXPECT_EQ(zel::PATHSEP[0], zel::PATHSEPCHAR);
#ifdef _WIN32
    EXPECT_EQ(zel::PATHSEPCHAR, '\\');
#else
    EXPECT_EQ(zel::PATHSEPCHAR, '/');
#endif
}
