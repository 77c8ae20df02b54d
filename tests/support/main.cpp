#include "TestSupport.h"

#include "testing/TestHooks.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    // Every test program (and each child it starts) keeps the default error log
    // inside a temporary folder of its own, never in the machine's data folder.
    zeltest::TempDir dataFolder;
    zel::detail::SetMachineDataFolderForTesting(dataFolder.path().c_str());
#ifdef ZEL_TEST_TEXT_VECTORS
    // This build runs its tests at a lower vector level (the ThreadSanitizer build:
    // the portable one, see ZEL_TEST_TEXT_VECTORS in tests/CMakeLists.txt).
    const char* level = zel::detail::SetTextVectorLevelForTesting(ZEL_TEST_TEXT_VECTORS);
    if (std::strcmp(level, ZEL_TEST_TEXT_VECTORS) != 0) {
        std::fprintf(stderr, "this build asks for the vector level %s; this machine runs %s\n",
                     ZEL_TEST_TEXT_VECTORS, level);
        return 2;
    }
#endif

    bool handled = false;
    int rc = zeltest::runChildMain(argc, argv, handled);
    if (handled)
        return rc;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
