#include "TestSupport.h"

#include "testing/TestHooks.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Every test program (and each child it starts) keeps the default error log
    // inside a temporary folder of its own, never in the machine's data folder.
    zeltest::TempDir dataFolder;
    zel::detail::SetMachineDataFolderForTesting(dataFolder.path().c_str());

    bool handled = false;
    int rc = zeltest::runChildMain(argc, argv, handled);
    if (handled)
        return rc;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
