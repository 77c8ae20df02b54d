// Allocation failures inside the cipher leave the caller's objects as they were.
#include "zel/BlowFish.h"

#include "testing/TestHooks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

int g_allocationsBeforeFailure = 0;

void* FailingAllocate(std::size_t bytes) {
    if (g_allocationsBeforeFailure-- <= 0)
        return nullptr;
    return std::malloc(bytes);
}

// Makes allocations inside the library fail after `succeed` successful ones.
class LibraryAllocationFailure {
public:
    explicit LibraryAllocationFailure(int succeed) {
        g_allocationsBeforeFailure = succeed;
        zel::detail::SetLibraryAllocatorForTesting(&FailingAllocate, nullptr);
    }
    ~LibraryAllocationFailure() { zel::detail::SetLibraryAllocatorForTesting(nullptr, nullptr); }
};

std::string Bytes(const zel::Array<unsigned char>& a) {
    return std::string(reinterpret_cast<const char*>(a.Data()), a.Size());
}

} // namespace

TEST(BlowFishMemory, FailedAllocationThrowsAndLeavesOutputUnchanged) {
    zel::Array<unsigned char> sealed;
    zel::BlowFish::Encrypt("key", "a text long enough to need a bigger output array", sealed);
    const std::string before = Bytes(sealed);

    zel::Array<unsigned char> small;
    small.Add(1); // capacity 5: the 56-byte result needs a new block
    for (int succeed : {0, 1}) {
        SCOPED_TRACE(succeed);
        {
            LibraryAllocationFailure failure(succeed);
            EXPECT_THROW(zel::BlowFish::Encrypt("key", "another text for the cipher", small),
                         zel::MemoryException);
        }
        ASSERT_EQ(small.Size(), 1u);
        EXPECT_EQ(small[0], 1);
    }

    zel::BaseString<char> text("unchanged");
    {
        LibraryAllocationFailure failure(0);
        EXPECT_THROW(zel::BlowFish::Decrypt("key", sealed, text), zel::MemoryException);
    }
    EXPECT_STREQ(text, "unchanged");
    EXPECT_EQ(Bytes(sealed), before);

    // Nothing is left in a broken state: the same calls succeed afterwards.
    ASSERT_TRUE(zel::BlowFish::Decrypt("key", sealed, text));
    EXPECT_STREQ(text, "a text long enough to need a bigger output array");
}
