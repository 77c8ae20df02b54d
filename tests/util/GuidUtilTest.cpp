#include "zel/GuidUtil.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <set>
#include <string>

namespace {

using zel::util::CreateUniqueID;
using zel::util::IsGUIDEqual;
using zel::util::UniqueIDToString;

std::string Text(const _GUID& id) {
    zel::BaseString<char> text;
    UniqueIDToString(id, text);
    return std::string(text);
}

TEST(GuidUtil, Layout) {
    EXPECT_EQ(sizeof(_GUID), 16u);
    EXPECT_EQ(offsetof(_GUID, Data1), 0u);
    EXPECT_EQ(offsetof(_GUID, Data2), 4u);
    EXPECT_EQ(offsetof(_GUID, Data3), 6u);
    EXPECT_EQ(offsetof(_GUID, Data4), 8u);
    EXPECT_EQ(sizeof(_GUID::Data1), 4u);
}

TEST(GuidUtil, Text) {
    struct Case {
        _GUID id;
        const char* text;
    } cases[] = {
        {{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}}, "{00000000-0000-0000-0000-000000000000}"},
        {{255, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}}, "{000000FF-0000-0000-0000-000000000000}"},
        {{0x3F2504E0, 0x4F89, 0x41D3, {0x9A, 0x0C, 0x03, 0x05, 0xE8, 0x2C, 0x33, 0x01}},
         "{3F2504E0-4F89-41D3-9A0C-0305E82C3301}"},
        {{0xFFFFFFFF, 0xFFFF, 0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
         "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}"},
        {{0x01020304, 0x0506, 0x0708, {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10}},
         "{01020304-0506-0708-090A-0B0C0D0E0F10}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Text(c.id), c.text);
    }
    // The content is replaced, not appended to.
    zel::BaseString<char> text("a previous and rather longer content of the string");
    UniqueIDToString(cases[2].id, text);
    EXPECT_STREQ(text, "{3F2504E0-4F89-41D3-9A0C-0305E82C3301}");
    EXPECT_EQ(text.Length(), 38u);
}

TEST(GuidUtil, Equality) {
    _GUID a = {0x3F2504E0, 0x4F89, 0x41D3, {0x9A, 0x0C, 0x03, 0x05, 0xE8, 0x2C, 0x33, 0x01}};
    EXPECT_TRUE(IsGUIDEqual(a, a));
    for (std::size_t byte = 0; byte < sizeof(_GUID); ++byte) {
        SCOPED_TRACE(byte);
        _GUID b = a;
        EXPECT_TRUE(IsGUIDEqual(a, b));
        reinterpret_cast<unsigned char*>(&b)[byte] ^= 0x10;
        EXPECT_FALSE(IsGUIDEqual(a, b));
        EXPECT_FALSE(IsGUIDEqual(b, a));
    }
}

TEST(GuidUtil, CreatedIdentifiersAreNewVersionFour) {
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) {
        _GUID id;
        std::memset(&id, 0, sizeof id);
        CreateUniqueID(id);
        const std::string text = Text(id);
        ASSERT_EQ(text.size(), 38u);
        // Random identifiers: version 4, RFC 4122 variant (both generators).
        EXPECT_EQ(text[15], '4') << text;
        EXPECT_NE(std::string("89AB").find(text[20]), std::string::npos) << text;
        EXPECT_TRUE(seen.insert(text).second) << "repeated " << text;
    }
    _GUID a, b;
    CreateUniqueID(a);
    CreateUniqueID(b);
    EXPECT_FALSE(IsGUIDEqual(a, b));
}

} // namespace
