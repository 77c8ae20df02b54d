// DirectoryWalk: the flat name-sorted list, read a folder at a time.
#include "FilesTestTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

using filestest::make;
using filestest::under;
using Names = std::vector<std::string>;

namespace {

// What a listing gave, and what the thread's DirectorySkips counted meanwhile.
struct WalkResult {
    Names paths;
    unsigned long entries = 0;
    Names repeated;
};

std::string relativeToBase(const std::string& path, const std::string& base) {
    std::string p = path;
    if (p.compare(0, base.size(), base) == 0)
        p = "T" + p.substr(base.size());
    return filestest::slashed(p);
}

WalkResult walkedFrom(const std::string& start, const std::string& base) {
    WalkResult r;
    zel::DirectorySkips skips;
    zel::DirectoryWalk walk(start.c_str());
    zel::BaseString<char> path;
    while (walk.Next(path))
        r.paths.push_back(relativeToBase(static_cast<const char*>(path), base));
    r.entries = skips.Entries();
    for (unsigned long i = 0; i < skips.RepeatedFolders(); ++i)
        r.repeated.push_back(relativeToBase(skips.RepeatedFolder(i), base));
    return r;
}

WalkResult flatFrom(const std::string& start, const std::string& base) {
    WalkResult r;
    zel::DirectorySkips skips;
    zel::Array<zel::BaseString<char>> files;
    zel::DirectoryIterator::GetWildCardFilesFlat(zel::BaseString<char>(start.c_str()), files, true);
    for (unsigned i = 0; i < files.Size(); ++i)
        r.paths.push_back(relativeToBase(static_cast<const char*>(files[i]), base));
    r.entries = skips.Entries();
    for (unsigned long i = 0; i < skips.RepeatedFolders(); ++i)
        r.repeated.push_back(relativeToBase(skips.RepeatedFolder(i), base));
    return r;
}

// Names whose paths interleave with the folders' own: '-' and '.' sort before
// the separator, '0', '_' and '~' after it, and case is ignored.
const char* const kWalkTree[] = {
    "a.txt",     "a/x.txt",        "a/b/c/d.txt", "a/b.txt",   "a-b/y.txt", "a0",
    "A_1/z.txt", "B/c.txt",        "b.txt",       "b0/q",      "_u/v",      "~z",
    "empty/",    "deep/1/2/3/4/f", "Mixed/Q.TXT", "mixed.txt",
};

class DirectoryWalkTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* entry : kWalkTree)
            make(base(), entry);
    }
    const std::string& base() const { return m_dir.path(); }
    std::string top() const { return base() + zel::PATHSEP; }

    zeltest::TempDir m_dir;
};

} // namespace

// Path for path the flat list, from folders, patterns, files, missing paths and
// under depth limits, with what was skipped counted alike.
TEST_F(DirectoryWalkTest, GivesTheFlatListInItsOrder) {
#ifndef _WIN32
    ASSERT_EQ(::symlink(under(base(), "gone").c_str(), under(base(), "a/dangling").c_str()), 0);
    make(base(), "bytes\xff\xfe/\x80.txt");
#endif
    const std::string starts[] = {
        top(),
        under(base(), "a") + zel::PATHSEP,
        under(base(), "*.txt"),
        under(base(), "a.txt"),
        under(base(), "missing") + zel::PATHSEP,
    };
    for (long depth : {-1L, 0L, 1L, 2L, 4L}) {
        zel::DirectoryWalkLimits limits(depth);
        for (const std::string& start : starts) {
            SCOPED_TRACE("start [" + start + "], depth " + std::to_string(depth));
            const WalkResult expected = flatFrom(start, base());
            const WalkResult got = walkedFrom(start, base());
            EXPECT_EQ(got.paths, expected.paths);
            EXPECT_EQ(got.entries, expected.entries);
            EXPECT_EQ(got.repeated, expected.repeated);
        }
        // A folder written without its separator, or with white space around it,
        // gives the same paths.
        EXPECT_EQ(walkedFrom(base(), base()).paths, walkedFrom(top(), base()).paths);
        EXPECT_EQ(walkedFrom(" " + top() + "  ", base()).paths, walkedFrom(top(), base()).paths);
    }
    // The order itself, once, for the whole tree: the separator's place among
    // the other bytes decides where a folder's files come.
#ifdef _WIN32
    const Names expected = {"T/_u/v",    "T/a-b/y.txt",   "T/a.txt",   "T/a0",
                            "T/a/b.txt", "T/a/b/c/d.txt", "T/a/x.txt", "T/A_1/z.txt",
                            "T/b.txt",   "T/b0/q",        "T/B/c.txt"};
#else
    const Names expected = {"T/_u/v",        "T/a-b/y.txt", "T/a.txt", "T/a/b.txt",
                            "T/a/b/c/d.txt", "T/a/x.txt",   "T/a0",    "T/A_1/z.txt",
                            "T/b.txt",       "T/B/c.txt",   "T/b0/q"};
#endif
    const Names got = walkedFrom(top(), base()).paths;
    ASSERT_GE(got.size(), expected.size());
    EXPECT_EQ(Names(got.begin(), got.begin() + static_cast<long>(expected.size())), expected);
}

// Each folder is read when the walk comes to it: a file made after the first
// path came is listed when its folder comes later in the order, and not when
// its folder was read already.
TEST_F(DirectoryWalkTest, ReadsEachFolderWhenItComesToIt) {
    zel::DirectoryWalk walk(top().c_str());
    zel::BaseString<char> path;
    ASSERT_TRUE(walk.Next(path));
    EXPECT_EQ(relativeToBase(static_cast<const char*>(path), base()), "T/_u/v");
    make(base(), "deep/1/late.txt");
    make(base(), "_u/late.txt");
    Names rest;
    while (walk.Next(path))
        rest.push_back(relativeToBase(static_cast<const char*>(path), base()));
    EXPECT_NE(std::find(rest.begin(), rest.end(), "T/deep/1/late.txt"), rest.end());
    EXPECT_EQ(std::find(rest.begin(), rest.end(), "T/_u/late.txt"), rest.end());
    EXPECT_FALSE(walk.Next(path)); // stays at its end
}

// Links to folders: one into the tree is a route not taken (the folder is listed
// under its own path), as in the flat list; one to a folder outside is walked
// where it comes in the order; one back up is left out without a count.
TEST_F(DirectoryWalkTest, LinksToFoldersAsTheFlatListTakesThem) {
    zeltest::TempDir outside;
    make(outside.path(), "o.txt");
    make(outside.path(), "inner/p.txt");
    filestest::Links links;
    links.Make(under(base(), "deep/1"), under(base(), "a/route"));
    links.Make(outside.path(), under(base(), "c-out"));
    links.Make(under(base(), "a"), under(base(), "a/b/up"));
    if (!links.Failure().empty())
        GTEST_SKIP() << "no links to folders here: " << links.Failure();
    const WalkResult got = walkedFrom(top(), base());
    const WalkResult expected = flatFrom(top(), base());
    EXPECT_EQ(got.paths, expected.paths);
    EXPECT_EQ(got.repeated, expected.repeated);
    EXPECT_EQ(got.repeated, Names{"T/a/route"});
    const Names around = {"T/c-out/inner/p.txt", "T/c-out/o.txt", "T/deep/1/2/3/4/f"};
    const auto at = std::find(got.paths.begin(), got.paths.end(), around[0]);
    ASSERT_NE(at, got.paths.end());
    EXPECT_EQ(Names(at, at + static_cast<long>(around.size())), around);
}

// A tree deeper than paths may be long: the walk holds a folder for each level
// and reaches the bottom natively; on Windows, whose calls take whole paths, it
// skips the first folder past their limit, as the flat list does.
TEST_F(DirectoryWalkTest, DeepTreesAsTheFlatList) {
#ifdef _WIN32
    const int levels = 200;
#else
    const int levels = 3000;
#endif
    zeltest::TempDir deep;
    ASSERT_EQ(filestest::makeChain(deep.path(), levels, true), levels);
    const std::string top = under(deep.path(), "d") + zel::PATHSEP;
    const WalkResult got = walkedFrom(top, deep.path());
    const WalkResult expected = flatFrom(top, deep.path());
    filestest::removeChain(deep.path());
    EXPECT_EQ(got.paths, expected.paths);
    EXPECT_EQ(got.entries, expected.entries);
#ifndef _WIN32
    ASSERT_EQ(got.paths.size(), static_cast<std::size_t>(levels));
    // "d/" sorts before "f": the deepest file first.
    EXPECT_EQ(got.paths.back(), "T/d/f");
#endif
}

// Nothing to walk gives no path, and the end stays the end.
TEST(DirectoryWalk, NothingToWalkGivesNoPath) {
    for (const char* start : {static_cast<const char*>(nullptr), "", "   "}) {
        zel::DirectoryWalk walk(start);
        zel::BaseString<char> path("kept");
        EXPECT_FALSE(walk.Next(path));
        EXPECT_FALSE(walk.Next(path));
        EXPECT_STREQ(static_cast<const char*>(path), "kept");
    }
}
