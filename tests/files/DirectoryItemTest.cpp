#include "zel/Directory.h"

#include <gtest/gtest.h>

#include <utility>

using zel::DirectoryItem;

TEST(DirectoryItem, DefaultIsEmptyNamedAndComparesByName) {
    DirectoryItem d;
    ASSERT_NE(d.Name(), nullptr);
    EXPECT_STREQ(d.Name(), "");
    EXPECT_EQ(d.Size(), 0);
    EXPECT_EQ(d.FileTime(), 0);
    EXPECT_FALSE(d.IsDirectory());
    EXPECT_FALSE(d.IsReadOnly());
    // By name: "" sorts before "a"; by time it would be equal (both 0).
    EXPECT_TRUE(d < DirectoryItem("a", 0, false, false, 0, true));
}

TEST(DirectoryItem, ConstructorStoresArgumentsInTheirOwnOrder) {
    DirectoryItem a("a.txt", 100, false, true, 5, true);
    EXPECT_STREQ(a.Name(), "a.txt");
    EXPECT_EQ(a.FileTime(), 100);
    EXPECT_EQ(a.Size(), 5);
    EXPECT_FALSE(a.IsDirectory());
    EXPECT_TRUE(a.IsReadOnly());
    DirectoryItem big("d", -1, true, false, 0x123456789LL, true);
    EXPECT_EQ(big.Size(), 0x123456789LL);
    EXPECT_EQ(big.FileTime(), -1);
    EXPECT_TRUE(big.IsDirectory());
}

TEST(DirectoryItem, ComparisonTable) {
    struct Case {
        const char* left;
        long long leftTime;
        bool leftByName;
        const char* right;
        long long rightTime;
        bool rightByName;
        bool equal;
        bool less;
    };
    const Case cases[] = {
        {"Readme.TXT", 1, true, "README.txt", 2, true, true, false},
        {"a", 5, true, "B", 1, true, false, true},
        {"B", 1, true, "a", 5, true, false, false},
        {nullptr, 0, true, nullptr, 0, true, true, false},
        {nullptr, 0, true, "a", 0, true, false, true},
        {"a", 0, true, nullptr, 0, true, false, false},
        {nullptr, 0, true, "", 0, true, false, true},
        // By time: newer is less; same time is equal whatever the names.
        {"x", 200, false, "y", 100, false, false, true},
        {"x", 100, false, "y", 200, false, false, false},
        {"x", 100, false, "y", 100, false, true, false},
        {"x", -1, false, "y", 0, false, false, false},
        // Only the left-hand flag counts.
        {"b", 200, false, "a", 100, true, false, true},
        {"a", 100, true, "b", 200, false, false, true},
        {"same", 100, true, "SAME", 200, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.left ? c.left : "(null)") + " vs " +
                     (c.right ? c.right : "(null)"));
        DirectoryItem l(c.left, c.leftTime, false, false, 7, c.leftByName);
        DirectoryItem r(c.right, c.rightTime, true, true, 9, c.rightByName);
        EXPECT_EQ(l == r, c.equal);
        EXPECT_EQ(l < r, c.less);
    }
}

TEST(DirectoryItem, NullNameStaysNullAndAppendFollowsStringRules) {
    DirectoryItem n(nullptr, 0, false, false, 0, true);
    EXPECT_EQ(n.Name(), nullptr);
    n.AppendToName("");
    EXPECT_EQ(n.Name(), nullptr);
    n.AppendToName(nullptr);
    EXPECT_EQ(n.Name(), nullptr);
    n.AppendToName("x");
    EXPECT_STREQ(n.Name(), "x");

    DirectoryItem s("sub", 0, true, false, 0, true);
    s.AppendToName("\\x.txt");
    EXPECT_STREQ(s.Name(), "sub\\x.txt");
    s.AppendToName(nullptr);
    EXPECT_STREQ(s.Name(), "sub\\x.txt");
}

TEST(DirectoryItem, CopiesOwnTheirNames) {
    DirectoryItem a("first", 10, true, true, 3, false);
    DirectoryItem b(a);
    ASSERT_NE(a.Name(), b.Name());
    b.AppendToName("-changed");
    EXPECT_STREQ(a.Name(), "first");
    EXPECT_STREQ(b.Name(), "first-changed");

    DirectoryItem c;
    c = b;
    EXPECT_STREQ(c.Name(), "first-changed");
    EXPECT_NE(c.Name(), b.Name());
    EXPECT_EQ(c.FileTime(), 10);
    EXPECT_TRUE(c.IsDirectory());
    EXPECT_TRUE(c.IsReadOnly());
    EXPECT_EQ(c.Size(), 3);
    // The key moves with the copy: by time, 10 is newer than 5.
    EXPECT_TRUE(c < DirectoryItem("zzz", 5, false, false, 0, true));
    c = c;
    EXPECT_STREQ(c.Name(), "first-changed");
}

// An item has a copy constructor and a copy assignment and no move operations:
// std::move copies, and the item moved from keeps its name and everything else.
TEST(DirectoryItem, MovesCopyAndLeaveTheSourceAsItWas) {
    const auto expectWhole = [](const DirectoryItem& item) {
        ASSERT_NE(item.Name(), nullptr);
        EXPECT_STREQ(item.Name(), "first");
        EXPECT_EQ(item.FileTime(), 10);
        EXPECT_TRUE(item.IsDirectory());
        EXPECT_TRUE(item.IsReadOnly());
        EXPECT_EQ(item.Size(), 3);
        // Still compares by time: 10 is newer than 5.
        EXPECT_TRUE(item < DirectoryItem("zzz", 5, false, false, 0, true));
    };
    DirectoryItem a("first", 10, true, true, 3, false);
    DirectoryItem m(std::move(a));
    expectWhole(m);
    expectWhole(a);
    EXPECT_NE(m.Name(), a.Name());

    DirectoryItem t("target", 0, false, false, 0, true);
    t = std::move(m);
    expectWhole(t);
    expectWhole(m);
    EXPECT_NE(t.Name(), m.Name());

    // The null name too.
    DirectoryItem null(nullptr, 1, false, false, 2, true);
    DirectoryItem n(std::move(null));
    EXPECT_EQ(null.Name(), nullptr);
    EXPECT_EQ(n.Name(), nullptr);
    EXPECT_EQ(null.Size(), 2);
}
