#include "files/DirectorySort.h"
#include "base/SearchPattern.h"
#include "base/Wildcard.h"
#include "zel/Directory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <vector>

using zel::detail::MatchWildcard;

TEST(Wildcard, MatchTable) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        {"*", "anything.txt", true},
        {"*", "", true},
        {"*", ".", true},
        {"*.*", "README", true}, // every name, as on Windows
        {"*.*", "..", true},
        {"*.txt", "a.txt", true},
        {"*.txt", "B.TXT", true},
        {"*.txt", "notes.v2.final.txt", true},
        {"*.txt", "a.txt.bak", false},
        {"*.txt", ".txt", true},
        {"?.txt", "a.txt", true},
        {"?.txt", "ab.txt", false},
        {"?.txt", ".txt", false},
        {"a*b*", "ab", true},
        {"a*b*", "aXb.log", true},
        {"a*b*", "A1B2.TXT", true},
        {"a*b*", "ba", false},
        {"a.txt", "A.TXT", true},
        {"a.txt", "a.tx", false},
        {"a.txt", "a.txtx", false},
        {"", "", true},
        {"", "a", false},
        {"a", "", false},
        {"**", "x", true},
        {"*a", "banana", true},
        {"*n*n*", "banana", true},
        {"*nan", "banana", false},
        {"b*a*a*a", "banana", true},
        {"b*a*a*a*a", "banana", false},
        {"???", "ab", false},
        {"???", "abc", true},
        {"a?c", "a.c", true},
        {"[ab]", "a", false}, // no character classes
        {"[ab]", "[AB]", true},
        {"ä*", "ä.txt", true}, // bytes outside ASCII match themselves only
        {"\xC4*", "\xE4.txt", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " ~ " + c.name);
        EXPECT_EQ(MatchWildcard(c.pattern, c.name), c.match);
    }
    EXPECT_FALSE(MatchWildcard(nullptr, "a"));
    EXPECT_FALSE(MatchWildcard("*", nullptr));
    EXPECT_TRUE(zel::detail::HasWildcard("a?"));
    EXPECT_TRUE(zel::detail::HasWildcard("*"));
    EXPECT_FALSE(zel::detail::HasWildcard("a.txt"));
    EXPECT_FALSE(zel::detail::HasWildcard(nullptr));
}

// A backtracking matcher takes exponential time on these; this one answers at once.
TEST(Wildcard, SearchPatternSplitsAtTheLastSeparator) {
    struct Case {
        const char* query;
        char separator;
        const char* folder; // null: no separator, the current folder
        const char* pattern;
    };
    const Case cases[] = {
        {"dir/sub/x?.txt", '/', "dir/sub", "x?.txt"},
        {"x*.txt", '/', nullptr, "x*.txt"},
        {"/x", '/', "/", "x"},
        {"/", '/', "/", ""},
        {"//", '/', "/", ""}, // the folder before the last separator is the first one
        {"a/", '/', "a", ""},
        {"", '/', nullptr, ""},
        {"C:\\data\\*.txt", '\\', "C:\\data", "*.txt"},
        {"a\\b/c", '/', "a\\b", "c"},
        {"a\\b/c", '\\', "a", "b/c"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        std::size_t folderLength = 99;
        const char* pattern = zel::base::SplitSearchPattern(c.query, c.separator, folderLength);
        EXPECT_STREQ(pattern, c.pattern);
        if (c.folder == nullptr)
            EXPECT_EQ(folderLength, 0u);
        else
            EXPECT_EQ(std::string(c.query, folderLength), c.folder);
    }
}

TEST(Wildcard, PathologicalPatternsStayFast) {
    const std::string name(20000, 'a');
    std::string pattern;
    for (int i = 0; i < 60; ++i)
        pattern += "a*";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(MatchWildcard((pattern + "b").c_str(), name.c_str()));
    EXPECT_TRUE(MatchWildcard((pattern + "a").c_str(), name.c_str()));
    EXPECT_FALSE(MatchWildcard("a*a*a*a*a*a*a*a*a*a*b", std::string(5000, 'a').c_str()));
    // A generous bound: an exponential matcher would not finish at all.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

namespace {

std::vector<zel::DirectoryItem> sorted(std::vector<zel::DirectoryItem> items) {
    zel::detail::SortDirectoryItems(items.data(), static_cast<unsigned>(items.size()));
    return items;
}

} // namespace

TEST(DirectorySort, OrdersByNameCaseBlindAndByTimeNewestFirst) {
    std::mt19937 rng(42);
    for (unsigned n : {0u, 1u, 2u, 3u, 16u, 17u, 18u, 33u, 100u, 1000u, 5000u}) {
        SCOPED_TRACE(n);
        std::vector<zel::DirectoryItem> byName;
        std::vector<zel::DirectoryItem> byTime;
        for (unsigned i = 0; i < n; ++i) {
            std::string name = "f" + std::to_string(rng() % (n + 1));
            if (rng() % 2)
                std::transform(name.begin(), name.end(), name.begin(), ::toupper);
            byName.emplace_back(name.c_str(), 0, false, false, 0, true);
            byTime.emplace_back(name.c_str(), static_cast<long long>(rng() % 50) - 10, false, false,
                                0, false);
        }
        auto a = sorted(byName);
        ASSERT_EQ(a.size(), byName.size());
        for (std::size_t i = 1; i < a.size(); ++i)
            ASSERT_LE(zel::util::strcasecmp(a[i - 1].Name(), a[i].Name()), 0) << i;
        auto t = sorted(byTime);
        for (std::size_t i = 1; i < t.size(); ++i)
            ASSERT_GE(t[i - 1].FileTime(), t[i].FileTime()) << i;
        // Same multiset of names: nothing lost or duplicated by the moves.
        std::vector<std::string> before, after;
        for (auto& x : byName)
            before.push_back(x.Name());
        for (auto& x : a)
            after.push_back(x.Name());
        std::sort(before.begin(), before.end());
        std::sort(after.begin(), after.end());
        EXPECT_EQ(before, after);
    }
}

TEST(DirectorySort, HandlesAdversarialOrdersAndNullNames) {
    const unsigned n = 3000;
    std::vector<std::vector<long long>> orders(4);
    for (unsigned i = 0; i < n; ++i) {
        orders[0].push_back(i);                 // ascending
        orders[1].push_back(n - i);             // descending
        orders[2].push_back(7);                 // all equal
        orders[3].push_back(i % 2 ? i : n - i); // organ pipe-ish
    }
    for (auto& order : orders) {
        std::vector<zel::DirectoryItem> items;
        for (long long t : order)
            items.emplace_back("x", t, false, false, 0, false);
        auto s = sorted(items);
        for (std::size_t i = 1; i < s.size(); ++i)
            ASSERT_GE(s[i - 1].FileTime(), s[i].FileTime());
    }
    std::vector<zel::DirectoryItem> withNull;
    for (int i = 0; i < 40; ++i)
        withNull.emplace_back(i % 10 == 3 ? nullptr : ("n" + std::to_string(i)).c_str(), 0, false,
                              false, 0, true);
    auto s = sorted(withNull);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(s[i].Name(), nullptr);
    EXPECT_NE(s[4].Name(), nullptr);
}
