// Locks and scope guards: mutual exclusion, recursion and UnGuard.
#include "zel/Lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <type_traits>
#include <vector>

namespace {

// A Lockable that records its calls, to check what the guards do to it.
class CountingLock : public zel::Lockable {
public:
    void lock() override { ++locks; }
    void unlock() override { ++unlocks; }
    int locks = 0;
    int unlocks = 0;
};

} // namespace

TEST(LockGuard, GuardAndUnGuardCallLockAndUnlockExactlyOnce) {
    CountingLock l;
    {
        zel::Guard g(l);
        EXPECT_EQ(l.locks, 1);
        EXPECT_EQ(l.unlocks, 0);
        {
            zel::UnGuard ug(g);
            EXPECT_EQ(l.locks, 1);
            EXPECT_EQ(l.unlocks, 1);
        }
        EXPECT_EQ(l.locks, 2);
        EXPECT_EQ(l.unlocks, 1);
    }
    EXPECT_EQ(l.locks, 2);
    EXPECT_EQ(l.unlocks, 2);
}

// The guards convert from what they guard, so copy-initialisation builds.
static_assert(std::is_convertible_v<zel::Lockable&, zel::Guard>);
static_assert(std::is_convertible_v<zel::Guard&, zel::UnGuard>);
// The three lock classes cannot be copied (docs/foundation.md says why).
static_assert(!std::is_copy_constructible_v<zel::AutoCriticalSection> &&
              !std::is_copy_assignable_v<zel::AutoCriticalSection>);
static_assert(!std::is_copy_constructible_v<zel::Guard> && !std::is_copy_assignable_v<zel::Guard>);
static_assert(!std::is_copy_constructible_v<zel::UnGuard> &&
              !std::is_copy_assignable_v<zel::UnGuard>);

TEST(LockGuard, GuardsConvertFromTheirLock) {
    CountingLock l;
    {
        zel::Guard g = l;
        EXPECT_EQ(l.locks, 1);
        {
            zel::UnGuard ug = g;
            EXPECT_EQ(l.unlocks, 1);
        }
        EXPECT_EQ(l.locks, 2);
    }
    EXPECT_EQ(l.unlocks, 2);
    zel::AutoCriticalSection cs;
    zel::Guard g = cs;
}

// Several threads increment a plain counter in read-modify-write steps under the
// lock; any overlap of two guarded scopes loses increments or trips `inside`.
TEST(LockCriticalSection, GuardedScopesNeverOverlap) {
    zel::AutoCriticalSection cs;
    long long counter = 0;
    std::atomic<int> inside{0};
    std::atomic<bool> overlap{false};
    const int threads = 4, rounds = 20000;
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&] {
            for (int i = 0; i < rounds; ++i) {
                zel::Guard g(cs);
                if (inside.fetch_add(1) != 0)
                    overlap = true;
                long long v = counter;
                if (i % 1000 == 0)
                    std::this_thread::yield();
                counter = v + 1;
                inside.fetch_sub(1);
            }
        });
    }
    for (auto& th : pool)
        th.join();
    EXPECT_FALSE(overlap);
    EXPECT_EQ(counter, static_cast<long long>(threads) * rounds);
}

// The owner may lock again; the lock is free only after the last release.
TEST(LockCriticalSection, RecursionReleasesAfterAsManyUnlocks) {
    zel::AutoCriticalSection cs;
    std::atomic<bool> otherGotIt{false};
    std::thread other;
    {
        zel::Guard outer(cs);
        {
            zel::Guard inner(cs); // does not block
            cs.lock();            // a third level by hand
            cs.unlock();
        }
        other = std::thread([&] {
            zel::Guard g(cs);
            otherGotIt = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_FALSE(otherGotIt) << "the inner release freed a lock still held by outer";
    }
    other.join();
    EXPECT_TRUE(otherGotIt);
}

// Inside an UnGuard another thread takes the lock; once the UnGuard ends the
// first thread holds it again and the other waits.
TEST(LockCriticalSection, UnGuardLetsAnotherThreadIn) {
    zel::AutoCriticalSection cs;
    std::atomic<int> stage{0};
    std::atomic<bool> secondHeld{false};
    std::thread helper;
    {
        zel::Guard g(cs);
        helper = std::thread([&] {
            {
                zel::Guard h(cs); // blocks until the UnGuard below
                stage = 1;
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            while (stage.load() < 2)
                std::this_thread::yield();
            zel::Guard h2(cs); // must wait for the outer Guard to end
            secondHeld = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(stage.load(), 0) << "helper entered while the Guard held the lock";
        {
            zel::UnGuard ug(g);
            while (stage.load() < 1)
                std::this_thread::yield();
        } // locked again here (after the helper's first scope ends)
        stage = 2;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_FALSE(secondHeld) << "the lock was not taken back when the UnGuard ended";
    }
    helper.join();
    EXPECT_TRUE(secondHeld);
}

TEST(LockCriticalSection, UsableThroughTheInterface) {
    zel::AutoCriticalSection cs;
    zel::Lockable& l = cs;
    l.lock();
    std::atomic<bool> got{false};
    std::thread t([&] {
        l.lock();
        got = true;
        l.unlock();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(got);
    l.unlock();
    t.join();
    EXPECT_TRUE(got);
}
