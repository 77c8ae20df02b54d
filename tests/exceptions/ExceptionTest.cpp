#include "zel/Exception.h"

#include <gtest/gtest.h>

TEST(ExceptionSmoke, PushesAndQueries) {
    zel::Exception e("open %s failed", "a.txt");
    EXPECT_EQ(e.getMessageTotal(), 1u);
    EXPECT_STREQ(e.getAt(), "open a.txt failed");
}
