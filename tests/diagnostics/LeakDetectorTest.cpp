#include "zel/LeakDetector.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// The two reserved members follow the name: a 32-bit value, then one byte. Host
// code compiled against the header relies on where they sit; a tracking
// implementation would keep its state there, so copies must carry them.
constexpr std::size_t kReservedOffset = sizeof(std::string);

unsigned int Reserved(const zel::LeakDetector& d) {
    unsigned int value;
    std::memcpy(&value, reinterpret_cast<const unsigned char*>(&d) + kReservedOffset, sizeof value);
    return value;
}
unsigned char ReservedFlag(const zel::LeakDetector& d) {
    return reinterpret_cast<const unsigned char*>(&d)[kReservedOffset + sizeof(unsigned int)];
}
void SetReserved(zel::LeakDetector& d, unsigned int value, unsigned char flag) {
    unsigned char* bytes = reinterpret_cast<unsigned char*>(&d);
    std::memcpy(bytes + kReservedOffset, &value, sizeof value);
    bytes[kReservedOffset + sizeof value] = flag;
}
std::vector<unsigned char> Bytes(const zel::LeakDetector& d) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(&d);
    return std::vector<unsigned char>(p, p + sizeof d);
}

} // namespace

TEST(LeakDetector, ReservedMembersFollowTheNameAndStartAtZero) {
    ASSERT_GE(sizeof(zel::LeakDetector), kReservedOffset + sizeof(unsigned int) + 1);
    zel::LeakDetector named("heap");
    zel::LeakDetector unnamed;
    zel::LeakDetector nullName(nullptr);
    for (const zel::LeakDetector* d : {&named, &unnamed, &nullName}) {
        EXPECT_EQ(Reserved(*d), 0u);
        EXPECT_EQ(ReservedFlag(*d), 0u);
    }
}

TEST(LeakDetector, CopyAndAssignmentCarryTheReservedMembers) {
    zel::LeakDetector source("source");
    SetReserved(source, 0xDEADBEEFu, 0x5A);

    zel::LeakDetector copy(source);
    EXPECT_EQ(Reserved(copy), 0xDEADBEEFu);
    EXPECT_EQ(ReservedFlag(copy), 0x5A);

    zel::LeakDetector assigned;
    EXPECT_EQ(&(assigned = source), &assigned);
    EXPECT_EQ(Reserved(assigned), 0xDEADBEEFu);
    EXPECT_EQ(ReservedFlag(assigned), 0x5A);

    zel::LeakDetector& alias = assigned;
    assigned = alias; // self-assignment keeps everything
    EXPECT_EQ(Reserved(assigned), 0xDEADBEEFu);
    EXPECT_EQ(ReservedFlag(assigned), 0x5A);

    SetReserved(copy, 7u, 1);
    assigned = copy;
    EXPECT_EQ(Reserved(assigned), 7u);
    EXPECT_EQ(ReservedFlag(assigned), 1);
    EXPECT_EQ(Reserved(source), 0xDEADBEEFu); // the source of a copy is left alone
}

TEST(LeakDetector, OperationsTouchNeitherTheDetectorNorTheBlocks) {
    zel::LeakDetector named("heap");
    zel::LeakDetector unnamed;
    SetReserved(unnamed, 0x01020304u, 9);
    unsigned char block[16];
    std::memset(block, 0xA5, sizeof block);
    for (zel::LeakDetector* d : {&named, &unnamed}) {
        const std::vector<unsigned char> before = Bytes(*d);
        d->Add(nullptr, nullptr);
        d->Add(block, "block");
        d->Remove(block);
        d->Remove(block); // removed twice
        d->Remove(nullptr);
        d->Remove(reinterpret_cast<void*>(0x1234)); // never added, never dereferenced
        d->SetName("renamed").SetName(nullptr);
        EXPECT_EQ(Bytes(*d), before);
    }
    for (unsigned char b : block)
        EXPECT_EQ(b, 0xA5);
}

TEST(LeakDetector, SetNameReturnsTheSameDetectorForChaining) {
    zel::LeakDetector d;
    EXPECT_EQ(&d.SetName("x"), &d);
    EXPECT_EQ(&d.SetName(nullptr), &d);
    EXPECT_EQ(&d.SetName("a").SetName("b"), &d);
}
