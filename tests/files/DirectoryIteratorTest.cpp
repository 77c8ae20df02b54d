#include "FilesTestTree.h"

#include <gtest/gtest.h>

#include <ctime>
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

// Links leading back into the tree, or to a part already walked, are not followed
// again, so the walk ends and lists every file once.
TEST_F(DirectoryIteratorTest, LinksBackIntoTheTreeAreNotFollowedAgain) {
    std::error_code ec;
    fs::create_directory_symlink(base(), under(base(), "sub/deep/back"), ec);
    if (!ec)
        fs::create_directory_symlink(under(base(), "sub"), under(base(), "zlink"), ec);
#ifdef _WIN32
    // Creating links needs a privilege Windows (and Wine) may refuse; without
    // them the walk is the plain tree.
    const bool linked = !ec;
#else
    ASSERT_FALSE(ec) << ec.message();
    const bool linked = true;
#endif
    RecordProperty("linked", linked ? "yes" : "no");
    zel::DirectoryIterator it(withSep().c_str(), true, withSep().c_str(), true);
    zel::DirectoryItem item;
    Names names;
    while (it.GetNextItem(item))
        names.push_back(filestest::slashed(item.Name()));
    // Each file once; which of two routes names the files of sub depends on the
    // order the platform reports the entries in.
    ASSERT_EQ(names.size(), 4u) << ::testing::PrintToString(names);
    EXPECT_EQ(names[0], "a.txt");
    EXPECT_EQ(names[1], "B.txt");
    if (linked) {
        EXPECT_TRUE(names[2] == "sub/c.txt" || names[2] == "zlink/c.txt") << names[2];
    } else {
        EXPECT_EQ(names[2], "sub/c.txt");
    }
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
    ASSERT_EQ(::chmod(base().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(under(base(), "closed").c_str(), 0), 0);
    const int code = zeltest::runChild("walk_unprivileged", {withSep()});
    ::chmod(under(base(), "closed").c_str(), 0755);
    EXPECT_EQ(code, 0);
}

ZEL_TEST_CHILD(walk_unprivileged) {
    // The walk runs in a process of its own that gives up root, so that this one
    // can still remove its temporary folder afterwards.
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(10);
        zel::DirectoryIterator it(args.at(0).c_str(), true, args.at(0).c_str(), true);
        zel::DirectoryItem item;
        Names names;
        while (it.GetNextItem(item))
            names.push_back(item.Name());
        ::_exit(names == Names{"a.txt", "B.txt", "sub/c.txt", "sub/deep/d.txt"} ? 0 : 11);
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
