#include "FilesTestTree.h"
#include "testing/TestHooks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using filestest::make;
using filestest::relativePaths;
using filestest::under;
using Names = std::vector<std::string>;

namespace {

// a.txt, b.txt and sub (with c.txt and e.log).
class WildCardFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        make(base(), "b.txt");
        make(base(), "a.txt");
        make(base(), "sub/c.txt");
        make(base(), "sub/e.log");
    }
    const std::string& base() const { return m_dir.path(); }
    std::string withSep() const { return base() + zel::PATHSEP; }
    Names run(bool flat, const std::string& query, bool byName = true, bool* result = nullptr) {
        zel::BaseString<char> s(query.c_str());
        const bool stored = flat ? zel::DirectoryIterator::GetWildCardFilesFlat(s, m_files, byName)
                                 : zel::DirectoryIterator::GetWildCardFiles(s, m_files, byName);
        if (result != nullptr)
            *result = stored;
        EXPECT_EQ(stored, m_files.Size() != 0);
        return relativePaths(m_files, base());
    }

    zeltest::TempDir m_dir;
    zel::Array<zel::BaseString<char>> m_files;
};

// Makes the library's container allocations fail (null) or throw a foreign
// object after `allowed` more allocations, for the lifetime of the object.
class FailingLibraryAllocator {
public:
    FailingLibraryAllocator(int allowed, bool throwForeign) {
        s_left = allowed;
        s_throwForeign = throwForeign;
        m_previous = zel::detail::SetLibraryAllocatorForTesting(&Allocate);
    }
    ~FailingLibraryAllocator() { zel::detail::SetLibraryAllocatorForTesting(m_previous); }

private:
    static void* Allocate(std::size_t bytes) {
        if (s_left-- > 0)
            return std::malloc(bytes);
        if (s_throwForeign)
            throw 42;
        return nullptr;
    }
    static int s_left;
    static bool s_throwForeign;
    zel::memory::AllocateFunction m_previous;
};
int FailingLibraryAllocator::s_left = 0;
bool FailingLibraryAllocator::s_throwForeign = false;

} // namespace

TEST_F(WildCardFilesTest, PatternListsFullPathsOfMatchingFiles) {
    bool stored = false;
    EXPECT_EQ(run(false, under(base(), "*.txt"), true, &stored), (Names{"T/a.txt", "T/b.txt"}));
    EXPECT_TRUE(stored);
    EXPECT_EQ(run(false, withSep()), (Names{"T/a.txt", "T/b.txt"}));
    EXPECT_EQ(run(true, withSep()), (Names{"T/a.txt", "T/b.txt", "T/sub/c.txt", "T/sub/e.log"}));
}

TEST_F(WildCardFilesTest, ByTimeIsNewestFirst) {
    filestest::age(under(base(), "a.txt"), 100);
    filestest::age(under(base(), "b.txt"), 200);
    filestest::age(under(base(), "sub/e.log"), 300);
    filestest::age(under(base(), "sub/c.txt"), 50);
    EXPECT_EQ(run(false, under(base(), "*.txt"), false), (Names{"T/a.txt", "T/b.txt"}));
    EXPECT_EQ(run(true, withSep(), false),
              (Names{"T/sub/c.txt", "T/a.txt", "T/b.txt", "T/sub/e.log"}));
}

TEST_F(WildCardFilesTest, OldContentIsReplacedAndEmptyResultsAreFalse) {
    for (int i = 0; i < 10; ++i)
        m_files.Add(zel::BaseString<char>("old"));
    EXPECT_EQ(run(false, under(base(), "a*")), (Names{"T/a.txt"}));

    for (int i = 0; i < 10; ++i)
        m_files.Add(zel::BaseString<char>("old"));
    bool stored = true;
    // Only a directory matches: the iterator found something, the list is empty.
    EXPECT_EQ(run(false, under(base(), "s*"), true, &stored), Names{});
    EXPECT_FALSE(stored);
    EXPECT_EQ(run(false, under(base(), "missing/*.txt"), true, &stored), Names{});
    EXPECT_FALSE(stored);
    EXPECT_EQ(run(true, under(base(), "missing/"), true, &stored), Names{});
    EXPECT_FALSE(stored);

    zel::BaseString<char> null;
    m_files.Add(zel::BaseString<char>("old"));
    EXPECT_FALSE(zel::DirectoryIterator::GetWildCardFiles(null, m_files, true));
    EXPECT_EQ(m_files.Size(), 0u);
    m_files.Add(zel::BaseString<char>("old"));
    EXPECT_FALSE(zel::DirectoryIterator::GetWildCardFilesFlat(null, m_files, true));
    EXPECT_EQ(m_files.Size(), 0u);
}

// Forms whose results name the parent directory or keep the pattern: kept as the
// directory part and the walk's naming give them.
TEST_F(WildCardFilesTest, OtherSearchPathForms) {
    const std::string parent = std::filesystem::path(base()).parent_path().string();
    // A directory without its separator: the listing is of the directory, the
    // paths are put in front of its parent.
    Names got = run(false, base());
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], filestest::slashed(parent + zel::PATHSEP + "a.txt"));
    // A flat walk with a pattern applies it at the top level only.
    EXPECT_EQ(run(true, under(base(), "*.txt")), (Names{"T/T/*.txt/a.txt", "T/T/*.txt/b.txt"}));
    // Blanks around the search pattern stay in the paths.
    EXPECT_EQ(run(false, "  " + withSep() + " "), (Names{"  T/a.txt", "  T/b.txt"}));
}

TEST_F(WildCardFilesTest, RelativeSearchPathGivesBareNames) {
    EXPECT_EQ(zeltest::runChild("wildcard_relative", {base()}), 0);
}

ZEL_TEST_CHILD(wildcard_relative) {
    std::filesystem::current_path(args.at(0));
    zel::Array<zel::BaseString<char>> files;
    if (!zel::DirectoryIterator::GetWildCardFiles("*.txt", files, true) || files.Size() != 2)
        return 10;
    return zel::util::compare(files[0], "a.txt") && zel::util::compare(files[1], "b.txt") ? 0 : 11;
}

TEST_F(WildCardFilesTest, FailuresAreAnnotatedAndRethrown) {
    struct Case {
        bool flat;
        int allowed;
        bool foreign;
        const char* first; // expected first message
        const char* last;
    };
    const Case cases[] = {
        {false, 0, false, "No more memory is available.",
         "DirectoryIterator::GetWildCardFiles: Exception caught"},
        {true, 0, false, "No more memory is available.",
         "DirectoryIterator::GetWildCardFiles: Exception caught"},
        {true, 10, false, "No more memory is available.",
         "DirectoryIterator::GetWildCardFiles: Exception caught"},
        {false, 0, true, "DirectoryIterator::GetWildCardFiles: Severe error caught",
         "DirectoryIterator::GetWildCardFiles: Severe error caught"},
        {true, 3, true, "DirectoryIterator::GetWildCardFiles: Severe error caught",
         "DirectoryIterator::GetWildCardFiles: Severe error caught"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.flat) + " " + std::to_string(c.allowed) + " " +
                     std::to_string(c.foreign));
        zel::BaseString<char> query(withSep().c_str());
        bool caught = false;
        try {
            FailingLibraryAllocator failing(c.allowed, c.foreign);
            if (c.flat)
                zel::DirectoryIterator::GetWildCardFilesFlat(query, m_files, true);
            else
                zel::DirectoryIterator::GetWildCardFiles(query, m_files, true);
        } catch (zel::MemoryException&) {
            ADD_FAILURE() << "rethrow() passes a plain Exception on";
        } catch (zel::Exception& e) {
            caught = true;
            ASSERT_GE(e.getMessageTotal(), 1u);
            EXPECT_STREQ(e.getErrorMessage(0), c.first);
            EXPECT_STREQ(e.getErrorMessage(e.getMessageTotal() - 1), c.last);
            EXPECT_EQ(e.getMessageTotal(), c.foreign ? 1u : 2u);
        }
        EXPECT_TRUE(caught);
    }
    // The library works normally again.
    EXPECT_EQ(run(false, withSep()), (Names{"T/a.txt", "T/b.txt"}));
}

// A failure after some paths were stored leaves those paths in the list.
TEST_F(WildCardFilesTest, FailureKeepsThePathsStoredBefore) {
    zel::BaseString<char> query(withSep().c_str());
    bool sawPartial = false;
    for (int allowed = 0; allowed < 200 && !sawPartial; ++allowed) {
        try {
            FailingLibraryAllocator failing(allowed, false);
            zel::DirectoryIterator::GetWildCardFilesFlat(query, m_files, true);
            break; // enough allocations: finished
        } catch (zel::Exception&) {
            Names partial = relativePaths(m_files, base());
            const Names all{"T/a.txt", "T/b.txt", "T/sub/c.txt", "T/sub/e.log"};
            ASSERT_LE(partial.size(), all.size());
            EXPECT_TRUE(std::equal(partial.begin(), partial.end(), all.begin()));
            sawPartial = !partial.empty();
        }
    }
    EXPECT_TRUE(sawPartial);
}

// The statics keep no state: threads listing at once with arrays of their own
// all get the full answer.
TEST_F(WildCardFilesTest, ThreadsListingAtOnceGetTheSameAnswer) {
    make(base(), "sub/more/f.txt");
    const Names expected{"T/a.txt", "T/b.txt", "T/sub/c.txt", "T/sub/e.log", "T/sub/more/f.txt"};
    std::vector<Names> results(4);
    std::vector<std::thread> threads;
    const std::string query = withSep();
    for (auto& result : results) {
        threads.emplace_back([&result, &query, this] {
            zel::Array<zel::BaseString<char>> files;
            for (int round = 0; round < 20; ++round)
                zel::DirectoryIterator::GetWildCardFilesFlat(zel::BaseString<char>(query.c_str()),
                                                             files, true);
            result = relativePaths(files, base());
        });
    }
    for (auto& t : threads)
        t.join();
    for (const auto& result : results)
        EXPECT_EQ(result, expected);
}

namespace {

// A list and what the thread's DirectorySkips counted while it was made.
struct Counted {
    Names paths;
    unsigned long entries = 0;
    Names directories;
    Names repeated;
    bool operator==(const Counted& o) const {
        return paths == o.paths && entries == o.entries && directories == o.directories &&
               repeated == o.repeated;
    }
};

std::string show(const Counted& c) {
    std::string text = std::to_string(c.paths.size()) + " paths, " + std::to_string(c.entries) +
                       " unreadable entries; folders:";
    for (const auto& d : c.directories)
        text += " " + d;
    text += "; repeated:";
    for (const auto& r : c.repeated)
        text += " " + r;
    text += "; paths:";
    for (const auto& p : c.paths)
        text += " " + p;
    return text;
}

// A wildcard list of `spec`. Sorted by name it asks for names and types only;
// sorted by time it reads every entry's status. The list by time is put in name
// order here, so that the two compare.
Counted listed(bool flat, const std::string& spec, bool byName) {
    Counted c;
    zel::DirectorySkips skips;
    zel::Array<zel::BaseString<char>> files;
    const zel::BaseString<char> query(spec.c_str());
    if (flat)
        zel::DirectoryIterator::GetWildCardFilesFlat(query, files, byName);
    else
        zel::DirectoryIterator::GetWildCardFiles(query, files, byName);
    for (unsigned int i = 0; i < files.Size(); ++i)
        c.paths.push_back(static_cast<const char*>(files[i]));
    if (!byName)
        std::sort(c.paths.begin(), c.paths.end(), [](const std::string& a, const std::string& b) {
            return zel::util::strcasecmp(a.c_str(), b.c_str()) < 0;
        });
    c.entries = skips.Entries();
    for (unsigned long i = 0; i < skips.Directories(); ++i)
        c.directories.push_back(skips.Directory(i));
    for (unsigned long i = 0; i < skips.RepeatedFolders(); ++i)
        c.repeated.push_back(skips.RepeatedFolder(i));
    return c;
}

// Both ways of every list of `top` (written with its trailing separator) give the
// same paths and the same counts. Returns what differs, or "".
std::string compareBothWays(const std::string& top) {
    std::string differences;
    for (bool flat : {false, true}) {
        for (const std::string& spec : {top, top + "*.txt", top + "sub" + zel::PATHSEP}) {
            const Counted names = listed(flat, spec, true);
            const Counted status = listed(flat, spec, false);
            if (!(names == status))
                differences += std::string(flat ? "flat " : "one level ") + spec +
                               ":\n  names only: " + show(names) +
                               "\n  status:     " + show(status) + "\n";
        }
    }
    return differences;
}

} // namespace

// Lists sorted by name make no status call for files and folders the directory
// entry describes; they must give what the lists that read every status give: the
// same paths and the same counts of what was left out, with links to files and
// folders, a link back up, a second route, a dangling link and, as another
// account, a folder it may not read and one it may read but not search.
TEST_F(WildCardFilesTest, NameListsGiveWhatStatusListsGive) {
    make(base(), "sub/deep/d.txt");
    make(base(), "sub/empty/");
    filestest::Links links;
    links.Make(under(base(), "sub"), under(base(), "route"));
    links.Make(base(), under(base(), "sub/deep/up"));
    if (!links.Failure().empty())
        RecordProperty("links", links.Failure());
#ifdef _WIN32
    EXPECT_EQ(compareBothWays(withSep()), "");
#else
    std::filesystem::create_symlink(under(base(), "a.txt"), under(base(), "filelink.txt"));
    std::filesystem::create_symlink(under(base(), "gone"), under(base(), "dangling.txt"));
    EXPECT_EQ(compareBothWays(withSep()), "");
    // Lists of the same tree as another account.
    make(base(), "closed/hidden.txt");
    make(base(), "noexec/x.txt");
    make(base(), "noexec/inner/y.txt");
    ASSERT_EQ(::chmod(base().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(under(base(), "closed").c_str(), 0), 0);
    ASSERT_EQ(::chmod(under(base(), "noexec").c_str(), 0644), 0);
    const int code = zeltest::runChild("lists_both_ways_unprivileged", {withSep()});
    ::chmod(under(base(), "closed").c_str(), 0755);
    ::chmod(under(base(), "noexec").c_str(), 0755);
    EXPECT_EQ(code, 0);
#endif
}

#ifndef _WIN32
ZEL_TEST_CHILD(lists_both_ways_unprivileged) {
    // In a process of its own that gives up root, so that this one can still
    // remove the temporary folder afterwards.
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(10);
        const std::string top = args.at(0);
        const std::string differences = compareBothWays(top) + compareBothWays(top + "noexec/");
        if (!differences.empty()) {
            std::fputs(differences.c_str(), stderr);
            ::_exit(11);
        }
        // The folder it could not enter; the entries of the one it could not
        // search (x.txt and inner, whose status it cannot read) and the dangling
        // link.
        const Counted flat = listed(true, top, true);
        const bool counted = flat.directories == Names{top + "closed"} && flat.entries == 4 &&
                             flat.repeated == Names{top + "route"} && flat.paths.size() == 6;
        if (!counted)
            std::fputs(show(flat).c_str(), stderr);
        ::_exit(counted ? 0 : 12);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return 13;
    return WEXITSTATUS(status);
}
#endif
