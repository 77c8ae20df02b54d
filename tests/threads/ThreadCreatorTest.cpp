#include "zel/Event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace {

// Shared with detached threads, which nobody can join: it must outlive them, so
// each test keeps one for the life of the process.
struct Work {
    zel::Event started;
    zel::Event go;
    std::atomic<int> runs{0};
};

unsigned long ZEL_STDCALL RunAndReturnSeven(void* argument) {
    Work* work = static_cast<Work*>(argument);
    ++work->runs;
    work->started.Signal();
    work->go.Wait(zel::Event::Infinite);
    return 7;
}

unsigned long ZEL_STDCALL Count(void* argument) {
    Work* work = static_cast<Work*>(argument);
    if (++work->runs == 8)
        work->started.Signal();
    return 0;
}

#ifndef _WIN32
bool TaskExists(unsigned long id) {
    struct stat st;
    return stat(("/proc/self/task/" + std::to_string(id)).c_str(), &st) == 0;
}
#endif

} // namespace

TEST(ThreadCreatorTest, StartedThreadRunsAndEndsByItself) {
    static Work& work = *new Work;
    work.runs = 0;
    unsigned long id = zel::ThreadCreator::Create(&RunAndReturnSeven, &work);
    ASSERT_NE(id, 0ul);
    ASSERT_TRUE(work.started.Wait(10000));
    EXPECT_EQ(work.runs.load(), 1);
#ifdef _WIN32
    // The thread is waiting for `go`, so it still exists: watch it end.
    HANDLE thread = OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, id);
    ASSERT_NE(thread, nullptr);
    work.go.Signal();
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 7u);
    CloseHandle(thread);
#else
    // The identifier is the kernel's thread id: the task exists until the routine returns.
    EXPECT_TRUE(TaskExists(id));
    work.go.Signal();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (TaskExists(id) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_FALSE(TaskExists(id));
#endif
}

TEST(ThreadCreatorTest, EveryThreadRunsWithItsArgument) {
    static Work& work = *new Work;
    work.runs = 0;
    for (int i = 0; i < 8; ++i)
        ASSERT_NE(zel::ThreadCreator::Create(&Count, &work), 0ul);
    ASSERT_TRUE(work.started.Wait(10000));
    EXPECT_EQ(work.runs.load(), 8);
}

TEST(ThreadCreatorTest, NullRoutineStartsNothing) {
    EXPECT_EQ(zel::ThreadCreator::Create(nullptr, nullptr), 0ul);
}
