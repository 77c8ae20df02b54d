#include "FilesTestTree.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <algorithm>
#include <ctime>
#include <pthread.h>
#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using filestest::listing;
using filestest::make;
using filestest::under;
using Names = std::vector<std::string>;

namespace {

// A folder holding a.txt, B.txt and sub (with c.txt and deep/d.txt).
class DirectoryIteratorTest : public ::testing::Test {
protected:
    void SetUp() override {
        make(base(), "a.txt", 10);
        make(base(), "B.txt", 20);
        make(base(), "sub/c.txt", 30);
        make(base(), "sub/deep/d.txt", 40);
    }
    const std::string& base() const { return m_dir.path(); }
    std::string withSep() const { return base() + zel::PATHSEP; }

    zeltest::TempDir m_dir;
};

Names withoutDots(const Names& names) {
    Names out;
    for (const auto& n : names) {
        if (n != "./" && n != "../")
            out.push_back(n);
    }
    return out;
}

} // namespace

TEST_F(DirectoryIteratorTest, OneLevelByNameListsEverythingSorted) {
    zel::DirectoryIterator it(base().c_str(), false, nullptr, true);
    EXPECT_EQ(listing(it), (Names{"./", "../", "a.txt", "B.txt", "sub/"}));
    EXPECT_EQ(it.NumMatches(), 5);
}

TEST_F(DirectoryIteratorTest, OneLevelByTimeIsNewestFirst) {
    filestest::age(under(base(), "a.txt"), 3000);
    filestest::age(under(base(), "B.txt"), 2000);
    zel::DirectoryIterator it(base().c_str(), false, nullptr, false);
    EXPECT_EQ(withoutDots(listing(it)), (Names{"sub/", "B.txt", "a.txt"}));
    it.Reset();
    zel::DirectoryItem item;
    long long previous = 0;
    bool first = true;
    while (it.GetNextItem(item)) {
        if (!first) {
            EXPECT_LE(item.FileTime(), previous) << item.Name();
        }
        previous = item.FileTime();
        first = false;
    }
}

TEST_F(DirectoryIteratorTest, PathFormsGiveTheSameListing) {
    zel::DirectoryIterator reference(base().c_str(), false, nullptr, true);
    const Names expected = listing(reference);
    const std::string forms[] = {withSep(), "  " + base() + " \t\r\n", " " + withSep() + " "};
    for (const auto& form : forms) {
        SCOPED_TRACE("[" + form + "]");
        zel::DirectoryIterator it(form.c_str(), false, nullptr, true);
        EXPECT_EQ(listing(it), expected);
    }
}

TEST_F(DirectoryIteratorTest, NothingToListGivesAnEmptyList) {
    const std::string paths[] = {"", "   \t", under(base(), "*.none"), under(base(), "missing/*"),
                                 under(base(), "missing")};
    for (const auto& path : paths) {
        SCOPED_TRACE("[" + path + "]");
        for (bool recursive : {false, true}) {
            zel::DirectoryIterator it(path.c_str(), recursive, nullptr, true);
            EXPECT_EQ(it.NumMatches(), 0);
            zel::DirectoryItem item("kept", 1, false, false, 2, true);
            EXPECT_FALSE(it.GetNextItem(item));
            EXPECT_STREQ(item.Name(), "kept");
        }
    }
    zel::DirectoryIterator none(nullptr, false, nullptr, true);
    EXPECT_EQ(none.NumMatches(), 0);
    zel::DirectoryIterator noneWalk(nullptr, true, nullptr, true);
    EXPECT_EQ(noneWalk.NumMatches(), 0);
}

TEST_F(DirectoryIteratorTest, WildcardListingGivesBareNamesAndMatchingDirectories) {
    zel::DirectoryIterator it(under(base(), "S*").c_str(), false, nullptr, true);
    EXPECT_EQ(listing(it), (Names{"sub/"}));
    zel::DirectoryIterator files(under(base(), "*.TXT").c_str(), false, nullptr, true);
    EXPECT_EQ(listing(files), (Names{"a.txt", "B.txt"}));
    zel::DirectoryIterator one(under(base(), "a.txt").c_str(), false, nullptr, true);
    EXPECT_EQ(listing(one), (Names{"a.txt"}));
}

TEST_F(DirectoryIteratorTest, ItemsCarrySizeTimeAndReadOnly) {
    fs::permissions(under(base(), "B.txt"),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const long long now = static_cast<long long>(std::time(nullptr));
    zel::DirectoryIterator it(under(base(), "*.txt").c_str(), false, nullptr, true);
    zel::DirectoryItem a, b;
    ASSERT_TRUE(it.GetNextItem(a));
    ASSERT_TRUE(it.GetNextItem(b));
    EXPECT_EQ(a.Size(), 10);
    EXPECT_EQ(b.Size(), 20);
    EXPECT_FALSE(a.IsReadOnly());
    EXPECT_TRUE(b.IsReadOnly());
    // Seconds since 1970 UTC, whatever the time zone.
    EXPECT_LE(std::llabs(a.FileTime() - now), 120) << a.FileTime() << " vs " << now;
}

TEST_F(DirectoryIteratorTest, RecursiveWalkNamesFilesRelativeToRoot) {
    const std::string sep = zel::PATHSEP;
    std::string upperRoot = withSep();
    for (char& c : upperRoot)
        c = static_cast<char>(zel::util::toupper(c));
    for (const std::string& root : {withSep(), upperRoot}) {
        SCOPED_TRACE(root);
        zel::DirectoryIterator it(withSep().c_str(), true, root.c_str(), true);
        zel::DirectoryItem item;
        Names names;
        while (it.GetNextItem(item)) {
            EXPECT_FALSE(item.IsDirectory());
            names.push_back(item.Name());
        }
        EXPECT_EQ(names, (Names{"a.txt", "B.txt", "sub" + sep + "c.txt",
                                "sub" + sep + "deep" + sep + "d.txt"}));
    }
}

TEST_F(DirectoryIteratorTest, RecursiveWalkWithoutRootKeepsTheWholePath) {
    const std::string sep = zel::PATHSEP;
    zel::DirectoryIterator it(withSep().c_str(), true, nullptr, true);
    zel::DirectoryItem item;
    Names names;
    while (it.GetNextItem(item))
        names.push_back(item.Name());
    Names expected{withSep() + sep + "a.txt", withSep() + sep + "B.txt",
                   withSep() + "sub" + sep + "c.txt",
                   withSep() + "sub" + sep + "deep" + sep + "d.txt"};
    std::sort(expected.begin(), expected.end(), [](const std::string& x, const std::string& y) {
        return zel::util::strcasecmp(x.c_str(), y.c_str()) < 0;
    });
    EXPECT_EQ(names, expected);
}

TEST_F(DirectoryIteratorTest, GetNextItemResetAndCopies) {
    zel::DirectoryIterator it(under(base(), "*.txt").c_str(), false, nullptr, true);
    zel::DirectoryItem item;
    ASSERT_TRUE(it.GetNextItem(item));
    EXPECT_STREQ(item.Name(), "a.txt");

    zel::DirectoryIterator copy(it);
    ASSERT_TRUE(copy.GetNextItem(item));
    EXPECT_STREQ(item.Name(), "B.txt");
    EXPECT_FALSE(copy.GetNextItem(item));
    EXPECT_FALSE(copy.GetNextItem(item));
    EXPECT_STREQ(item.Name(), "B.txt");

    // The original kept its own position.
    ASSERT_TRUE(it.GetNextItem(item));
    EXPECT_STREQ(item.Name(), "B.txt");
    EXPECT_FALSE(it.GetNextItem(item));
    it.Reset();
    ASSERT_TRUE(it.GetNextItem(item));
    EXPECT_STREQ(item.Name(), "a.txt");

    zel::DirectoryIterator assigned(nullptr, false, nullptr, true);
    assigned = copy;
    EXPECT_EQ(assigned.NumMatches(), 2);
    EXPECT_FALSE(assigned.GetNextItem(item));
    assigned.Reset();
    assigned = assigned;
    ASSERT_TRUE(assigned.GetNextItem(item));
    EXPECT_STREQ(item.Name(), "a.txt");
}

TEST_F(DirectoryIteratorTest, ManyEntriesComeOutSorted) {
    for (int i = 0; i < 300; ++i)
        make(base(), "many/" + std::string(i % 2 ? "F" : "f") + std::to_string(i * 7919 % 1000));
    zel::DirectoryIterator it(under(base(), "many").c_str(), false, nullptr, true);
    const Names names = withoutDots(listing(it));
    ASSERT_EQ(names.size(), 300u);
    for (std::size_t i = 1; i < names.size(); ++i)
        EXPECT_LT(zel::util::strcasecmp(names[i - 1].c_str(), names[i].c_str()), 0) << i;
}

namespace {

using filestest::Links;

// The files of a walk of `top` (its own root), in order, with '/' separators.
Names walk(const std::string& top) {
    zel::DirectoryIterator it(top.c_str(), true, top.c_str(), true);
    zel::DirectoryItem item;
    Names names;
    while (it.GetNextItem(item))
        names.push_back(filestest::slashed(item.Name()));
    return names;
}

Names repeatedFolders(const zel::DirectorySkips& skips) {
    Names paths;
    for (unsigned long i = 0; i < skips.RepeatedFolders(); ++i)
        paths.push_back(filestest::slashed(skips.RepeatedFolder(i)));
    EXPECT_EQ(skips.RepeatedFolder(skips.RepeatedFolders()), nullptr);
    std::sort(paths.begin(), paths.end());
    return paths;
}

} // namespace

// A link leading back up (to the current directory or an ancestor) is left out
// without a count, so the walk ends. Other links to a folder of the tree are
// routes not taken: its files are listed once, under its own path (also when a
// link's name comes first), and each link is reported once.
TEST_F(DirectoryIteratorTest, LinksBackUpAreLeftOutOtherRoutesListedOnceReportedOnce) {
    Links links;
    links.Make(base(), under(base(), "sub/deep/back"));
    links.Make(under(base(), "sub/deep"), under(base(), "sub/deep/self"));
    links.Make(under(base(), "sub"), under(base(), "zlink"));
    links.Make(under(base(), "sub/deep"), under(base(), "alink"));
    if (!links.Failure().empty())
        GTEST_SKIP() << "no directory links here: " << links.Failure();
    for (bool flat : {false, true}) {
        SCOPED_TRACE(flat ? "GetWildCardFilesFlat" : "DirectoryIterator");
        zel::DirectorySkips skips;
        Names names;
        if (flat) {
            zel::Array<zel::BaseString<char>> files;
            zel::DirectoryIterator::GetWildCardFilesFlat(withSep().c_str(), files, true);
            names = filestest::relativePaths(files, withSep());
            for (auto& name : names)
                name.erase(0, 1); // the "T" of the root
        } else {
            names = walk(withSep());
        }
        EXPECT_EQ(names, (Names{"a.txt", "B.txt", "sub/c.txt", "sub/deep/d.txt"}));
        const std::string top = filestest::slashed(withSep());
        EXPECT_EQ(repeatedFolders(skips), (Names{top + "alink", top + "zlink"}));
        EXPECT_EQ(skips.Entries(), 0u);
        EXPECT_EQ(skips.Directories(), 0u);
    }
}

// Each folder holds a file f, a subfolder d and a link l -> d, 30 levels deep:
// counting routes, the deepest file could be reached 2^29 ways. Each folder is
// entered once, so each file is listed once, under the real path, and the link
// at each level is the one route reported.
TEST_F(DirectoryIteratorTest, TwoRoutesAtEveryLevelListEachFileOnce) {
    const int levels = 30;
    Links links;
    std::string folder = under(base(), "t");
    Names expected;
    Names routes;
    std::string relative;
    for (int i = 0; i < levels; ++i) {
        make(folder, "f");
        make(folder, "d/");
        links.Make(folder + zel::PATHSEP + "d", folder + zel::PATHSEP + "l");
        expected.push_back(relative + "f");
        routes.push_back(relative + "l");
        relative += "d/";
        folder += zel::PATHSEP + std::string("d");
    }
    if (!links.Failure().empty())
        GTEST_SKIP() << "no directory links here: " << links.Failure();
    std::sort(expected.begin(), expected.end(), [](const std::string& x, const std::string& y) {
        return zel::util::strcasecmp(x.c_str(), y.c_str()) < 0;
    });
    const std::string top = under(base(), "t") + zel::PATHSEP;
    for (auto& route : routes)
        route = filestest::slashed(top) + route;
    std::sort(routes.begin(), routes.end());

    zel::DirectorySkips skips;
    EXPECT_EQ(walk(top), expected);
    EXPECT_EQ(repeatedFolders(skips), routes);
    zel::DirectorySkips flatSkips;
    zel::Array<zel::BaseString<char>> files;
    EXPECT_TRUE(zel::DirectoryIterator::GetWildCardFilesFlat(top.c_str(), files, true));
    Names paths = filestest::relativePaths(files, top);
    for (auto& path : paths)
        path.erase(0, 1);
    EXPECT_EQ(paths, expected);
    EXPECT_EQ(repeatedFolders(flatSkips), routes);
    EXPECT_EQ(flatSkips.Entries(), 0u);
}

// Two links to one sibling folder at every level, and no other way in: the first
// link in name order is taken, the second reported, level by level.
TEST_F(DirectoryIteratorTest, SiblingRoutesAreListedOnceReportedOnce) {
    Links links;
    make(base(), "t/l0/");
    std::string level = under(base(), "t/l0");
    for (int i = 1; i <= 4; ++i) {
        const std::string next = under(base(), "t/l" + std::to_string(i));
        make(base(), "t/l" + std::to_string(i) + "/");
        links.Make(next, level + zel::PATHSEP + "a");
        links.Make(next, level + zel::PATHSEP + "b");
        level = next;
    }
    make(base(), "t/l4/end.txt");
    if (!links.Failure().empty())
        GTEST_SKIP() << "no directory links here: " << links.Failure();
    const std::string top = under(base(), "t/l0") + zel::PATHSEP;
    zel::DirectorySkips skips;
    EXPECT_EQ(walk(top), (Names{"a/a/a/a/end.txt"}));
    const std::string t = filestest::slashed(top);
    EXPECT_EQ(repeatedFolders(skips), (Names{t + "a/a/a/b", t + "a/a/b", t + "a/b", t + "b"}));
}

// Walk limits: the depth of the files listed, nested limits, and a shorter route
// through a link reaching what the real path cannot within the depth.
TEST_F(DirectoryIteratorTest, WalkLimitsBoundTheDepth) {
    struct Case {
        long maxDepth;
        Names files;
    };
    const Case cases[] = {
        {-1, {"a.txt", "B.txt", "sub/c.txt", "sub/deep/d.txt"}},
        {-7, {"a.txt", "B.txt", "sub/c.txt", "sub/deep/d.txt"}},
        {0, {}},
        {1, {"a.txt", "B.txt"}},
        {2, {"a.txt", "B.txt", "sub/c.txt"}},
        {3, {"a.txt", "B.txt", "sub/c.txt", "sub/deep/d.txt"}},
        {100, {"a.txt", "B.txt", "sub/c.txt", "sub/deep/d.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.maxDepth);
        zel::DirectoryWalkLimits limits(c.maxDepth);
        EXPECT_EQ(limits.MaxDepth(), c.maxDepth < 0 ? -1 : c.maxDepth);
        EXPECT_FALSE(limits.OneFileSystem());
        EXPECT_EQ(walk(withSep()), c.files);
        zel::Array<zel::BaseString<char>> files;
        EXPECT_EQ(zel::DirectoryIterator::GetWildCardFilesFlat(withSep().c_str(), files, true),
                  !c.files.empty());
        EXPECT_EQ(files.Size(), c.files.size());
        // A one-level listing ignores the limits.
        zel::DirectoryIterator level(base().c_str(), false, nullptr, true);
        EXPECT_EQ(level.NumMatches(), 5);
    }
    {
        zel::DirectoryWalkLimits outer(1);
        {
            zel::DirectoryWalkLimits inner(2);
            EXPECT_EQ(walk(withSep()).size(), 3u);
        }
        EXPECT_EQ(walk(withSep()).size(), 2u);
    }
    EXPECT_EQ(walk(withSep()).size(), 4u);

    Links links;
    if (!links.Make(under(base(), "sub/deep"), under(base(), "near")).empty())
        GTEST_SKIP() << "no directory links here: " << links.Failure();
    zel::DirectoryWalkLimits limits(2);
    zel::DirectorySkips skips;
    EXPECT_EQ(walk(withSep()), (Names{"a.txt", "B.txt", "near/d.txt", "sub/c.txt"}));
    EXPECT_EQ(skips.RepeatedFolders(), 0u);
}

#ifndef _WIN32
// One file system: a link to a folder on another file system (a temporary folder
// in /dev/shm) is not followed. Linux only: under Wine every host folder lies on
// the one drive Z:.
TEST_F(DirectoryIteratorTest, OneFileSystemStaysOnTheStartingDevice) {
    char other[] = "/dev/shm/zel-walk-XXXXXX";
    if (::mkdtemp(other) == nullptr)
        GTEST_SKIP() << "no /dev/shm to make a folder in";
    const std::string elsewhere = other;
    make(elsewhere, "far.txt");
    struct stat here = {}, there = {};
    const bool apart = ::stat(base().c_str(), &here) == 0 && ::stat(other, &there) == 0 &&
                       here.st_dev != there.st_dev;
    Links links;
    links.Make(elsewhere, under(base(), "other"));
    Names all, local;
    {
        zel::DirectoryWalkLimits limits(-1, true);
        EXPECT_TRUE(limits.OneFileSystem());
        local = walk(withSep());
    }
    all = walk(withSep());
    fs::remove_all(elsewhere);
    if (!apart)
        GTEST_SKIP() << "/dev/shm lies on the file system of the temporary folder";
    EXPECT_EQ(local, (Names{"a.txt", "B.txt", "sub/c.txt", "sub/deep/d.txt"}));
    EXPECT_EQ(all, (Names{"a.txt", "B.txt", "other/far.txt", "sub/c.txt", "sub/deep/d.txt"}));
}
#endif

// Trees deeper than paths may be long: every file is found natively. On Windows,
// whose calls take whole paths, the first directory past their limit is skipped
// as unreadable and reported; the walk goes on.
TEST_F(DirectoryIteratorTest, DeepTreesAreWalkedToTheBottom) {
#ifdef _WIN32
    const int levels = 200; // 400 characters and more: past the limit
#else
    const int levels = 5000;
#endif
    const int made = filestest::makeChain(base(), levels, true);
    ASSERT_EQ(made, levels);
    const std::string top = under(base(), "d") + zel::PATHSEP;
    std::vector<std::size_t> depths;
    unsigned long skipped = 0;
    {
        zel::DirectorySkips skips;
        zel::DirectoryIterator it(top.c_str(), true, top.c_str(), true);
        zel::DirectoryItem item;
        while (it.GetNextItem(item)) {
            const std::string name = filestest::slashed(item.Name());
            depths.push_back(name.size() / 2); // "d/" per level below the top, then "f"
        }
        skipped = skips.Directories();
    }
    filestest::removeChain(base());
    std::sort(depths.begin(), depths.end());
    for (std::size_t i = 0; i < depths.size(); ++i)
        ASSERT_EQ(depths[i], i) << "level " << i << " missing";
#ifdef _WIN32
    EXPECT_GT(depths.size(), 50u);
    EXPECT_LT(depths.size(), static_cast<std::size_t>(levels));
    EXPECT_EQ(skipped, 1u);
#else
    EXPECT_EQ(depths.size(), static_cast<std::size_t>(levels));
    EXPECT_EQ(skipped, 0u);
#endif
}

namespace {
struct SmallStackWalk {
    std::string top;
    long found = -1;
    unsigned long skipped = 0;
};

void* WalkOnSmallStack(void* argument) {
    SmallStackWalk& walk = *static_cast<SmallStackWalk*>(argument);
    zel::DirectorySkips skips;
    zel::Array<zel::BaseString<char>> files;
    zel::DirectoryIterator::GetWildCardFilesFlat(walk.top.c_str(), files, true);
    walk.found = static_cast<long>(files.Size());
    walk.skipped = skips.Directories();
    return nullptr;
}
} // namespace

// The walk keeps its directories on a stack of its own: a thread with a 64 KB stack
// walks 10,000 levels.
TEST_F(DirectoryIteratorTest, DeepWalkRunsOnASmallStack) {
#ifdef _WIN32
    const int levels = 200;
#else
    const int levels = 10000;
#endif
    ASSERT_EQ(filestest::makeChain(base(), levels, false), levels);
    SmallStackWalk walk;
    walk.top = withSep();
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, 64 * 1024), 0);
    pthread_t thread;
    const int started = pthread_create(&thread, &attributes, &WalkOnSmallStack, &walk);
    pthread_attr_destroy(&attributes);
    if (started == 0)
        pthread_join(thread, nullptr);
    filestest::removeChain(base());
    ASSERT_EQ(started, 0);
    // The fixture's own four files, and the one at the bottom of the chain.
#ifdef _WIN32
    EXPECT_EQ(walk.found, 4);
    EXPECT_EQ(walk.skipped, 1u);
#else
    EXPECT_EQ(walk.found, 5);
    EXPECT_EQ(walk.skipped, 0u);
#endif
}

// Deeper than the descriptors a walk keeps open, with directories left to walk
// at every level on the way back up: those are opened again and walked.
TEST_F(DirectoryIteratorTest, DirectoriesLeftBehindAreOpenedAgain) {
    std::string chain;
    // 60 levels: past the 48 descriptors, within the Windows path limit.
    for (int i = 0; i < 60; ++i) {
        chain += "n/";
        for (const char* side : {"a", "m", "z"})
            make(base(), "w/" + chain + side + "/f.txt");
    }
    const std::string top = under(base(), "w") + zel::PATHSEP;
    zel::DirectorySkips skips;
    zel::DirectoryIterator it(top.c_str(), true, top.c_str(), true);
    EXPECT_EQ(it.NumMatches(), 180);
    EXPECT_EQ(skips.Entries(), 0u);
}

#ifndef _WIN32
// Linux only: Windows has no dangling links of this kind nor directories a
// process running as root cannot read.
TEST_F(DirectoryIteratorTest, UnreadableEntriesAreSkipped) {
    ASSERT_EQ(::symlink(under(base(), "gone").c_str(), under(base(), "dangling").c_str()), 0);
    zel::DirectoryIterator it(base().c_str(), false, nullptr, true);
    EXPECT_EQ(listing(it), (Names{"./", "../", "a.txt", "B.txt", "sub/"}));

    // A directory this process may not read: the walk goes on without it.
    make(base(), "closed/hidden.txt");
    // And one it may read but not search: its entries' status is refused.
    make(base(), "noexec/x.txt");
    ASSERT_EQ(::chmod(base().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(under(base(), "closed").c_str(), 0), 0);
    ASSERT_EQ(::chmod(under(base(), "noexec").c_str(), 0644), 0);
    const int code = zeltest::runChild("walk_unprivileged", {withSep()});
    ::chmod(under(base(), "closed").c_str(), 0755);
    ::chmod(under(base(), "noexec").c_str(), 0755);
    EXPECT_EQ(code, 0);
}

ZEL_TEST_CHILD(walk_unprivileged) {
    // The walk runs in a process of its own that gives up root, so that this one
    // can still remove its temporary folder afterwards.
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(10);
        zel::DirectorySkips skips;
        zel::DirectoryIterator it(args.at(0).c_str(), true, args.at(0).c_str(), true);
        zel::DirectoryItem item;
        Names names;
        while (it.GetNextItem(item))
            names.push_back(item.Name());
        if (names != Names{"a.txt", "B.txt", "sub/c.txt", "sub/deep/d.txt"})
            ::_exit(11);
        // The folder it could not read, the dangling link and the file whose
        // status was refused, each named with the system's reason.
        const char* closed = skips.Directory(0);
        if (skips.Directories() != 1 || skips.Entries() != 3 || closed == nullptr ||
            std::string(closed) != args.at(0) + "closed")
            ::_exit(13);
        std::vector<std::string> named;
        for (unsigned long i = 0; i < skips.NamedEntries(); ++i)
            named.push_back(std::string(skips.Entry(i)) + " " +
                            std::to_string(skips.EntryError(i)) +
                            (skips.EntryIsLink(i) ? " link" : ""));
        std::sort(named.begin(), named.end());
        if (named != Names{args.at(0) + "dangling " + std::to_string(ENOENT) + " link",
                           args.at(0) + "noexec/x.txt " + std::to_string(EACCES)} ||
            skips.Entry(2) != nullptr)
            ::_exit(15);
        // A one-level listing of it: empty, and counted.
        zel::DirectorySkips one;
        zel::DirectoryIterator level((args.at(0) + "closed").c_str(), false, nullptr, true);
        ::_exit(level.NumMatches() == 0 && one.Directories() == 1 && skips.Directories() == 1 &&
                        std::string(one.Directory(0)) == args.at(0) + "closed"
                    ? 0
                    : 14);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return 12;
    return WEXITSTATUS(status);
}
#endif

TEST_F(DirectoryIteratorTest, TimesBefore1970) {
    const std::string path = under(base(), "a.txt");
    // Back to about 1969-12-21.
    filestest::age(path, static_cast<long long>(std::time(nullptr)) + 11 * 86400);
    zel::DirectoryIterator it(path.c_str(), false, nullptr, true);
    zel::DirectoryItem item;
    ASSERT_TRUE(it.GetNextItem(item));
#ifdef _WIN32
    // _mktime64 cannot represent it.
    EXPECT_EQ(item.FileTime(), -1);
#else
    EXPECT_NEAR(static_cast<double>(item.FileTime()), -11 * 86400.0, 5.0);
#endif
}
