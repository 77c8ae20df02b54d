// The exported path separator: paths joined with it are paths the system opens and
// the library's own directory functions take apart and build again.
#include "zel/PathSeparator.h"

#include "zel/Directory.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

TEST(PathSeparator, IsOneCharacterInBothForms) {
    EXPECT_EQ(std::strlen(zel::PATHSEP), 1u);
    EXPECT_EQ(zel::PATHSEP[0], zel::PATHSEPCHAR);
}

TEST(PathSeparator, JoinsPathsThatTheSystemOpensAndTheLibrarySplits) {
    zeltest::TempDir dir;
    const std::string inner = dir.path() + zel::PATHSEP + "inner";
    ASSERT_TRUE(std::filesystem::create_directory(inner));
    const std::string text = inner + zel::PATHSEP + "a.txt";
    const std::string data = inner + zel::PATHSEP + "b.dat";
    zeltest::writeFile(text, "a");
    zeltest::writeFile(data, "b");
    ASSERT_EQ(zeltest::readFile(text), "a");

    // The directory part ends at the last separator; the paths come back joined with it.
    zel::Array<zel::BaseString<char>> files;
    ASSERT_TRUE(zel::DirectoryIterator::GetWildCardFiles((inner + zel::PATHSEP + "*.txt").c_str(),
                                                         files, true));
    ASSERT_EQ(files.Size(), 1u);
    EXPECT_EQ(std::string(files[0]), text);

    // A walk from the top names the file under the folder, separated the same way.
    ASSERT_TRUE(zel::DirectoryIterator::GetWildCardFilesFlat((dir.path() + zel::PATHSEP).c_str(),
                                                             files, true));
    ASSERT_EQ(files.Size(), 2u);
    EXPECT_EQ(std::string(files[0]), text);
    EXPECT_EQ(std::string(files[1]), data);
}
