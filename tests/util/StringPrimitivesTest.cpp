// Text primitives of zel::util: lengths, copies, ordering and searching.
#include "zel/StringUtil.h"

#include "TestSupport.h"
#include "TextReference.h"
#include "testing/TestHooks.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace u = zel::util;

namespace {

// Text of the form used in the tables: nullptr stays null.
std::string Show(const char* s) {
    return s == nullptr ? "<null>" : "\"" + std::string(s) + "\"";
}

const char kE9[] = "\xE9";
const char kC9[] = "\xC9";

using zelref::Search;

} // namespace

TEST(StringLength, NullEmptyAndHighBytes) {
    EXPECT_EQ(u::strlen(static_cast<const char*>(nullptr)), 0u);
    EXPECT_EQ(u::strlen(static_cast<const unsigned char*>(nullptr)), 0u);
    EXPECT_EQ(u::strlen(""), 0u);
    EXPECT_EQ(u::strlen("abc\xff\x80"), 5u);
    const unsigned char bytes[] = {0xE9, 0x41, 0x00, 0x42};
    EXPECT_EQ(u::strlen(bytes), 2u);
    std::string big(100000, 'x');
    EXPECT_EQ(u::strlen(big.c_str()), 100000u);
}

TEST(StringCopy, UnboundedCopyAndNullRules) {
    char dst[16];
    std::memset(dst, '#', sizeof dst);
    EXPECT_EQ(u::strcpy(dst, "abc"), dst);
    EXPECT_EQ(std::memcmp(dst, "abc\0#", 5), 0);

    std::memset(dst, '#', sizeof dst);
    EXPECT_EQ(u::strcpy(dst, static_cast<const char*>(nullptr)), dst);
    EXPECT_EQ(std::memcmp(dst, "\0#", 2), 0);

    EXPECT_EQ(u::strcpy(static_cast<char*>(nullptr), "abc"), nullptr);

    unsigned char bdst[8];
    const unsigned char bsrc[] = {0xE9, 0x01, 0x00};
    EXPECT_EQ(u::strcpy(bdst, bsrc), bdst);
    EXPECT_EQ(std::memcmp(bdst, bsrc, 3), 0);
    EXPECT_EQ(u::strcpy(static_cast<unsigned char*>(nullptr), bsrc), nullptr);
}

TEST(StringCopy, BoundedCopyCutsAndAlwaysTerminates) {
    struct Case {
        const char* src;
        unsigned capacity;
        const char* expected;
    };
    const Case cases[] = {
        {"abcdef", 4, "abc"}, {"abc", 4, "abc"}, {"abcd", 4, "abc"}, {"", 4, ""},
        {"abc", 1, ""},       {nullptr, 4, ""},  {"ab", 16, "ab"},   {"\xE9\xE9", 2, "\xE9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Show(c.src) + " capacity " + std::to_string(c.capacity));
        char dst[16];
        std::memset(dst, '#', sizeof dst);
        EXPECT_EQ(u::strcpy(dst, c.capacity, c.src), dst);
        EXPECT_STREQ(dst, c.expected);
        // Nothing written past the terminator.
        std::size_t n = std::strlen(c.expected);
        EXPECT_EQ(dst[n + 1], '#');

        unsigned char bdst[16];
        std::memset(bdst, '#', sizeof bdst);
        char* r = u::strcpy(bdst, c.capacity, reinterpret_cast<const unsigned char*>(c.src));
        EXPECT_EQ(r, reinterpret_cast<char*>(bdst));
        EXPECT_STREQ(r, c.expected);
    }
    EXPECT_EQ(u::strcpy(static_cast<char*>(nullptr), 4, "abc"), nullptr);
    // A capacity of 0 leaves the destination alone.
    char dst[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(u::strcpy(dst, 0, "abc"), dst);
    EXPECT_EQ(dst[0], '#');
}

TEST(StringCopy, StrncpyNeitherPadsNorTerminatesWhenFull) {
    struct Case {
        const char* src;
        unsigned count;
        std::string expected; // bytes written, then '#' untouched
    };
    const Case cases[] = {
        {"abc", 2, std::string("ab#", 3)},     {"abc", 3, std::string("abc#", 4)},
        {"abc", 10, std::string("abc\0#", 5)}, {"abc", 0, std::string("#", 1)},
        {"", 5, std::string("\0#", 2)},        {nullptr, 5, std::string("\0#", 2)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Show(c.src) + " count " + std::to_string(c.count));
        char dst[16];
        std::memset(dst, '#', sizeof dst);
        EXPECT_EQ(u::strncpy(dst, c.src, c.count), dst);
        EXPECT_EQ(std::string(dst, c.expected.size()), c.expected);
        // Nothing beyond: the rest of the buffer is untouched.
        for (std::size_t i = c.expected.size(); i < sizeof dst; ++i)
            EXPECT_EQ(dst[i], '#') << i;

        unsigned char bdst[16];
        std::memset(bdst, '#', sizeof bdst);
        EXPECT_EQ(u::strncpy(bdst, reinterpret_cast<const unsigned char*>(c.src), c.count), bdst);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(bdst), c.expected.size()), c.expected);
    }
    EXPECT_EQ(u::strncpy(static_cast<char*>(nullptr), "abc", 3), nullptr);
}

TEST(StringCopy, StrcgetAtAppends) {
    char dst[16] = "ab";
    EXPECT_EQ(u::strcgetAt(dst, "cd"), dst);
    EXPECT_STREQ(dst, "abcd");
    EXPECT_EQ(u::strcgetAt(dst, ""), dst);
    EXPECT_STREQ(dst, "abcd");
    EXPECT_EQ(u::strcgetAt(dst, nullptr), dst);
    EXPECT_STREQ(dst, "abcd");
    EXPECT_EQ(u::strcgetAt(nullptr, "x"), nullptr);
    char empty[8] = "";
    EXPECT_STREQ(u::strcgetAt(empty, "\xE9z"), "\xE9z");
}

TEST(StringOrder, ResultsAreSignedByteDifferences) {
    struct Case {
        const char* a;
        const char* b;
        int cmp;     // strcmp
        int casecmp; // strcasecmp
    };
    const Case cases[] = {
        {nullptr, "", -1, -1},
        {"", nullptr, 1, 1},
        {nullptr, nullptr, 0, 0},
        {nullptr, "x", -1, -1},
        {"", "", 0, 0},
        {"a", kE9, 'a' - (-23), 'a' - (-23)}, // 120: high bytes order first
        {kE9, "a", -120, -120},
        {"ABC", "abd", 'A' - 'a', -1},
        {"abc", "abc", 0, 0},
        {"abc", "ab", 'c', 'c'},
        {"ab", "abc", -'c', -'c'},
        {"_", "A", '_' - 'A', '_' - 'a'}, // 30 and -2: '_' sits between the cases
        {"[", "a", '[' - 'a', '[' - 'a'},
        {kC9, kE9, (-55) - (-23), (-55) - (-23)}, // no folding of ISO-8859-1 capitals
        {"\x80", "\x7f", -128 - 127, -128 - 127},
        {"Hello", "hELLO", 'H' - 'h', 0},
        {"Z", "z", 'Z' - 'z', 0},
        {"@", "`", '@' - '`', '@' - '`'}, // neighbours of the letters are not folded
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Show(c.a) + " vs " + Show(c.b));
        EXPECT_EQ(u::strcmp(c.a, c.b), c.cmp);
        EXPECT_EQ(u::strcasecmp(c.a, c.b), c.casecmp);
        EXPECT_EQ(u::compare(c.a, c.b), c.cmp == 0);
        EXPECT_EQ(u::compareNoCase(c.a, c.b), c.casecmp == 0);
        // With a bound past both ends the bounded forms agree with the unbounded ones.
        EXPECT_EQ(u::strncmp(c.a, c.b, 100), c.cmp);
        EXPECT_EQ(u::strncasecmp(c.a, c.b, 100), c.casecmp);
    }
}

TEST(StringOrder, BoundedForms) {
    struct Case {
        const char* a;
        const char* b;
        unsigned n;
        int ncmp;
        int ncasecmp;
    };
    const Case cases[] = {
        {"abc", "abd", 2, 0, 0},
        {"abc", "abd", 3, -1, -1},
        {"abc", "abd", 0, 0, 0},
        {nullptr, "x", 0, -1, -1}, // the null rule ignores the bound
        {"x", nullptr, 0, 1, 1},
        {nullptr, nullptr, 5, 0, 0},
        {"HELLO world", "hello", 5, 'H' - 'h', 0},
        {"HELLO world", "hello", 6, 'H' - 'h', ' '},
        {"ab", "ab", 1000, 0, 0},
        {"a\xE9", "a", 5, -23, -23},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Show(c.a) + " vs " + Show(c.b) + " n=" + std::to_string(c.n));
        EXPECT_EQ(u::strncmp(c.a, c.b, c.n), c.ncmp);
        EXPECT_EQ(u::strncasecmp(c.a, c.b, c.n), c.ncasecmp);
        EXPECT_EQ(u::nCompare(c.a, c.b, c.n), c.ncmp == 0);
        EXPECT_EQ(u::nCompareNoCase(c.a, c.b, c.n), c.ncasecmp == 0);
    }
}

TEST(StringSearch, Strchr) {
    const char text[] = "abca\xE9";
    EXPECT_EQ(u::strchr(text, 'a'), text);
    EXPECT_EQ(u::strchr(text, 'c'), text + 2);
    EXPECT_EQ(u::strchr(text, '\xE9'), text + 4);
    EXPECT_EQ(u::strchr(text, '\0'), text + 5);
    EXPECT_EQ(u::strchr(text, 'z'), nullptr);
    EXPECT_EQ(u::strchr(text, 'A'), nullptr);
    EXPECT_EQ(u::strchr(nullptr, 'a'), nullptr);
}

TEST(StringSearch, DefinedCases) {
    struct Case {
        const char* text;
        const char* pattern;
        int at;       // strstr: offset, -1 for null
        int atNoCase; // strstrNoCase
    };
    const Case cases[] = {
        {"abc", "", 0, 0},
        {"", "", 0, 0},
        {"", "a", -1, -1},
        {nullptr, "a", -1, -1},
        {"abc", nullptr, -1, -1},
        {nullptr, nullptr, -1, -1},
        {"aab", "ab", 1, 1},
        {"xxHeLLo", "hello", -1, 2},
        {"xxHeLLo", "HeLLo", 2, 2},
        {"abc", "abcd", -1, -1},
        {"ab", "b", 1, 1},
        {"AB", "b", -1, 1},
        {"\xC9t\xE9", "\xE9", 2, 2}, // ISO-8859-1 capitals are not folded
        {"[a", "{", -1, -1},         // neither are the brackets around the letters
        {"abababc", "ababc", 2, 2},
        {"aaaaaaaaab", "aaab", 6, 6},
        {"ABCABDABCABCABD", "abcabd", -1, 0},
        {"xabcabcaby", "abcaby", 4, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Show(c.text) + " / " + Show(c.pattern));
        const char* r = u::strstr(c.text, c.pattern);
        const char* rn = u::strstrNoCase(c.text, c.pattern);
        EXPECT_EQ(r, c.at < 0 ? nullptr : c.text + c.at);
        EXPECT_EQ(rn, c.atNoCase < 0 ? nullptr : c.text + c.atNoCase);
    }
}

// The linear searches must give exactly the answer of the byte-at-a-time scan.
// Small alphabets make repeats, periodic patterns and near misses common.
TEST(StringSearch, MatchesByteAtATimeScanOnRandomInputs) {
    std::mt19937 rng(20261210);
    const std::string alphabets[] = {"ab", "aA", "abc", "aAbB", std::string("a\xE9\xC9Zz[", 6)};
    for (int round = 0; round < 60000; ++round) {
        const std::string& alpha = alphabets[round % 5];
        auto pick = [&](std::size_t maxLen) {
            std::string s(rng() % (maxLen + 1), ' ');
            for (auto& ch : s)
                ch = alpha[rng() % alpha.size()];
            return s;
        };
        std::string text = pick(40);
        std::string pattern = pick(round % 3 == 0 ? 12 : 5);
        // Often take the pattern from the text so that matches happen.
        if (round % 2 == 0 && !text.empty()) {
            std::size_t from = rng() % text.size();
            pattern = text.substr(from, rng() % 12);
            if (round % 4 == 0 && !pattern.empty())
                pattern.back() = alpha[rng() % alpha.size()];
        }
        const char* r = u::strstr(text.c_str(), pattern.c_str());
        const char* ref = Search(text.c_str(), pattern.c_str(), false);
        const char* rn = u::strstrNoCase(text.c_str(), pattern.c_str());
        const char* refn = Search(text.c_str(), pattern.c_str(), true);
        if (r != ref || rn != refn) {
            ADD_FAILURE() << "text \"" << text << "\" pattern \"" << pattern << "\"";
            break;
        }
    }
}

// Longer patterns take the table shifts and the periodic memory of the search.
TEST(StringSearch, MatchesByteAtATimeScanOnLongerRandomInputs) {
    std::mt19937 rng(7);
    const std::string alphabets[] = {"ab", "aB", "abc"};
    for (int round = 0; round < 20000; ++round) {
        const std::string& alpha = alphabets[round % 3];
        // Texts built from repeats of a random unit, with a few random edits.
        std::string unit(1 + rng() % 6, ' ');
        for (auto& ch : unit)
            ch = alpha[rng() % alpha.size()];
        std::string text;
        const std::size_t length = rng() % 300;
        while (text.size() < length)
            text += unit;
        for (int e = rng() % 3; e > 0 && !text.empty(); --e)
            text[rng() % text.size()] = alpha[rng() % alpha.size()];
        std::string pattern;
        if (!text.empty()) {
            std::size_t from = rng() % text.size();
            pattern = text.substr(from, 1 + rng() % 60);
            if (round % 3 == 0)
                pattern[rng() % pattern.size()] = alpha[rng() % alpha.size()];
            if (round % 5 == 0)
                for (auto& ch : pattern)
                    ch = static_cast<char>(u::toupper(ch));
        }
        const char* r = u::strstr(text.c_str(), pattern.c_str());
        const char* rn = u::strstrNoCase(text.c_str(), pattern.c_str());
        if (r != Search(text.c_str(), pattern.c_str(), false) ||
            rn != Search(text.c_str(), pattern.c_str(), true)) {
            ADD_FAILURE() << "text \"" << text << "\" pattern \"" << pattern << "\"";
            break;
        }
    }
}

// Texts longer than the part the search checks for a terminator at first, with
// matches and near misses placed across the points where that part grows.
TEST(StringSearch, MatchesAcrossTheGrowthOfTheKnownText) {
    std::mt19937 rng(99);
    for (int round = 0; round < 300; ++round) {
        std::string text(4000 + rng() % 14000, 'a');
        for (auto& ch : text)
            ch = (rng() % 8 == 0) ? 'b' : 'a';
        std::string pattern(1 + rng() % 40, 'a');
        for (auto& ch : pattern)
            ch = (rng() % 8 == 0) ? 'b' : 'a';
        const std::size_t edges[] = {4096, 8192, 16384};
        const std::size_t at = edges[rng() % 3] - rng() % 48;
        if (at + pattern.size() <= text.size() && round % 2 == 0)
            text.replace(at, pattern.size(), pattern);
        if (round % 3 == 0)
            for (auto& ch : pattern)
                ch = static_cast<char>(u::toupper(ch));
        ASSERT_EQ(u::strstr(text.c_str(), pattern.c_str()),
                  Search(text.c_str(), pattern.c_str(), false));
        ASSERT_EQ(u::strstrNoCase(text.c_str(), pattern.c_str()),
                  Search(text.c_str(), pattern.c_str(), true));
    }
}

TEST(StringSearch, LongPeriodicInputs) {
    std::string text(200000, 'a');
    std::string pattern = std::string(1000, 'a') + "b";
    EXPECT_EQ(u::strstr(text.c_str(), pattern.c_str()), nullptr);
    EXPECT_EQ(u::strstrNoCase(text.c_str(), pattern.c_str()), nullptr);
    text += "b";
    const char* expected = text.c_str() + text.size() - pattern.size();
    EXPECT_EQ(u::strstr(text.c_str(), pattern.c_str()), expected);
    for (auto& ch : pattern)
        ch = static_cast<char>(u::toupper(ch));
    EXPECT_EQ(u::strstrNoCase(text.c_str(), pattern.c_str()), expected);
    EXPECT_EQ(u::strstr(text.c_str(), pattern.c_str()), nullptr);
}

// Texts of every length up to 80 (and some past the rounds of four 16- to 64-byte
// blocks of the vector walks) end right before a page that may not be read, at every alignment: the
// fast paths must give the reference answers without touching that page.
TEST(StringGuardPage, TextsEndingBeforeAnUnreadablePage) {
    zeltest::GuardedPage pageA;
    zeltest::GuardedPage pageB;
    std::mt19937 rng(4096);
    const std::string alphabet("aAbB\xE9z_", 7);
    for (std::size_t length = 0; length < 700; ++length) {
        if (length > 80 && length % 7 != 0)
            continue;
        std::string text(length, ' ');
        for (auto& ch : text)
            ch = alphabet[rng() % alphabet.size()];
        std::string other = text;
        for (auto& ch : other)
            if (rng() % 4 == 0)
                ch = static_cast<char>(u::toupper(ch));
        if (!other.empty() && rng() % 3 == 0)
            other[rng() % other.size()] = 'q';
        SCOPED_TRACE("text \"" + text + "\" other \"" + other + "\"");
        const char* a = pageA.place(text);
        EXPECT_EQ(u::strlen(a), length);

        // Both at the end of a page, one of them shortened, and one elsewhere.
        const std::string shorter = other.substr(0, other.size() / 2);
        const std::string heapCopy = other;
        const char* partners[] = {pageB.place(other), heapCopy.c_str()};
        for (const char* b : partners) {
            const unsigned bounds[] = {0,
                                       1,
                                       static_cast<unsigned>(length / 2),
                                       static_cast<unsigned>(length),
                                       static_cast<unsigned>(length + 1),
                                       1000};
            for (int swap = 0; swap < 2; ++swap) {
                const char* x = swap ? b : a;
                const char* y = swap ? a : b;
                EXPECT_EQ(u::strcmp(x, y), zelref::Order(x, y, false, false, 0));
                EXPECT_EQ(u::strcasecmp(x, y), zelref::Order(x, y, true, false, 0));
                for (unsigned n : bounds) {
                    EXPECT_EQ(u::strncmp(x, y, n), zelref::Order(x, y, false, true, n)) << n;
                    EXPECT_EQ(u::strncasecmp(x, y, n), zelref::Order(x, y, true, true, n)) << n;
                }
            }
        }
        const char* b = pageB.place(shorter);
        EXPECT_EQ(u::strcmp(a, b), zelref::Order(a, b, false, false, 0));
        EXPECT_EQ(u::strcasecmp(b, a), zelref::Order(b, a, true, false, 0));

        // Searches: patterns from the text's end, and one that is not there.
        for (std::size_t k = 1; k <= 20 && k <= length; k += 3) {
            const std::string tail = text.substr(length - k);
            const char* p = pageB.place(tail);
            EXPECT_EQ(u::strstr(a, p), Search(a, p, false)) << k;
            EXPECT_EQ(u::strstrNoCase(a, p), Search(a, p, true)) << k;
            const std::string missing = tail + "y";
            EXPECT_EQ(u::strstr(a, missing.c_str()), nullptr);
            EXPECT_EQ(u::strstrNoCase(a, missing.c_str()), nullptr);
        }
    }
}

// Texts of one repeated byte that end right before an unreadable page, searched
// for patterns that nearly match everywhere: the scans that look for a window and
// for the terminator at once run up to the page's end at every alignment.
TEST(StringGuardPage, NearMissSearchesEndingBeforeAnUnreadablePage) {
    zeltest::GuardedPage page;
    const std::string patterns[] = {"aab", std::string(15, 'a') + "b", "AAAB",
                                    std::string(70, 'a') + "B", "ba"};
    for (std::size_t length = 0; length < 2000; length += length < 300 ? 1 : 13) {
        for (int end = 0; end < 2; ++end) {
            std::string text(length, 'a');
            if (end == 1 && length != 0)
                text.back() = 'b'; // a match in the last window
            const char* t = page.place(text);
            for (const std::string& pattern : patterns) {
                SCOPED_TRACE("length " + std::to_string(length) + " pattern " + pattern);
                EXPECT_EQ(u::strstr(t, pattern.c_str()), Search(t, pattern.c_str(), false));
                EXPECT_EQ(u::strstrNoCase(t, pattern.c_str()), Search(t, pattern.c_str(), true));
            }
        }
    }
}

// ---- Every vector level ----
// The library chooses its vector width (portable loops, SSE2, AVX2 or AVX-512) once
// per process; only the test seam SetTextVectorLevelForTesting lowers it. Each
// level runs the tests of the text primitives and the hashes above in a process of
// its own, which first asks the library which level it runs.

namespace {

// Whether this processor (and its operating system) runs the level, else why not.
// Asked of the compiler's run-time, not of the library under test.
bool LevelRuns(const std::string& level, std::string& why) {
    if (level == "portable")
        return true;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    bool runs = true;
    if (level == "avx2")
        runs = __builtin_cpu_supports("avx2");
    else if (level == "avx512")
        runs = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
               __builtin_cpu_supports("avx512vl");
    if (!runs)
        why = level + ": this processor lacks it";
    return runs;
#else
    why = level + ": not an x86 processor";
    return false;
#endif
}

// The widest level this processor runs.
std::string WidestLevel() {
    std::string why;
    for (const char* level : {"avx512", "avx2", "sse2"}) {
        if (LevelRuns(level, why))
            return level;
    }
    return "portable";
}

void SetVariable(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value ? value : "");
#else
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
#endif
}

// Sets an environment variable for the children started while it lives.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : m_name(name) {
        const char* old = std::getenv(name);
        m_had = old != nullptr;
        if (m_had)
            m_old = old;
        SetVariable(name, value.c_str());
    }
    ~ScopedVariable() { SetVariable(m_name, m_had ? m_old.c_str() : nullptr); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* m_name;
    bool m_had = false;
    std::string m_old;
};

class TextVectorLevel : public ::testing::TestWithParam<const char*> {};

} // namespace

// Runs the text tests of this program at the level args[0], after the library
// has said that it runs that level.
ZEL_TEST_CHILD(TextTestsAtOneLevel) {
    if (args.empty())
        return 2;
    const std::string set = zel::detail::SetTextVectorLevelForTesting(args[0].c_str());
    const std::string running = zel::detail::TextVectorLevelForTesting();
    if (set != args[0] || running != args[0]) {
        std::fprintf(stderr, "asked for the level %s, the library runs %s (seam answered %s)\n",
                     args[0].c_str(), running.c_str(), set.c_str());
        return 3;
    }
    std::string program = "test_util";
    std::string filter = "--gtest_filter=StringLength.*:StringOrder.*:StringSearch.*:"
                         "StringGuardPage.*:HashUtil.*";
    char* argv[] = {&program[0], &filter[0], nullptr};
    int argc = 2;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

TEST_P(TextVectorLevel, ReferenceAnswersAndGuardPages) {
    const std::string level = GetParam();
    std::string why;
    if (!LevelRuns(level, why))
        GTEST_SKIP() << why;
    EXPECT_EQ(zeltest::runChild("TextTestsAtOneLevel", {level}), 0) << level;
}

INSTANTIATE_TEST_SUITE_P(EachLevel, TextVectorLevel,
                         ::testing::Values("portable", "sse2", "avx2", "avx512"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param);
                         });

// The level the library chooses by itself, whatever the environment says.
ZEL_TEST_CHILD(ReportWidestLevel) {
    (void)args;
    const std::string running = zel::detail::TextVectorLevelForTesting();
    if (running != WidestLevel()) {
        std::fprintf(stderr, "the library runs %s, this processor runs %s\n", running.c_str(),
                     WidestLevel().c_str());
        return 3;
    }
    return 0;
}

// The library reads no environment variable: the name that used to lower the
// level, set to the narrowest level, changes nothing.
TEST(TextVectorLevel, EnvironmentChangesNothing) {
    // The test programs of a build may start at a lower level of their own
    // (ZEL_TEST_TEXT_VECTORS); the child below starts at the library's choice.
#ifdef ZEL_TEST_TEXT_VECTORS
    GTEST_SKIP() << "this build's test programs lower the level to " ZEL_TEST_TEXT_VECTORS;
#endif
    ScopedVariable variable("ZEL_TEXT_VECTORS", "portable");
    EXPECT_EQ(zeltest::runChild("ReportWidestLevel"), 0);
}

// The seam lowers the level and never raises it past what the processor runs.
TEST(TextVectorLevel, SeamLowersAndStopsAtTheWidest) {
    const std::string before = zel::detail::TextVectorLevelForTesting();
    EXPECT_STREQ(zel::detail::SetTextVectorLevelForTesting("portable"), "portable");
    EXPECT_STREQ(zel::detail::TextVectorLevelForTesting(), "portable");
    EXPECT_EQ(u::strlen("abc"), 3u);
    const std::string widest = WidestLevel();
    EXPECT_EQ(zel::detail::SetTextVectorLevelForTesting("avx512"), widest);
    EXPECT_EQ(zel::detail::SetTextVectorLevelForTesting(nullptr), widest);
    EXPECT_EQ(zel::detail::SetTextVectorLevelForTesting("fastest"), widest);
    EXPECT_EQ(zel::detail::TextVectorLevelForTesting(), widest);
    zel::detail::SetTextVectorLevelForTesting(before.c_str());
}
