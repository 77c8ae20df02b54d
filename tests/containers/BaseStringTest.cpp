#include "ContainerTestSupport.h"

#include "zel/BaseString.h"
#include "zel/Exception.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>

using zel::BaseString;
using Str = BaseString<char>;
using ctest::AllocationHook;
using ctest::Bits;

namespace {

constexpr std::uint32_t kUncounted = 0x7FFFFFF;

unsigned int ExpectedExponent(unsigned int length) {
    unsigned int bits = 0;
    for (unsigned int n = length; n != 0; n >>= 1)
        ++bits;
    return bits < 4 ? 4 : bits;
}

// A string whose cached length is uncounted, holding `text` in a 2^exponent buffer.
Str Uncounted(const char* text, unsigned int exponent) {
    Str s;
    s.Resize((1u << exponent) - 1, true);
    std::strcpy(const_cast<char*>(static_cast<const char*>(s)), text);
    return s;
}

} // namespace

// The word after the pointer: length in the low 27 bits, exponent in the high 5.
TEST(BaseStringLayout, PointerThenLengthAndExponentWord) {
    EXPECT_EQ(sizeof(Str), sizeof(void*) == 4 ? 8u : 16u);
    Str null;
    EXPECT_EQ(Bits(null).buffer, nullptr);
    EXPECT_EQ(Bits(null).word, 0x07FFFFFFu);
    EXPECT_EQ(null.Length(), 0u);
    EXPECT_EQ(Bits(null).word, 0u);

    Str s("abc");
    EXPECT_EQ(Bits(s).buffer, static_cast<const char*>(s));
    EXPECT_EQ(Bits(s).word, (4u << 27) | 3u);
    s = "0123456789abcdef";
    EXPECT_EQ(Bits(s).word, (5u << 27) | 16u);
    s.Resize(1000, true);
    EXPECT_EQ(Bits(s).word, (10u << 27) | kUncounted);
}

TEST(BaseString, NullAndEmptyDiffer) {
    Str null;
    EXPECT_EQ(static_cast<const char*>(null), nullptr);
    Str fromNull(nullptr);
    EXPECT_EQ(static_cast<const char*>(fromNull), nullptr);

    Str empty("");
    ASSERT_NE(static_cast<const char*>(empty), nullptr);
    EXPECT_STREQ(empty, "");
    EXPECT_EQ(Bits(empty).word, (4u << 27) | 0u);

    // Clear and Resize(0) keep each kind as it is.
    null.Clear();
    null.Resize(0, false);
    EXPECT_EQ(static_cast<const char*>(null), nullptr);
    Str text("abc");
    const char* buffer = text;
    text.Clear();
    EXPECT_EQ(static_cast<const char*>(text), buffer);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(text.Length(), 0u);

    // Operations on the null string leave it null and give defined answers.
    null.TrimLeft();
    null.TrimRight();
    null.Truncate(3);
    EXPECT_EQ(static_cast<const char*>(null), nullptr);
    EXPECT_EQ(null.FindLast("x"), -1);
}

TEST(BaseString, BuffersArePowersOfTwoFromSixteen) {
    for (unsigned int n : {0u, 1u, 15u, 16u, 31u, 32u, 100u, 1000u}) {
        SCOPED_TRACE(n);
        const std::string text(n, 'x');
        Str s(text.c_str());
        EXPECT_EQ(Bits(s).exponent(), ExpectedExponent(n));
        EXPECT_EQ(Bits(s).length(), n);
        EXPECT_EQ(std::string(s), text);
    }
}

TEST(BaseString, AppendingGrowsByPowersOfTwoAndNeverShrinks) {
    Str s("");
    std::string model;
    const char* buffer = s;
    for (unsigned int i = 1; i <= 300; ++i) {
        s += "y";
        model += 'y';
        const unsigned int e = ExpectedExponent(i);
        ASSERT_EQ(Bits(s).exponent(), e) << i;
        ASSERT_EQ(Bits(s).length(), i);
        // A new buffer only when the text reached a power of two.
        if (static_cast<const char*>(s) != buffer) {
            ASSERT_EQ(i & (i - 1), 0u) << i;
        }
        buffer = s;
    }
    EXPECT_EQ(std::string(s), model);

    // Shorter texts keep the 512-byte buffer.
    s = "a";
    EXPECT_EQ(static_cast<const char*>(s), buffer);
    s.Truncate(0);
    s.Resize(3, false);
    EXPECT_EQ(Bits(s).exponent(), 9u);
    Str other("b");
    s = other;
    EXPECT_EQ(static_cast<const char*>(s), buffer);
    EXPECT_EQ(Bits(s).exponent(), 9u);
}

TEST(BaseString, AssignmentThatFitsReusesTheBuffer) {
    AllocationHook hook;
    Str s("01234567890123456789"); // 20 characters: 32 bytes
    const char* buffer = s;
    s = "abcde";
    EXPECT_EQ(static_cast<const char*>(s), buffer);
    EXPECT_EQ(Bits(s).word, (5u << 27) | 5u);
    s = "0123456789012345678901234567890"; // 31 characters still fit
    EXPECT_EQ(static_cast<const char*>(s), buffer);
    EXPECT_EQ(s.Length(), 31u);
    // Whatever the cached length was.
    s.Resize(20, false);
    s.Resize(0, false);
    s.Resize(25, true); // fits: nothing changes but the terminator at 25
    s = "xy";
    EXPECT_EQ(Bits(s).word, (5u << 27) | 2u);
    EXPECT_EQ(hook.Requests().size(), 1u);

    s = "0123456789012345678901234567890123"; // 34: a 64-byte buffer
    EXPECT_EQ(Bits(s).word, (6u << 27) | 34u);
    EXPECT_EQ(hook.Requests().size(), 2u);
    EXPECT_EQ(hook.Requests().back(), 64u);
}

TEST(BaseString, AssigningNullFreesTheBuffer) {
    AllocationHook hook;
    Str s("abc");
    s = static_cast<const char*>(nullptr);
    EXPECT_EQ(static_cast<const char*>(s), nullptr);
    EXPECT_EQ(hook.Releases(), 1u);
    EXPECT_EQ(Bits(s).word, 0x07FFFFFFu);
    EXPECT_EQ(s.Length(), 0u);
    EXPECT_EQ(static_cast<const char*>(s), nullptr);
    Str null;
    Str t("abc");
    t = null;
    EXPECT_EQ(static_cast<const char*>(t), nullptr);
    EXPECT_EQ(hook.Releases(), 2u);
}

TEST(BaseString, AppendingEmptyKeepsNullAndEmpty) {
    Str null;
    null += "";
    null.Append("abc", 0);
    null += nullptr;
    null.Append(nullptr, 5);
    EXPECT_EQ(static_cast<const char*>(null), nullptr);

    Str empty("");
    empty += "";
    EXPECT_STREQ(empty, "");
    EXPECT_EQ(Bits(empty).word, (4u << 27) | 0u);

    null += "ab";
    EXPECT_STREQ(null, "ab");
    EXPECT_EQ(Bits(null).word, (4u << 27) | 2u);
}

TEST(BaseString, UncountedLengthIsFilledInWhenNeeded) {
    Str s("abc");
    s.Resize(40, true); // new buffer, nothing kept
    EXPECT_EQ(Bits(s).word, (6u << 27) | kUncounted);
    char* raw = const_cast<char*>(static_cast<const char*>(s));
    std::strcpy(raw, "hello");
    const Str& view = s;
    EXPECT_EQ(view.Length(), 5u);
    EXPECT_EQ(Bits(s).length(), 5u);

    // Growing without discarding keeps the text and the length field.
    Str u = Uncounted("xyz", 5);
    u.Resize(100, false);
    EXPECT_EQ(Bits(u).word, (7u << 27) | kUncounted);
    EXPECT_STREQ(u, "xyz");
    EXPECT_EQ(u.Length(), 3u);

    // Resize inside the buffer: cuts a longer length, leaves a shorter one.
    Str r("abcdef");
    r.Resize(3, false);
    EXPECT_STREQ(r, "abc");
    EXPECT_EQ(Bits(r).length(), 3u);
    r.Resize(10, false);
    EXPECT_STREQ(r, "abc");
    EXPECT_EQ(Bits(r).length(), 3u);
}

TEST(BaseString, CopiesSizeByLengthOrCapacity) {
    struct Case {
        const char* name;
        Str source;
        std::uint32_t word;
    };
    Str big("0123456789012345678901");
    big.Resize(200, false); // 256 bytes, 22 characters
    Case cases[] = {
        {"short", Str("abc"), (4u << 27) | 3u},
        {"big buffer, short text", big, (5u << 27) | 22u},
        {"uncounted", Uncounted("abc", 7), (7u << 27) | kUncounted},
        {"empty", Str(""), (4u << 27) | 0u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Str copy(c.source);
        EXPECT_EQ(Bits(copy).word, c.word);
        EXPECT_NE(static_cast<const char*>(copy), static_cast<const char*>(c.source));
        EXPECT_STREQ(copy, c.source);

        // Assignment: into a null string and into one with a larger buffer.
        Str assigned;
        assigned = c.source;
        EXPECT_EQ(Bits(assigned).length(), Bits(c.source).length());
        EXPECT_STREQ(assigned, c.source);
        Str large(std::string(500, 'q').c_str());
        const char* buffer = large;
        large = c.source;
        EXPECT_EQ(static_cast<const char*>(large), buffer);
        EXPECT_EQ(Bits(large).word, (9u << 27) | Bits(c.source).length());
        EXPECT_STREQ(large, c.source);
    }
    // An uncounted source makes room for its whole capacity.
    Str target;
    target = Uncounted("abc", 7);
    EXPECT_EQ(Bits(target).exponent(), 7u);

    // Copies never share, and the null string copies as null.
    Str a("abc");
    Str b(a);
    b += "d";
    EXPECT_STREQ(a, "abc");
    Str null;
    Str nullCopy(null);
    EXPECT_EQ(static_cast<const char*>(nullCopy), nullptr);
    const Str& alias = a;
    a = alias;
    EXPECT_STREQ(a, "abc");
}

TEST(BaseString, MoveHandsTheBufferOver) {
    Str a("moved text");
    const char* buffer = a;
    Str b(std::move(a));
    EXPECT_EQ(static_cast<const char*>(b), buffer);
    EXPECT_EQ(Bits(b).word, (4u << 27) | 10u);
    EXPECT_EQ(static_cast<const char*>(a), nullptr);
    EXPECT_EQ(Bits(a).word, 0x07FFFFFFu);
}

TEST(BaseString, FindLast) {
    struct Case {
        const char* text;
        const char* pattern;
        int expected;
    };
    const Case cases[] = {
        {"a\\b\\", "\\", 3},     {"a\\b\\", "b\\", 2},
        {"abcabc", "abc", 3},    {"abcabc", "abcabcd", -1},
        {"abc", "", 3},          {"abc", nullptr, -1},
        {"abc", "x", -1},        {"aaa", "aa", 1},
        {"abc", "abc", 0},       {"", "", 0},
        {"", "a", -1},           {nullptr, "a", -1},
        {"a\\b\\", nullptr, -1}, {"", nullptr, -1},
        {nullptr, nullptr, 0},   {nullptr, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text ? c.text : "(null)") + " / " +
                     (c.pattern ? c.pattern : "(null)"));
        Str s(c.text);
        EXPECT_EQ(s.FindLast(c.pattern), c.expected);
        if (c.text != nullptr) {
            Str u = Uncounted(c.text, 5);
            EXPECT_EQ(u.FindLast(c.pattern), c.expected);
        }
    }
}

TEST(BaseString, Trim) {
    struct Case {
        const char* text;
        bool left;
        const char* expected;
    };
    const Case cases[] = {
        {"ab \t\r\n", false, "ab"},
        {"  x", true, "x"},
        {"ab\xA0", false, "ab\xA0"},
        {"\xA0x", true, "\xA0x"},
        {" \t\r\n", false, ""},
        {" \t\r\n", true, ""},
        {"\v a", true, "\v a"},
        {"a\f", false, "a\f"},
        {"", true, ""},
        {"", false, ""},
        {" a b ", true, "a b "},
        {" a b ", false, " a b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.left ? "left: " : "right: ") + c.text);
        for (bool uncounted : {false, true}) {
            Str s = uncounted ? Uncounted(c.text, 5) : Str(c.text);
            const char* buffer = s;
            if (c.left)
                s.TrimLeft();
            else
                s.TrimRight();
            EXPECT_STREQ(s, c.expected);
            EXPECT_EQ(static_cast<const char*>(s), buffer);
            EXPECT_EQ(s.Length(), std::strlen(c.expected));
            if (!c.left || !uncounted) {
                EXPECT_EQ(Bits(s).length(), std::strlen(c.expected));
            }
        }
    }
}

TEST(BaseString, Truncate) {
    struct Case {
        const char* text;
        unsigned int n;
        const char* expected;
    };
    const Case cases[] = {
        {"abc", 2, "ab"}, {"abc", 5, "abc"}, {"abc", 3, "abc"}, {"abc", 0, ""}, {"", 1, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " " + std::to_string(c.n));
        Str s(c.text);
        s.Truncate(c.n);
        EXPECT_STREQ(s, c.expected);
        EXPECT_EQ(Bits(s).length(), std::strlen(c.expected));

        // Uncounted: a text ending before n stays uncounted; otherwise n is cached.
        Str u = Uncounted(c.text, 4);
        u.Truncate(c.n);
        EXPECT_STREQ(u, c.expected);
        EXPECT_EQ(Bits(u).length(), std::strlen(c.text) < c.n ? kUncounted : c.n);
    }
    // n past the buffer of an uncounted string: nothing is read past it.
    Str full = Uncounted("0123456789abcde", 4);
    full.Truncate(1000);
    EXPECT_STREQ(full, "0123456789abcde");
}

TEST(BaseString, SourcesInsideTheOwnBuffer) {
    Str s("0123456789");
    s = static_cast<const char*>(s) + 3;
    EXPECT_STREQ(s, "3456789");
    EXPECT_EQ(s.Length(), 7u);

    // Self-append within the buffer and with a new buffer.
    Str a("abc");
    a += a;
    EXPECT_STREQ(a, "abcabc");
    EXPECT_EQ(a.Length(), 6u);
    Str b("0123456789");
    b += b; // 20 characters: a new buffer, the source was the old one
    EXPECT_STREQ(b, "01234567890123456789");
    EXPECT_EQ(Bits(b).word, (5u << 27) | 20u);
    b.Append(static_cast<const char*>(b) + 15, 100);
    EXPECT_STREQ(b, "0123456789012345678956789");

    // A text kept in the buffer past the terminator (where the new terminator goes).
    Str c("0123456789");
    char* raw = const_cast<char*>(static_cast<const char*>(c));
    std::strcpy(raw + 11, "tail");
    c += raw + 11;
    EXPECT_STREQ(c, "0123456789tail");
    c += static_cast<const char*>(c) + 4; // grows past 16
    EXPECT_STREQ(c, "0123456789tail456789tail");
}

TEST(BaseString, AppendWithShortSourceStopsAtItsTerminator) {
    struct Case {
        const char* start;
        const char* source;
        unsigned int n;
        const char* expected;
    };
    const Case cases[] = {
        {"ab", "cde", 2, "abcd"},
        {"ab", "cde", 3, "abcde"},
        {"ab", "cde", 10, "abcde"},
        {"ab", "cde", 0xFFFFFFFFu, "abcde"},
        {"", "", 4, ""},
        {nullptr, "xyz", 100, "xyz"},
        {"ab", "0123456789abcdef", 16, "ab0123456789abcdef"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.source) + " " + std::to_string(c.n));
        // The source lives in an exact-size block, so ASan reports any read past it.
        std::unique_ptr<char[]> exact(new char[std::strlen(c.source) + 1]);
        std::strcpy(exact.get(), c.source);
        Str s(c.start);
        s.Append(exact.get(), c.n);
        EXPECT_STREQ(s, c.expected);
        EXPECT_EQ(Bits(s).length(), std::strlen(c.expected));
    }
}

// Every failed allocation throws MemoryException and leaves the string as it was.
TEST(BaseStringFailure, AllocationFailureChangesNothing) {
    struct Case {
        const char* name;
        const char* start;
        std::size_t refuseFrom; // requests before this one succeed (temporaries)
        void (*operation)(Str&);
    };
    static const std::string longText(40, 'L');
    const Case cases[] = {
        {"assign text to null", nullptr, 0, [](Str& s) { s = "abc"; }},
        {"assign longer text", "0123456789", 0, [](Str& s) { s = longText.c_str(); }},
        {"append", "0123456789", 0, [](Str& s) { s += "0123456789"; }},
        {"append to null", nullptr, 0, [](Str& s) { s += "x"; }},
        {"append n", "0123456789", 0, [](Str& s) { s.Append("0123456789", 8); }},
        {"resize keep", "abc", 0, [](Str& s) { s.Resize(16, false); }},
        {"resize discard", "abc", 0, [](Str& s) { s.Resize(100, true); }},
        {"assign string", "abc", 1, [](Str& s) { s = Str(longText.c_str()); }},
        {"assign empty string to null", nullptr, 1, [](Str& s) { s = Str(""); }},
        {"self append", "0123456789", 0, [](Str& s) { s += s; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Str s(c.start);
        s.Length(); // counting is not a change
        const std::string before = c.start ? c.start : "";
        const ctest::StringBits bits = Bits(s);
        {
            AllocationHook hook;
            hook.FailFrom(c.refuseFrom);
            EXPECT_THROW(c.operation(s), zel::MemoryException);
            EXPECT_GT(hook.Requests().size(), c.refuseFrom);
        }
        EXPECT_EQ(Bits(s).buffer, bits.buffer);
        EXPECT_EQ(Bits(s).word, bits.word);
        if (c.start != nullptr) {
            EXPECT_EQ(std::string(s), before);
        }
        // Still usable.
        s += "!";
        EXPECT_EQ(std::string(s), before + "!");
    }
}

TEST(BaseStringFailure, ConstructorsThrowWithoutLeaking) {
    AllocationHook hook;
    Str source("abc");
    hook.FailFrom(0);
    EXPECT_THROW(Str("x"), zel::MemoryException);
    EXPECT_THROW(Str{source}, zel::MemoryException);
    hook.Allow();
    EXPECT_EQ(hook.Granted(), 1u);
}

// Lengths that a 27-bit field cannot hold are refused before anything changes.
class BaseStringLimits : public ::testing::Test {
protected:
    static constexpr unsigned int kMax = 134217726; // longest text
    static void SetUpTestSuite() { s_huge = new std::string(kMax + 1, 'h'); }
    static void TearDownTestSuite() {
        delete s_huge;
        s_huge = nullptr;
    }
    static const char* Huge() { return s_huge->c_str(); }        // kMax + 1 characters
    static const char* Longest() { return s_huge->c_str() + 1; } // kMax characters
    static inline std::string* s_huge = nullptr;
};

TEST_F(BaseStringLimits, TooLongTextsAreRefusedBeforeAnythingChanges) {
    struct Case {
        const char* name;
        const char* start;
        void (*operation)(Str&);
    };
    const Case cases[] = {
        {"construct", nullptr, [](Str& s) { s = Str(Huge()); }},
        {"assign", "abc", [](Str& s) { s = Huge(); }},
        {"append", "", [](Str& s) { s += Huge(); }},
        {"append to longest", "a", [](Str& s) { s += Longest(); }},
        {"append n", "ab", [](Str& s) { s.Append(Huge(), kMax); }},
        {"append n to null", nullptr, [](Str& s) { s.Append(Huge(), kMax + 1); }},
        {"resize", "abc", [](Str& s) { s.Resize(kMax + 1, false); }},
        {"resize all ones", "abc", [](Str& s) { s.Resize(0xFFFFFFFFu, true); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Str s(c.start);
        s.Length(); // counting is not a change
        const ctest::StringBits bits = Bits(s);
        AllocationHook hook;
        EXPECT_THROW(c.operation(s), zel::MemoryException);
        EXPECT_TRUE(hook.Requests().empty());
        EXPECT_EQ(Bits(s).buffer, bits.buffer);
        EXPECT_EQ(Bits(s).word, bits.word);
    }
}

TEST_F(BaseStringLimits, TheLongestTextIsAccepted) {
    // Asked for, but refused by the hook: nothing of 128 MiB is allocated.
    struct Case {
        const char* name;
        const char* start;
        void (*operation)(Str&);
    };
    const Case cases[] = {
        {"assign", "abc", [](Str& s) { s = Longest(); }},
        {"append", "ab", [](Str& s) { s.Append(Huge(), kMax - 2); }},
        {"resize", nullptr, [](Str& s) { s.Resize(kMax, true); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Str s(c.start);
        AllocationHook hook;
        hook.FailFrom(0);
        EXPECT_THROW(c.operation(s), zel::MemoryException);
        ASSERT_EQ(hook.Requests().size(), 1u);
        EXPECT_EQ(hook.Requests()[0], std::size_t(1) << 27);
        EXPECT_STREQ(s, c.start);
    }
}
