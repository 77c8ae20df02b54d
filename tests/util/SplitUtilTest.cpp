#include "zel/SplitUtil.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using List = zel::Array<zel::BaseString<char>>;
using zel::util::singleStringToMultipleStrings;
using zel::util::splitString;

// Marks an element that is the null string (never held a text), as opposed to "".
const std::string kNull = "<null>";

std::vector<std::string> Items(const List& list) {
    std::vector<std::string> items;
    for (unsigned int i = 0; i < list.Size(); ++i) {
        const char* p = list[i];
        items.push_back(p != nullptr ? std::string(p) : kNull);
    }
    return items;
}

std::vector<std::string> Texts(std::initializer_list<std::string> texts) {
    return texts;
}

struct DelimitedCase {
    const char* text;
    const char* delimiters;
    bool trim;
    std::vector<std::string> items;
};

TEST(SplitUtil, DelimitedFields) {
    const DelimitedCase cases[] = {
        {"a,b,c", ",", false, {"a", "b", "c"}},
        {"a,,b", ",", false, {"a", kNull, "b"}},
        {",a", ",", false, {kNull, "a"}},
        {"a,", ",", false, {"a"}},
        {",", ",", false, {kNull}},
        {"", ",", false, {}},
        {nullptr, ",", false, {}},
        {"a;b,c", ",;", false, {"a", "b", "c"}},
        {"a b", " ", false, {"a", "b"}},
        // Quoted fields.
        {"\"a,b\",c", ",", false, {"a,b", "c"}},
        {"\"say \"\"hi\"\"\",x", ",", false, {"say \"hi\"", "x"}},
        {"\"a\"\"\",b", ",", false, {"a\"", "b"}},
        {"\"\"\"\"", ",", false, {"\""}},
        {"\"\",x", ",", false, {kNull, "x"}},
        {"\"abc", ",", false, {"abc"}},
        {"\"a,b", ",", false, {"a,b"}},
        {"\"ab\"c,d", ",", false, {"ab\"c,d"}},
        {"\"a\",\"b\"", ",", false, {"a", "b"}},
        {"\"a\",", ",", false, {"a"}},
        {"\"a\";b", ",;", false, {"a", "b"}},
        {"a\"b,c", ",", false, {"a\"b", "c"}},
        {"\"", ",", false, {kNull}},
        // Trimming after the quotes are resolved.
        {" a , b ", ",", true, {"a", "b"}},
        {" a , b ", ",", false, {" a ", " b "}},
        {"\" a \",b", ",", true, {"a", "b"}},
        {"\" a \",b", ",", false, {" a ", "b"}},
        {" \"a\",b", ",", true, {"\"a\"", "b"}},
        {"\t\r\n,x", ",", true, {"", "x"}},
        {"a\xA0,\vb", ",", true, {"a\xA0", "\vb"}},
        // No delimiters: the whole text is one field.
        {"a,b", nullptr, false, {"a,b"}},
        {"\"a,b\"", nullptr, false, {"a,b"}},
        {"a,b", "", false, {"a,b"}},
    };
    for (const DelimitedCase& c : cases) {
        SCOPED_TRACE(c.text ? c.text : "(null text)");
        List list;
        singleStringToMultipleStrings(c.text, c.delimiters, list, c.trim);
        EXPECT_EQ(Items(list), c.items);
    }
}

TEST(SplitUtil, DelimitedReplacesTheList) {
    List list;
    singleStringToMultipleStrings("x,y,z", ",", list, false);
    // Reused slots are emptied strings, not null ones.
    singleStringToMultipleStrings("a,,b", ",", list, false);
    EXPECT_EQ(Items(list), Texts({"a", "", "b"}));
    singleStringToMultipleStrings("q", ",", list, false);
    EXPECT_EQ(Items(list), Texts({"q"}));
    singleStringToMultipleStrings("", ",", list, false);
    EXPECT_EQ(list.Size(), 0u);
    singleStringToMultipleStrings("a,b", ",", list, false);
    singleStringToMultipleStrings(nullptr, ",", list, false);
    EXPECT_EQ(list.Size(), 0u);
}

TEST(SplitUtil, DelimitedManyFieldsGrowTheList) {
    std::string text;
    std::vector<std::string> expected;
    for (int i = 0; i < 300; ++i) {
        const std::string field =
            i % 3 == 0 ? "\"f," + std::to_string(i) + "\"" : std::to_string(i);
        text += field + ",";
        expected.push_back(i % 3 == 0 ? "f," + std::to_string(i) : std::to_string(i));
    }
    List list;
    singleStringToMultipleStrings(text.c_str(), ",", list, false);
    EXPECT_EQ(Items(list), expected);
}

TEST(SplitUtil, SplitString) {
    struct Case {
        const char* text;
        const char* separator;
        std::vector<std::string> items;
    } cases[] = {
        {"a::b::::c", "::", {"a", "b", kNull, "c"}},
        {"abc", "::", {"abc"}},
        {"a::", "::", {"a"}},
        {"::a", "::", {kNull, "a"}},
        {"::", "::", {kNull}},
        {":::", "::", {kNull, ":"}},
        {"aaa", "aa", {kNull, "a"}},
        {"a", "abc", {"a"}},
        {"a,b", ",", {"a", "b"}},
        {"a::b", nullptr, {"a::b"}},
        {"a::b", "", {"a::b"}}, // an empty separator is no separator
        {"", "::", {}},
        {nullptr, "::", {}},
        {"", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text ? c.text : "(null text)");
        List list;
        splitString(c.text, c.separator, list);
        EXPECT_EQ(Items(list), c.items);
    }
}

TEST(SplitUtil, SplitStringAppends) {
    List list;
    list.Add("x");
    list.Add("y");
    splitString("a::b", "::", list);
    EXPECT_EQ(Items(list), Texts({"x", "y", "a", "b"}));
    splitString("", "::", list);
    EXPECT_EQ(list.Size(), 4u);
}

TEST(SplitUtil, SplitStringOfItsOwnElement) {
    // The text lives in the list, which grows past its capacity during the call.
    List list;
    for (const char* t : {"p,q,r", "b", "c", "d", "e"})
        list.Add(t);
    splitString(list[0], ",", list);
    EXPECT_EQ(Items(list), Texts({"p,q,r", "b", "c", "d", "e", "p", "q", "r"}));
}

} // namespace
