#include "ContainerTestSupport.h"

#include "zel/Array.h"
#include "zel/BaseString.h"
#include "zel/Exception.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using zel::Array;
using Str = zel::BaseString<char>;
using ctest::AllocationHook;
using ctest::Bits;
using ctest::Capacity;

namespace {

// A class type that counts its live objects and how it was transferred.
struct Tracked {
    static inline int live = 0;
    static inline int copies = 0;
    static inline int moves = 0;
    int value = -1;
    Tracked() { ++live; }
    Tracked(const Tracked& o) : value(o.value) {
        ++live;
        ++copies;
    }
    Tracked(Tracked&& o) noexcept : value(o.value) {
        ++live;
        ++moves;
        o.value = -2;
    }
    Tracked& operator=(const Tracked&) = default;
    ~Tracked() { --live; }
    static void Reset() { copies = moves = 0; }
};

// Copy-only: no move constructor at all.
struct CopyOnly {
    static inline int copies = 0;
    std::string text;
    CopyOnly() = default;
    CopyOnly(const CopyOnly& o) : text(o.text) { ++copies; }
    CopyOnly(CopyOnly&&) = delete;
    CopyOnly& operator=(const CopyOnly&) = default;
};

// A move that may throw: growth must copy so that a failure changes nothing.
struct ThrowingMove {
    static inline int copies = 0;
    int value = 0;
    ThrowingMove() = default;
    ThrowingMove(const ThrowingMove& o) : value(o.value) { ++copies; }
    ThrowingMove(ThrowingMove&& o) noexcept(false) : value(o.value) {}
    ThrowingMove& operator=(const ThrowingMove&) = default;
};

std::string Message(const zel::Exception& e) {
    return e.getAt() ? e.getAt() : "";
}

} // namespace

TEST(ArrayLayout, PointerCountCapacity) {
    EXPECT_EQ(sizeof(Array<unsigned char>), sizeof(void*) == 4 ? 12u : 16u);
    EXPECT_EQ(sizeof(Array<Str>), sizeof(Array<unsigned char>));
    Array<int> a;
    EXPECT_EQ(Bits(a).data, nullptr);
    EXPECT_EQ(Bits(a).count, 0u);
    EXPECT_EQ(Bits(a).capacity, 0u);
    a.SetSize(3);
    EXPECT_EQ(Bits(a).data, a.Data());
    EXPECT_EQ(Bits(a).count, 3u);
    EXPECT_EQ(Bits(a).capacity, 5u);
}

TEST(Array, CapacitiesStartAtFiveAndDouble) {
    struct Case {
        std::vector<unsigned int> sizes;
        std::vector<unsigned int> capacities;
    };
    const Case cases[] = {
        {{1, 6, 11, 21, 41}, {5, 10, 20, 40, 80}},
        {{1, 41}, {5, 80}},
        {{5, 5, 2, 0, 5}, {5, 5, 5, 5, 5}},
        {{100, 3, 161}, {160, 160, 320}},
    };
    for (const Case& c : cases) {
        Array<unsigned char> a;
        for (std::size_t i = 0; i < c.sizes.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "step " << i << ": SetSize(" << c.sizes[i] << ")");
            a.SetSize(c.sizes[i]);
            EXPECT_EQ(a.Size(), c.sizes[i]);
            EXPECT_EQ(Capacity(a), c.capacities[i]);
        }
    }
    Array<int> added;
    for (int i = 0; i < 100; ++i) {
        added.Add(i);
        const unsigned int cap = Capacity(added);
        ASSERT_TRUE(cap == 5 || cap == 10 || cap == 20 || cap == 40 || cap == 80 || cap == 160)
            << cap;
    }
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(added[i], i);
}

TEST(Array, BytesAreZeroFilledAndDroppedBytesReappear) {
    Array<unsigned char> a;
    a.SetSize(10);
    for (unsigned int i = 0; i < 10; ++i)
        EXPECT_EQ(a[i], 0) << i;
    a[5] = 7;
    a.SetSize(3);
    a.SetSize(8); // no reallocation: the old byte is back
    EXPECT_EQ(a[5], 7);

    Array<unsigned char> b;
    b.SetSize(10);
    b[5] = 7;
    b[1] = 9;
    b.SetSize(3);
    b.SetSize(100); // reallocation: only the first 3 are carried over
    EXPECT_EQ(b[1], 9);
    EXPECT_EQ(b[5], 0);
    EXPECT_EQ(b.Data()[99], 0);
}

TEST(Array, EverySlotHoldsALiveElement) {
    Tracked::live = 0;
    {
        Array<Tracked> a;
        a.SetSize(1);
        EXPECT_EQ(Tracked::live, 5);
        a[0].value = 42;
        a.SetSize(6);
        EXPECT_EQ(Tracked::live, 10); // the 5 old slots are gone
        EXPECT_EQ(a[0].value, 42);
        a[5].value = 5;
        a.SetSize(2); // dropped elements stay alive and keep their values
        EXPECT_EQ(Tracked::live, 10);
        a.SetSize(6);
        EXPECT_EQ(a[5].value, 5);
    }
    EXPECT_EQ(Tracked::live, 0);
}

TEST(Array, ElementKindsTransferOnGrowth) {
    // Nothrow-movable class types are moved, and only the elements in use.
    Tracked::Reset();
    {
        Array<Tracked> a;
        a.SetSize(5);
        for (unsigned int i = 0; i < 5; ++i)
            a[i].value = static_cast<int>(i);
        a.SetSize(2);
        a.SetSize(6);
        EXPECT_EQ(Tracked::moves, 2);
        EXPECT_EQ(Tracked::copies, 0);
        EXPECT_EQ(a[1].value, 1);
        EXPECT_EQ(a[2].value, -1); // fresh slot
    }
    // Copy-only types are copy-constructed.
    {
        CopyOnly::copies = 0;
        Array<CopyOnly> a;
        a.SetSize(5);
        a[4].text = "four";
        a.SetSize(6);
        EXPECT_EQ(CopyOnly::copies, 5);
        EXPECT_EQ(a[4].text, "four");
        CopyOnly item;
        item.text = "added";
        a.Add(item);
        EXPECT_EQ(a[6].text, "added");
    }
    // A move that may throw is not used: copies keep the old storage intact.
    {
        ThrowingMove::copies = 0;
        Array<ThrowingMove> a;
        a.SetSize(5);
        a[3].value = 3;
        a.SetSize(6);
        EXPECT_EQ(ThrowingMove::copies, 5);
        EXPECT_EQ(a[3].value, 3);
    }
    // Move-only types work with SetSize and element access.
    {
        Array<std::unique_ptr<int>> a;
        a.SetSize(5);
        a[4] = std::make_unique<int>(4);
        const int* kept = a[4].get();
        a.SetSize(50);
        EXPECT_EQ(a[4].get(), kept);
        EXPECT_EQ(*a[4], 4);
        EXPECT_FALSE(a[49]);
    }
}

TEST(Array, StringsMoveOnGrowthWithoutTouchingTheirBuffers) {
    Array<Str> list;
    list.SetSize(5);
    const char* buffers[5];
    for (unsigned int i = 0; i < 5; ++i) {
        list[i] = std::string(20, static_cast<char>('a' + i)).c_str();
        buffers[i] = list[i];
    }
    AllocationHook hook;
    list.SetSize(6);
    ASSERT_EQ(hook.Requests().size(), 1u); // the storage only
    EXPECT_EQ(hook.Requests()[0], 10 * sizeof(Str));
    for (unsigned int i = 0; i < 5; ++i) {
        EXPECT_EQ(static_cast<const char*>(list[i]), buffers[i]);
        EXPECT_EQ(std::string(list[i]), std::string(20, static_cast<char>('a' + i)));
    }
    EXPECT_EQ(static_cast<const char*>(list[5]), nullptr); // new slots are null strings
}

TEST(Array, ShrinkingAStringListEmptiesButKeepsBuffers) {
    Array<Str> list;
    list.Add("one");
    list.Add("two");
    list.Add("three");
    const char* buffers[3] = {list[0], list[1], list[2]};
    list.SetSize(0);
    const Str* slots = list.Data();
    for (unsigned int i = 0; i < 3; ++i) {
        EXPECT_EQ(static_cast<const char*>(slots[i]), buffers[i]);
        EXPECT_STREQ(slots[i], "");
        EXPECT_EQ(ctest::Bits(slots[i]).length(), 0u);
    }
    list.SetSize(3);
    for (unsigned int i = 0; i < 3; ++i) {
        ASSERT_NE(static_cast<const char*>(list[i]), nullptr);
        EXPECT_STREQ(list[i], "");
    }
    // Refilling reuses every buffer.
    list.SetSize(0);
    AllocationHook hook;
    list.Add("uno");
    list.Add("dos");
    list.Add("tres");
    EXPECT_EQ(hook.Requests().size(), 0u);
    EXPECT_EQ(static_cast<const char*>(list[2]), buffers[2]);
    EXPECT_STREQ(list[2], "tres");
}

TEST(Array, IndexChecks) {
    struct Case {
        unsigned int count;
        unsigned int index;
        const char* message;
    };
    const Case cases[] = {
        {0, 0, "An invalid index value (0) has been detected; there are zero items"},
        {3, 3, "An invalid index value (3) has been detected; legal values are between 0 and 2"},
        {3, 0xFFFFFFFFu,
         "An invalid index value (-1) has been detected; legal values are between 0 and 2"},
        {1, 1, "An invalid index value (1) has been detected; legal values are between 0 and 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        Array<Str> a;
        a.SetSize(c.count);
        const Array<Str>& view = a;
        try {
            (void)a[c.index];
            ADD_FAILURE() << "no exception";
        } catch (const zel::InvalidIndexException& e) {
            EXPECT_EQ(Message(e), c.message);
        }
        EXPECT_THROW((void)view[c.index], zel::InvalidIndexException);
        EXPECT_EQ(a.Size(), c.count);
    }
}

TEST(Array, AssignmentAndCopies) {
    Array<Str> a;
    a.Add("alpha");
    a.Add("beta");
    const char* buffers[2] = {a[0], a[1]};
    const Array<Str>& alias = a;
    a = alias;
    EXPECT_EQ(a.Size(), 2u);
    EXPECT_EQ(static_cast<const char*>(a[0]), buffers[0]);
    EXPECT_STREQ(a[1], "beta");

    Array<Str> b(a);
    EXPECT_EQ(b.Size(), 2u);
    EXPECT_NE(b.Data(), a.Data());
    EXPECT_NE(static_cast<const char*>(b[0]), buffers[0]);
    b[0] += "!";
    EXPECT_STREQ(a[0], "alpha");

    // Assigning a shorter list keeps the target's storage and element buffers.
    Array<Str> c;
    c.Add("a long enough first text");
    c.Add("x");
    c.Add("y");
    const char* first = c[0];
    const Str* storage = c.Data();
    Array<Str> one;
    one.Add("short");
    c = one;
    EXPECT_EQ(c.Size(), 1u);
    EXPECT_EQ(c.Data(), storage);
    EXPECT_EQ(static_cast<const char*>(c[0]), first);
    EXPECT_STREQ(c[0], "short");
    EXPECT_STREQ(c.Data()[1], ""); // dropped: emptied

    Array<int> empty;
    Array<int> copy(empty);
    EXPECT_EQ(copy.Data(), nullptr);
    EXPECT_EQ(Capacity(copy), 0u);
}

TEST(Array, AddOfAnOwnElement) {
    for (unsigned int count : {3u, 5u, 10u}) { // room left, full (grows), full again
        SCOPED_TRACE(count);
        Array<Str> list;
        for (unsigned int i = 0; i < count; ++i)
            list.Add(std::to_string(i).c_str());
        list.Add(list[1]);
        EXPECT_EQ(list.Size(), count + 1);
        EXPECT_STREQ(list[count], "1");
        EXPECT_STREQ(list[1], "1");

        Array<int> ints;
        for (unsigned int i = 0; i < count; ++i)
            ints.Add(static_cast<int>(i) * 10);
        ints.Add(ints[count - 1]);
        EXPECT_EQ(ints[count], static_cast<int>(count - 1) * 10);
    }
}

// Allocation failure leaves the array as it was.
TEST(ArrayFailure, AllocationFailureChangesNothing) {
    Array<Str> list;
    for (const char* t : {"a", "b", "c", "d", "e"})
        list.Add(t);
    const auto before = Bits(list);
    {
        AllocationHook hook;
        hook.FailFrom(0);
        EXPECT_THROW(list.SetSize(6), zel::MemoryException);
        EXPECT_THROW(list.Add(Str()), zel::MemoryException);
        Array<Str> copy;
        EXPECT_THROW(copy = list, zel::MemoryException);
        EXPECT_EQ(copy.Data(), nullptr);
        EXPECT_THROW(Array<Str>{list}, zel::MemoryException);
    }
    EXPECT_EQ(Bits(list).data, before.data);
    EXPECT_EQ(Bits(list).count, 5u);
    EXPECT_EQ(Bits(list).capacity, 5u);
    EXPECT_STREQ(list[4], "e");

    // The storage is granted, the new element's text is not: the count stays.
    Str text("a text of twenty chr");
    {
        AllocationHook hook;
        hook.FailFrom(1);
        EXPECT_THROW(list.Add(text), zel::MemoryException);
    }
    EXPECT_EQ(list.Size(), 5u);
    EXPECT_STREQ(list[4], "e");
    list.Add(text);
    EXPECT_STREQ(list[5], "a text of twenty chr");

    // A copy whose element copies fail releases what it built (ASan checks).
    {
        AllocationHook hook;
        hook.FailFrom(2);
        EXPECT_THROW(Array<Str>{list}, zel::MemoryException);
    }

    Array<unsigned char> bytes;
    bytes.SetSize(5);
    bytes[4] = 4;
    {
        AllocationHook hook;
        hook.FailFrom(0);
        EXPECT_THROW(bytes.Add(1), zel::MemoryException);
    }
    EXPECT_EQ(bytes.Size(), 5u);
    EXPECT_EQ(bytes[4], 4);
    EXPECT_EQ(Capacity(bytes), 5u);
}

// Sizes whose byte counts do not fit never turn into a short block.
TEST(ArrayFailure, OversizedRequestsNeverWrap) {
    struct Case {
        const char* name;
        unsigned int count;
        std::size_t elementSize;
        bool (*setSize)(unsigned int);
    };
    const Case cases[] = {
        {"bytes, doubling past 2^32", 0xF0000000u, 1,
         [](unsigned int n) {
             Array<unsigned char> a;
             a.SetSize(3);
             try {
                 a.SetSize(n);
             } catch (const zel::MemoryException&) {
                 return a.Size() == 3 && Capacity(a) == 5;
             }
             return false;
         }},
        {"all ones", 0xFFFFFFFFu, 1,
         [](unsigned int n) {
             Array<unsigned char> a;
             try {
                 a.SetSize(n);
             } catch (const zel::MemoryException&) {
                 return a.Size() == 0 && a.Data() == nullptr;
             }
             return false;
         }},
        {"ints past 4 GiB", 0x40000001u, 4,
         [](unsigned int n) {
             Array<int> a;
             try {
                 a.SetSize(n);
             } catch (const zel::MemoryException&) {
                 return a.Size() == 0;
             }
             return false;
         }},
        {"strings", 0x20000000u, sizeof(Str),
         [](unsigned int n) {
             Array<Str> a;
             a.Add("kept");
             try {
                 a.SetSize(n);
             } catch (const zel::MemoryException&) {
                 return a.Size() == 1 && std::string(a[0]) == "kept";
             }
             return false;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AllocationHook hook;
        hook.FailAtLeast(4096); // never hand out the large block
        EXPECT_TRUE(c.setSize(c.count));
        const unsigned long long needed = static_cast<unsigned long long>(c.count) * c.elementSize;
        for (std::size_t bytes : hook.Requests()) {
            if (bytes >= 4096) {
                EXPECT_GE(bytes, needed);
            }
        }
        if (needed > static_cast<std::size_t>(-1)) {
            // 32-bit: the byte count does not fit the address space, so nothing is asked for.
            for (std::size_t bytes : hook.Requests())
                EXPECT_LT(bytes, 4096u);
        }
    }
}
