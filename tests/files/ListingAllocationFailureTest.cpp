// Every listing under allocation failure: with the library's k-th allocation
// failing, for k = 1, 2, ... until a run makes fewer than k, each run either gives
// exactly the listing of a run without failure or throws MemoryException (the
// wildcard lists: an Exception that carries its message). A short or empty list
// reported as success is the fault this looks for. Every allocation of the
// directory code goes through the library's allocation functions, so the same
// table runs natively, under the sanitizers and under Wine.
#include "FilesTestTree.h"
#include "testing/TestHooks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

using filestest::make;
using filestest::under;
using Names = std::vector<std::string>;

namespace {

// Fails only the library's k-th allocation from now on (1 is the next), for the
// lifetime of the object; the allocations after it succeed again.
class FailKthAllocation {
public:
    explicit FailKthAllocation(long k) {
        s_calls = 0;
        s_failAt = k;
        m_previous = zel::detail::SetLibraryAllocatorForTesting(&Allocate);
    }
    ~FailKthAllocation() { zel::detail::SetLibraryAllocatorForTesting(m_previous); }
    FailKthAllocation(const FailKthAllocation&) = delete;
    FailKthAllocation& operator=(const FailKthAllocation&) = delete;

    // Whether the run reached the k-th allocation.
    static bool Failed() { return s_calls >= s_failAt; }

private:
    static void* Allocate(std::size_t bytes) {
        return ++s_calls == s_failAt ? nullptr : std::malloc(bytes);
    }
    static long s_calls;
    static long s_failAt;
    zel::memory::AllocateFunction m_previous;
};
long FailKthAllocation::s_calls = 0;
long FailKthAllocation::s_failAt = 0;

// What a listing gave: its entries with their data, what it stored, and what the
// thread's DirectorySkips counted.
struct Outcome {
    Names entries;
    bool stored = false;
    unsigned long unreadable = 0;
    unsigned long repeated = 0;
    bool operator==(const Outcome& o) const {
        return entries == o.entries && stored == o.stored && unreadable == o.unreadable &&
               repeated == o.repeated;
    }
};

std::string describe(const zel::DirectoryItem& item) {
    // ".." is the folder that holds the test's own, whose time other tests
    // running meanwhile change.
    if (std::string(item.Name()) == ".." || std::string(item.Name()) == ".")
        return item.Name();
    return filestest::slashed(item.Name()) + (item.IsDirectory() ? "/" : "") + " " +
           std::to_string(item.Size()) + " " + std::to_string(item.FileTime()) +
           (item.IsReadOnly() ? " r" : "");
}

struct Operation {
    const char* name;
    bool wildcardList; // failures arrive as an Exception naming GetWildCardFiles
    std::function<void(const std::string& base, Outcome&)> run;
};

void iterate(zel::DirectoryIterator& it, Outcome& out) {
    zel::DirectoryItem item;
    while (it.GetNextItem(item))
        out.entries.push_back(describe(item));
    out.stored = it.NumMatches() != 0;
}

void listFiles(bool flat, const std::string& spec, bool byName, Outcome& out) {
    zel::Array<zel::BaseString<char>> files;
    const zel::BaseString<char> query(spec.c_str());
    out.stored = flat ? zel::DirectoryIterator::GetWildCardFilesFlat(query, files, byName)
                      : zel::DirectoryIterator::GetWildCardFiles(query, files, byName);
    for (unsigned int i = 0; i < files.Size(); ++i)
        out.entries.push_back(filestest::slashed(static_cast<const char*>(files[i])));
}

const Operation kOperations[] = {
    {"iterator, one level, by name", false,
     [](const std::string& base, Outcome& out) {
         zel::DirectoryIterator it(base.c_str(), false, nullptr, true);
         iterate(it, out);
     }},
    {"iterator, one level, pattern, by time", false,
     [](const std::string& base, Outcome& out) {
         zel::DirectoryIterator it(under(base, "*.txt").c_str(), false, nullptr, false);
         iterate(it, out);
     }},
    {"iterator, recursive, by name", false,
     [](const std::string& base, Outcome& out) {
         const std::string top = base + zel::PATHSEP;
         zel::DirectoryIterator it(top.c_str(), true, top.c_str(), true);
         iterate(it, out);
     }},
    {"iterator, recursive, no root, by time", false,
     [](const std::string& base, Outcome& out) {
         zel::DirectoryIterator it(base.c_str(), true, nullptr, false);
         iterate(it, out);
     }},
    {"GetWildCardFiles, by name", true,
     [](const std::string& base, Outcome& out) {
         listFiles(false, under(base, "*.txt"), true, out);
     }},
    {"GetWildCardFiles, by time", true,
     [](const std::string& base, Outcome& out) {
         listFiles(false, base + zel::PATHSEP, false, out);
     }},
    {"GetWildCardFilesFlat, by name", true,
     [](const std::string& base, Outcome& out) {
         listFiles(true, base + zel::PATHSEP, true, out);
     }},
    {"GetWildCardFilesFlat, by time", true,
     [](const std::string& base, Outcome& out) {
         listFiles(true, base + zel::PATHSEP, false, out);
     }},
    {"DirectoryWalk", false,
     [](const std::string& base, Outcome& out) {
         zel::DirectoryWalk walk((base + zel::PATHSEP).c_str());
         zel::BaseString<char> path;
         while (walk.Next(path))
             out.entries.push_back(filestest::slashed(static_cast<const char*>(path)));
         out.stored = !out.entries.empty();
     }},
};

// Runs one operation with the k-th allocation failing (0: none). True when it
// completed; false when it threw as it should.
bool runOnce(const Operation& op, const std::string& base, long k, Outcome& out) {
    zel::DirectorySkips skips;
    try {
        FailKthAllocation failing(k);
        op.run(base, out);
    } catch (zel::MemoryException&) {
        EXPECT_FALSE(op.wildcardList) << "the wildcard lists throw on a plain Exception";
        return false;
    } catch (zel::Exception& e) {
        EXPECT_TRUE(op.wildcardList) << e.getCharErrorMessageBlock("; ");
        EXPECT_STREQ(e.getErrorMessage(0), "No more memory is available.");
        EXPECT_STREQ(e.getErrorMessage(e.getMessageTotal() - 1),
                     "DirectoryIterator::GetWildCardFiles: Exception caught");
        return false;
    }
    out.unreadable = skips.Entries();
    out.repeated = skips.RepeatedFolders();
    return true;
}

} // namespace

// A tree with enough entries that the lists grow several times, a folder reached
// by a second route (counted as repeated) and, on Linux, a dangling link (counted
// as unreadable).
TEST(ListingAllocationFailure, EveryRunCompletesInFullOrThrows) {
    zeltest::TempDir dir;
    const std::string& base = dir.path();
    for (int i = 0; i < 24; ++i)
        make(base, "f" + std::to_string(i) + ".txt", static_cast<std::size_t>(i));
    make(base, "sub/c.txt", 3);
    make(base, "sub/deep/d.txt", 4);
    make(base, "other/e.log", 5);
    filestest::Links links;
    links.Make(under(base, "sub"), under(base, "route"));
#ifndef _WIN32
    ASSERT_EQ(::symlink(under(base, "gone").c_str(), under(base, "dangling").c_str()), 0);
#endif
    RecordProperty("second route", links.Failure().empty() ? "yes" : links.Failure());

    for (const Operation& op : kOperations) {
        SCOPED_TRACE(op.name);
        Outcome reference;
        ASSERT_TRUE(runOnce(op, base, 0, reference));
        ASSERT_TRUE(reference.stored);
        long k = 1;
        long threw = 0;
        for (; k < 20000; ++k) {
            Outcome outcome;
            const bool completed = runOnce(op, base, k, outcome);
            if (HasFailure())
                FAIL() << "allocation " << k;
            if (!completed) {
                ++threw;
                continue;
            }
            // Completed: in full, as if nothing had failed.
            ASSERT_EQ(outcome, reference) << "allocation " << k << " failed silently";
            if (!FailKthAllocation::Failed())
                break; // fewer than k allocations: every one has been failed once
        }
        EXPECT_LT(k, 20000);
        EXPECT_GT(threw, 0);
        RecordProperty(op.name, std::to_string(k - 1) + " allocations");
    }
}

// A walk whose allocation failed goes no further: every later Next throws too,
// so that no caller carries on with a folder's files left out.
TEST(ListingAllocationFailure, WalkThatFailedFailsAgain) {
    zeltest::TempDir dir;
    for (int i = 0; i < 4; ++i)
        make(dir.path(), "d" + std::to_string(i) + "/f.txt");
    for (long k = 1; k < 400; ++k) {
        zel::DirectoryWalk walk((dir.path() + zel::PATHSEP).c_str());
        zel::BaseString<char> path;
        bool threw = false;
        try {
            FailKthAllocation failing(k);
            while (walk.Next(path)) {
            }
            if (!FailKthAllocation::Failed())
                return; // every allocation of a whole walk has been failed once
        } catch (zel::MemoryException&) {
            threw = true;
        }
        if (threw) {
            EXPECT_THROW(walk.Next(path), zel::MemoryException) << "allocation " << k;
        }
    }
    ADD_FAILURE() << "the walk kept allocating";
}
