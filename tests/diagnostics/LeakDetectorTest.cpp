#include "zel/LeakDetector.h"

#include <gtest/gtest.h>

TEST(LeakDetector, OperationsAcceptAnythingAndDoNothing) {
    zel::LeakDetector named("heap");
    zel::LeakDetector unnamed;
    zel::LeakDetector nullName(nullptr);
    int block = 0;
    for (zel::LeakDetector* d : {&named, &unnamed, &nullName}) {
        d->Add(nullptr, nullptr);
        d->Add(&block, "block");
        d->Remove(&block);
        d->Remove(&block); // removed twice
        d->Remove(nullptr);
        d->Remove(reinterpret_cast<void*>(0x1234)); // never added
    }
    SUCCEED();
}

TEST(LeakDetector, SetNameReturnsTheSameDetectorForChaining) {
    zel::LeakDetector d;
    EXPECT_EQ(&d.SetName("x"), &d);
    EXPECT_EQ(&d.SetName(nullptr), &d);
    EXPECT_EQ(&d.SetName("a").SetName("b"), &d);
}

TEST(LeakDetector, CopiesAndAssignmentsBetweenNamedAndUnnamed) {
    zel::LeakDetector named("named");
    zel::LeakDetector copy(named);
    zel::LeakDetector other;
    other = named;
    copy = other;
    zel::LeakDetector& alias = other;
    other = alias; // self-assignment leaves it usable
    EXPECT_EQ(&(copy = named), &copy);
    copy.Add(&copy, "after copies");
    other.Remove(&copy);
}
