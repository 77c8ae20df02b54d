#include "zel/Event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <type_traits>
#include <vector>

using Clock = std::chrono::steady_clock;

// An Event owns its kernel handle: a copy would close the same handle twice.
static_assert(!std::is_copy_constructible_v<zel::Event> && !std::is_copy_assignable_v<zel::Event>);

TEST(EventTest, NewEventIsNotSignalled) {
    zel::Event e;
    EXPECT_FALSE(e.Wait(0));
}

TEST(EventTest, SignalReleasesOneWaitThenResets) {
    struct Case {
        const char* what;
        int signals;
    } cases[] = {{"one signal", 1}, {"two signals", 2}, {"five signals", 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        zel::Event e;
        for (int i = 0; i < c.signals; ++i)
            EXPECT_TRUE(e.Signal());
        EXPECT_TRUE(e.Wait(0));
        EXPECT_FALSE(e.Wait(0));
    }
}

TEST(EventTest, WaitTimesOut) {
    zel::Event e;
    auto start = Clock::now();
    EXPECT_FALSE(e.Wait(100));
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    EXPECT_GE(elapsed.count(), 90);
    EXPECT_LT(elapsed.count(), 5000);
}

TEST(EventTest, SignalFromAnotherThreadEndsAnInfiniteWait) {
    zel::Event e;
    std::thread signaller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        e.Signal();
    });
    EXPECT_TRUE(e.Wait(zel::Event::Infinite));
    signaller.join();
    EXPECT_FALSE(e.Wait(0));
}

TEST(EventTest, PingPongBetweenThreadsLosesNoSignal) {
    zel::Event ping, pong;
    const int kRounds = 2000;
    int shared = 0; // handed back and forth: the events order every access
    std::thread partner([&] {
        for (int i = 0; i < kRounds; ++i) {
            ASSERT_TRUE(ping.Wait(10000));
            ++shared;
            pong.Signal();
        }
    });
    for (int i = 0; i < kRounds; ++i) {
        ++shared;
        ping.Signal();
        ASSERT_TRUE(pong.Wait(10000));
    }
    partner.join();
    EXPECT_EQ(shared, 2 * kRounds);
}

TEST(EventTest, EachSignalReleasesExactlyOneOfSeveralWaiters) {
    zel::Event e;
    const int kWaiters = 4;
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < kWaiters; ++i)
        waiters.emplace_back([&] {
            if (e.Wait(10000))
                ++released;
        });
    for (int i = 1; i <= kWaiters; ++i) {
        e.Signal();
        auto deadline = Clock::now() + std::chrono::seconds(10);
        while (released.load() < i && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        // Give a wrongly released second waiter time to show up.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(released.load(), i);
    }
    for (auto& t : waiters)
        t.join();
}
