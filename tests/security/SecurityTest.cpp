#include "zel/Exception.h"
#include "zel/Security.h"

#include "TestSupport.h"
#include "testing/TestHooks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <aclapi.h>
#else
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace zel::util;

namespace {

// A name no other test program or run is using.
std::string UniqueName(const char* what) {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    std::ostringstream s;
    s << "zeltest-" << what << '-' << std::hex << rd() << rd() << '-' << counter++;
    return s.str();
}

// Closes a handle at the end of a scope.
struct HandleCloser {
    void* handle;
    ~HandleCloser() { close(); }
    void close() {
        if (handle != nullptr) {
            EXPECT_TRUE(CloseAccessableHandle(handle));
        }
        handle = nullptr;
    }
};

struct ViewCloser {
    void* view;
    ~ViewCloser() {
        if (view != nullptr)
            UnmapAccessableView(view);
    }
};

// Sends the error log to a temporary file for the life of the object.
class LogCapture {
public:
    LogCapture() : m_path(m_dir.join("log.txt")) {
        zel::Exception::SetErrorLogLocation(m_path.c_str());
    }
    ~LogCapture() { zel::Exception::SetErrorLogLocation(nullptr); }
    std::string text() const { return zeltest::readFile(m_path); }

private:
    zeltest::TempDir m_dir;
    std::string m_path;
};

const unsigned long kSize = 65536; // one allocation granule on Windows
// What a process of another account may ask of a shared mapping: all access would
// include WRITE_DAC and WRITE_OWNER, which the shared descriptor denies.
const unsigned long kOpenAccess = AccessableMapRead | AccessableMapWrite;

} // namespace

// ---------------------------------------------------------------- mutex

TEST(AccessableMutex, CreatesThenOpensTheSameMutex) {
    std::string name = UniqueName("mutex");
    int created = -1;
    HandleCloser first{ObtainAccessableMutex(0, name.c_str(), &created)};
    ASSERT_NE(first.handle, nullptr);
    EXPECT_EQ(created, 1);

    created = -1;
    HandleCloser second{ObtainAccessableMutex(0, name.c_str(), &created)};
    ASSERT_NE(second.handle, nullptr);
    EXPECT_NE(second.handle, first.handle);
    EXPECT_EQ(created, 0);

    HandleCloser third{ObtainAccessableMutex(0, name.c_str(), nullptr)};
    ASSERT_NE(third.handle, nullptr);

    // The same mutex: while this thread owns it through one handle, another
    // thread cannot take it through another.
    ASSERT_EQ(WaitAccessableMutex(first.handle, 0), AccessableWaitAcquired);
    int other = -1;
    std::thread([&] { other = WaitAccessableMutex(third.handle, 50); }).join();
    EXPECT_EQ(other, AccessableWaitTimeout);
    EXPECT_TRUE(ReleaseAccessableMutex(first.handle));
    std::thread([&] {
        other = WaitAccessableMutex(second.handle, 0);
        if (other == AccessableWaitAcquired)
            ReleaseAccessableMutex(second.handle);
    }).join();
    EXPECT_EQ(other, AccessableWaitAcquired);
}

TEST(AccessableMutex, InitialOwnershipOnlyForTheCreator) {
    std::string name = UniqueName("owner");
    int created = -1;
    HandleCloser owned{ObtainAccessableMutex(1, name.c_str(), &created)};
    ASSERT_NE(owned.handle, nullptr);
    EXPECT_EQ(created, 1);

    // Another thread asking for ownership of the existing mutex does not get it.
    int otherCreated = -1;
    bool otherReleased = true;
    int otherWait = -1;
    std::thread([&] {
        HandleCloser h{ObtainAccessableMutex(1, name.c_str(), &otherCreated)};
        otherReleased = ReleaseAccessableMutex(h.handle);
        otherWait = WaitAccessableMutex(h.handle, 0);
    }).join();
    EXPECT_EQ(otherCreated, 0);
    EXPECT_FALSE(otherReleased);
    EXPECT_EQ(otherWait, AccessableWaitTimeout);

    // Ownership is recursive: as many releases as acquisitions, then no more.
    EXPECT_EQ(WaitAccessableMutex(owned.handle, 0), AccessableWaitAcquired);
    EXPECT_TRUE(ReleaseAccessableMutex(owned.handle));
    EXPECT_TRUE(ReleaseAccessableMutex(owned.handle));
    EXPECT_FALSE(ReleaseAccessableMutex(owned.handle));
}

TEST(AccessableMutex, UnnamedMutexesAreSeparate) {
    int created = -1;
    HandleCloser a{ObtainAccessableMutex(0, nullptr, &created)};
    ASSERT_NE(a.handle, nullptr);
    EXPECT_EQ(created, 1);
    created = -1;
    HandleCloser b{ObtainAccessableMutex(0, nullptr, &created)};
    ASSERT_NE(b.handle, nullptr);
    EXPECT_EQ(created, 1);
    ASSERT_EQ(WaitAccessableMutex(a.handle, 0), AccessableWaitAcquired);
    int other = -1;
    std::thread([&] {
        other = WaitAccessableMutex(b.handle, 0);
        if (other == AccessableWaitAcquired)
            ReleaseAccessableMutex(b.handle);
    }).join();
    EXPECT_EQ(other, AccessableWaitAcquired);
    EXPECT_TRUE(ReleaseAccessableMutex(a.handle));
}

TEST(AccessableMutex, BadHandlesAreRefused) {
    EXPECT_EQ(WaitAccessableMutex(nullptr, 0), AccessableWaitFailed);
    EXPECT_FALSE(ReleaseAccessableMutex(nullptr));
    EXPECT_FALSE(CloseAccessableHandle(nullptr));
    EXPECT_EQ(MapAccessableView(nullptr, AccessableMapRead, 0, 0), nullptr);
    EXPECT_FALSE(UnmapAccessableView(nullptr));
#ifndef _WIN32
    // A closed handle is refused rather than followed.
    void* h = ObtainAccessableMutex(0, UniqueName("closed").c_str(), nullptr);
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(CloseAccessableHandle(h));
    EXPECT_FALSE(CloseAccessableHandle(h));
    EXPECT_EQ(WaitAccessableMutex(h, 0), AccessableWaitFailed);
    int local = 0;
    EXPECT_FALSE(UnmapAccessableView(&local));
#endif
}

TEST(AccessableMutex, FailureIsLoggedWithTheName) {
    LogCapture log;
    // Longer than any system accepts for an object name.
    std::string name(300, 'n');
    int created = 7;
    EXPECT_EQ(ObtainAccessableMutex(0, name.c_str(), &created), nullptr);
    EXPECT_EQ(created, 7); // untouched when the result is null
    std::string text = log.text();
    EXPECT_NE(text.find("Mirror Error: Error ObtainAccessableMutex:CreateMutex " + name + ", "),
              std::string::npos)
        << text;
}

ZEL_TEST_CHILD(mutexOpenBusy) {
    int created = -1;
    void* h = ObtainAccessableMutex(0, args.at(0).c_str(), &created);
    if (h == nullptr)
        return 10;
    int rc = created != 0 ? 11 : WaitAccessableMutex(h, 0) != AccessableWaitTimeout ? 12 : 0;
    CloseAccessableHandle(h);
    return rc;
}

ZEL_TEST_CHILD(mutexTakeAndVanish) {
    void* h = ObtainAccessableMutex(0, args.at(0).c_str(), nullptr);
    if (h == nullptr)
        return 10;
    if (WaitAccessableMutex(h, 5000) != AccessableWaitAcquired)
        return 11;
    // Ends owning the mutex: the next waiter gets it abandoned.
    CloseAccessableHandle(h);
    return 0;
}

TEST(AccessableMutex, SharedWithAnotherProcessAndHandedOnWhenAbandoned) {
    std::string name = UniqueName("xproc");
    int created = -1;
    HandleCloser h{ObtainAccessableMutex(1, name.c_str(), &created)};
    ASSERT_NE(h.handle, nullptr);
    ASSERT_EQ(created, 1);
    // Owned here: the other process opens the same mutex (flag 0) and cannot take it.
    EXPECT_EQ(zeltest::runChild("mutexOpenBusy", {name}), 0);
    ASSERT_TRUE(ReleaseAccessableMutex(h.handle));

    EXPECT_EQ(zeltest::runChild("mutexTakeAndVanish", {name}), 0);
    EXPECT_EQ(WaitAccessableMutex(h.handle, 5000), AccessableWaitAbandoned);
    EXPECT_TRUE(ReleaseAccessableMutex(h.handle));
    // Usable as usual afterwards.
    EXPECT_EQ(WaitAccessableMutex(h.handle, 0), AccessableWaitAcquired);
    EXPECT_TRUE(ReleaseAccessableMutex(h.handle));
}

// Names past the first hundred bytes are told apart by the whole name, in this
// process and between processes.
TEST(AccessableMutex, LongNamesAlikeAtTheStartAreDifferentMutexes) {
    const std::string start = UniqueName("long") + std::string(150, 'l');
    int created = -1;
    HandleCloser a{ObtainAccessableMutex(1, (start + "a").c_str(), &created)};
    ASSERT_NE(a.handle, nullptr);
    EXPECT_EQ(created, 1);
    HandleCloser b{ObtainAccessableMutex(0, (start + "b").c_str(), &created)};
    ASSERT_NE(b.handle, nullptr);
    EXPECT_EQ(created, 1);
    // `a` is owned here; another thread takes `b` at once.
    int taken = -1;
    std::thread([&] {
        taken = WaitAccessableMutex(b.handle, 0);
        if (taken == AccessableWaitAcquired)
            ReleaseAccessableMutex(b.handle);
    }).join();
    EXPECT_EQ(taken, AccessableWaitAcquired);
    // Another process opens the same `a` and finds it held.
    EXPECT_EQ(zeltest::runChild("mutexOpenBusy", {start + "a"}), 0);
    EXPECT_TRUE(ReleaseAccessableMutex(a.handle));
}

TEST(AccessableMutex, AThreadEndingWhileOwningHandsItOnAbandoned) {
    std::string name = UniqueName("thread");
    HandleCloser h{ObtainAccessableMutex(0, name.c_str(), nullptr)};
    ASSERT_NE(h.handle, nullptr);
    int taken = -1;
    std::thread([&] { taken = WaitAccessableMutex(h.handle, 0); }).join();
    ASSERT_EQ(taken, AccessableWaitAcquired);
    EXPECT_EQ(WaitAccessableMutex(h.handle, 2000), AccessableWaitAbandoned);
    EXPECT_TRUE(ReleaseAccessableMutex(h.handle));
    EXPECT_EQ(WaitAccessableMutex(h.handle, 0), AccessableWaitAcquired);
    EXPECT_TRUE(ReleaseAccessableMutex(h.handle));
}

TEST(AccessableMutex, RacingCreatorsEndWithOneMutex) {
    std::string name = UniqueName("race");
    const int kThreads = 8;
    void* handles[kThreads] = {};
    int flags[kThreads];
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        flags[i] = -1;
        threads.emplace_back([&, i] {
            while (!go.load())
                std::this_thread::yield();
            handles[i] = ObtainAccessableMutex(0, name.c_str(), &flags[i]);
        });
    }
    go = true;
    for (auto& t : threads)
        t.join();
    int creators = 0;
    for (int i = 0; i < kThreads; ++i) {
        ASSERT_NE(handles[i], nullptr);
        creators += flags[i];
    }
    EXPECT_EQ(creators, 1);
    // One mutex: owned through the first handle, no other handle gets it.
    ASSERT_EQ(WaitAccessableMutex(handles[0], 0), AccessableWaitAcquired);
    std::thread([&] {
        for (int i = 1; i < kThreads; ++i)
            EXPECT_EQ(WaitAccessableMutex(handles[i], 0), AccessableWaitTimeout) << i;
    }).join();
    EXPECT_TRUE(ReleaseAccessableMutex(handles[0]));
    for (void* h : handles)
        EXPECT_TRUE(CloseAccessableHandle(h));
}

// ---------------------------------------------------------------- file mapping

class AccessableMapping : public ::testing::Test {
protected:
    zeltest::TempDir dir;
    std::string file = dir.join("shared.bin");
    std::string name = UniqueName("map");

    // The message of a mapping whose file cannot be made: "f.bin" in the folder
    // `folder` of the test's folder, which does not exist. Empty when none came.
    std::string createFailure(const char* folder) {
        const std::string missing = dir.join(folder) + zeltest::nativeSeparator() + "f.bin";
        try {
            ObtainAccessableFileMapping(missing.c_str(), AccessablePageReadWrite, kOpenAccess, 0,
                                        kSize, name.c_str(), nullptr);
            ADD_FAILURE() << "no exception";
        } catch (zel::Exception& e) {
            return e.getAt();
        }
        return std::string();
    }
};

TEST_F(AccessableMapping, CreatesFileAndMappingThenOpensThem) {
    int created = -1;
    HandleCloser first{ObtainAccessableFileMapping(file.c_str(), AccessablePageReadWrite,
                                                   kOpenAccess, 0, kSize, name.c_str(), &created)};
    ASSERT_NE(first.handle, nullptr);
    EXPECT_EQ(created, 1);
    EXPECT_EQ(zeltest::fileSize(file), static_cast<long long>(kSize));

    created = -1;
    HandleCloser second{ObtainAccessableFileMapping(file.c_str(), AccessablePageReadWrite,
                                                    kOpenAccess, 0, kSize, name.c_str(), &created)};
    ASSERT_NE(second.handle, nullptr);
    EXPECT_EQ(created, 0);
    HandleCloser third{ObtainAccessableFileMapping(file.c_str(), AccessablePageReadWrite,
                                                   kOpenAccess, 0, kSize, name.c_str(), nullptr)};
    ASSERT_NE(third.handle, nullptr);

    {
        ViewCloser a{MapAccessableView(first.handle, AccessableMapAllAccess, 0, 0)};
        ViewCloser b{MapAccessableView(second.handle, AccessableMapWrite, 0, kSize)};
        ASSERT_NE(a.view, nullptr);
        ASSERT_NE(b.view, nullptr);
        std::strcpy(static_cast<char*>(a.view), "written through the first view");
        EXPECT_STREQ(static_cast<char*>(b.view), "written through the first view");
    }
    first.close();
    second.close();
    third.close();
    EXPECT_EQ(zeltest::readFile(file).substr(0, 30), "written through the first view");
}

ZEL_TEST_CHILD(mappingWriteBack) {
    int created = -1;
    void* h = ObtainAccessableFileMapping(args.at(0).c_str(), AccessablePageReadWrite, kOpenAccess,
                                          0, kSize, args.at(1).c_str(), &created);
    if (h == nullptr)
        return 10;
    char* view = static_cast<char*>(MapAccessableView(h, AccessableMapWrite, 0, 0));
    int rc = created != 0 ? 11 : view == nullptr ? 12 : std::strcmp(view, "parent") != 0 ? 13 : 0;
    if (view != nullptr) {
        std::strcpy(view, "child");
        UnmapAccessableView(view);
    }
    CloseAccessableHandle(h);
    return rc;
}

TEST_F(AccessableMapping, SharedWithAnotherProcess) {
    int created = -1;
    HandleCloser h{ObtainAccessableFileMapping(file.c_str(), AccessablePageReadWrite, kOpenAccess,
                                               0, kSize, name.c_str(), &created)};
    ASSERT_NE(h.handle, nullptr);
    ViewCloser v{MapAccessableView(h.handle, AccessableMapAllAccess, 0, 0)};
    ASSERT_NE(v.view, nullptr);
    std::strcpy(static_cast<char*>(v.view), "parent");
    EXPECT_EQ(zeltest::runChild("mappingWriteBack", {file, name}), 0);
    EXPECT_STREQ(static_cast<char*>(v.view), "child");
}

TEST_F(AccessableMapping, MissingDirectoryThrowsWithTheFileName) {
    std::string missing = dir.join("no-such-folder") + zeltest::nativeSeparator() + "f.bin";
    int created = 7;
    try {
        ObtainAccessableFileMapping(missing.c_str(), AccessablePageReadWrite, kOpenAccess, 0, kSize,
                                    name.c_str(), &created);
        FAIL() << "no exception";
    } catch (zel::Exception& e) {
        ASSERT_EQ(e.getMessageTotal(), 1u);
        EXPECT_EQ(std::string(e.getAt()), "Unable to create file: " + missing);
    }
    EXPECT_EQ(created, 0);
    EXPECT_FALSE(zeltest::fileExists(missing));
}

TEST_F(AccessableMapping, NamesInMessagesStayReadable) {
    // UTF-8 "café" and halfwidth katakana "ｱ 5" (two- and three-byte characters,
    // whose bytes are also letters of the Windows code page) as folders that do
    // not exist.
    const struct {
        const char* folder;
        const char* spelled; // by the C locale, which cannot print them
        // Windows: null where each byte is a letter of the ANSI code page that
        // the C locale prints back as the same byte.
        const char* windows;
    } cases[] = {{"caf\xC3\xA9", "caf\\u00E9", nullptr},
                 {"\xEF\xBD\xB1 5", "\\uFF71 5", nullptr},
                 // Beyond U+FFFF: eight digits, so no digit after it joins the escape.
                 // In the ANSI code page its bytes are four letters, three of them
                 // beyond what the C locale prints.
                 {"\xF0\x9F\x98\x80"
                  "0",
                  "\\U0001F6000", "\xF0\\u0178\\u02DC\\u20AC0"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.spelled);
#ifdef _WIN32
        // Decoded from and printed back into the ANSI code page.
        EXPECT_EQ(createFailure(c.folder),
                  "Unable to create file: " + dir.join(c.windows ? c.windows : c.folder) +
                      zeltest::nativeSeparator() + "f.bin");
#else
        EXPECT_EQ(createFailure(c.folder),
                  "Unable to create file: " + dir.join(c.spelled) + "/f.bin");
#endif
    }
}

TEST_F(AccessableMapping, ControlBytesInNamesAreEscapedInMessages) {
    // A name can neither end the message's line nor speak to a terminal: C0, DEL,
    // C1 in UTF-8 and raw, bytes outside UTF-8 and '%' itself become %XX.
    struct Case {
        const char* name;
        const char* shown;
    };
    const Case cases[] = {
        {"line\nend", "line%0Aend"},
        {"esc\x1b[2J", "esc%1B[2J"},
        {"del\x7f", "del%7F"},
        {"csi\xc2\x9bK", "csi%C2%9BK"},
        {"osc\xc2\x9d"
         "0;t\xc2\x9c",
         "osc%C2%9D0;t%C2%9C"},
        {"raw\x9b", "raw%9B"},
        {"cut\xc3", "cut%C3"},
        {"overlong\xc0\xaf", "overlong%C0%AF"},
        {"100%", "100%25"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        EXPECT_EQ(createFailure(c.name), "Unable to create file: " + dir.join(c.shown) +
                                             zeltest::nativeSeparator() + "f.bin");
    }
}

TEST_F(AccessableMapping, ZeroSizeAlwaysTriesToOpenFirst) {
    HandleCloser existing{ObtainAccessableFileMapping(
        file.c_str(), AccessablePageReadWrite, kOpenAccess, 0, kSize, name.c_str(), nullptr)};
    ASSERT_NE(existing.handle, nullptr);
    ViewCloser v{MapAccessableView(existing.handle, AccessableMapAllAccess, 0, 0)};
    ASSERT_NE(v.view, nullptr);
    std::strcpy(static_cast<char*>(v.view), "existing");

    // Sizes 0: the mapping of that name is opened, and the other file is not even created.
    std::string other = dir.join("never-created.bin");
    int created = -1;
    HandleCloser opened{ObtainAccessableFileMapping(
        other.c_str(), AccessablePageReadWrite, AccessableMapRead, 0, 0, name.c_str(), &created)};
    ASSERT_NE(opened.handle, nullptr);
    EXPECT_EQ(created, 0);
    EXPECT_FALSE(zeltest::fileExists(other));
    ViewCloser r{MapAccessableView(opened.handle, AccessableMapRead, 0, 0)};
    ASSERT_NE(r.view, nullptr);
    EXPECT_STREQ(static_cast<char*>(r.view), "existing");
    // Opened for reading only: no writable view.
    void* w = MapAccessableView(opened.handle, AccessableMapWrite, 0, 0);
    EXPECT_EQ(w, nullptr);
    if (w != nullptr)
        UnmapAccessableView(w);
}

TEST_F(AccessableMapping, EverySpellingOfAPathReachesTheSameFile) {
    // The trust rule resolves the folders on the way itself; each spelling the
    // system accepts must reach the one file, by either way of resolving.
    const std::string plain = file;
    std::vector<std::string> spellings = {plain};
#ifdef _WIN32
    std::string forward = plain, doubled = plain;
    std::replace(forward.begin(), forward.end(), '\\', '/');
    doubled.insert(doubled.find_last_of('\\'), "\\");
    spellings.insert(spellings.end(), {forward, doubled, "\\\\?\\" + plain});
#else
    const std::size_t leaf = plain.find_last_of('/');
    const std::size_t parent = plain.find_last_of('/', leaf - 1);
    const std::string up = plain.substr(0, leaf) + "/.." + plain.substr(parent);
    spellings.insert(spellings.end(),
                     {"/" + plain, plain.substr(0, leaf) + "//" + plain.substr(leaf + 1),
                      plain.substr(0, leaf) + "/./" + plain.substr(leaf + 1)});
#endif
    for (bool walk : {false, true}) {
        zel::detail::ForceComponentWalkForTesting(walk);
        for (const std::string& spelling : spellings) {
            SCOPED_TRACE(spelling + (walk ? " (component walk)" : ""));
            int created = -1;
            HandleCloser h{ObtainAccessableFileMapping(spelling.c_str(), AccessablePageReadWrite,
                                                       kOpenAccess, 0, kSize,
                                                       UniqueName("spelled").c_str(), &created)};
            EXPECT_NE(h.handle, nullptr);
            EXPECT_EQ(created, spelling == plain && !walk ? 1 : 0);
            EXPECT_EQ(zeltest::fileSize(plain), static_cast<long long>(kSize));
        }
    }
    zel::detail::ForceComponentWalkForTesting(false);
}

TEST_F(AccessableMapping, ZeroSizeMapsAWholeExistingFile) {
    zeltest::writeFile(file, "hello");
    int created = -1;
    HandleCloser h{ObtainAccessableFileMapping(file.c_str(), AccessablePageReadWrite, kOpenAccess,
                                               0, 0, name.c_str(), &created)};
    ASSERT_NE(h.handle, nullptr);
    EXPECT_EQ(created, 0); // the file was there
    ViewCloser v{MapAccessableView(h.handle, AccessableMapRead, 0, 0)};
    ASSERT_NE(v.view, nullptr);
    EXPECT_EQ(std::string(static_cast<char*>(v.view), 5), "hello");
    EXPECT_EQ(zeltest::fileSize(file), 5);
}

TEST_F(AccessableMapping, ZeroSizeOverANewEmptyFileFails) {
    int created = -1;
    try {
        ObtainAccessableFileMapping(file.c_str(), AccessablePageReadWrite, kOpenAccess, 0, 0,
                                    name.c_str(), &created);
        FAIL() << "no exception";
    } catch (zel::Exception& e) {
        EXPECT_EQ(std::string(e.getAt()).rfind("Open failed ", 0), 0u) << e.getAt();
    }
    EXPECT_EQ(created, 1); // the file was created before the mapping failed
    EXPECT_EQ(zeltest::fileSize(file), 0);
}

TEST_F(AccessableMapping, MappingThatMayNotGrowItsFileIsRefusedNotOutOfMemory) {
    // A mapping that may not write its file cannot make the file larger. Windows
    // refuses it with the code of exhausted memory; that is no reason for a
    // MemoryException: creating fails as access denied, opening finds no mapping
    // of that name, and the call ends as every such failure does.
    const unsigned long protections[] = {AccessablePageReadOnly, AccessablePageWriteCopy};
    for (unsigned long protection : protections) {
        SCOPED_TRACE(protection);
        zeltest::writeFile(file, "hello");
        const std::string fresh = UniqueName("small");
        int created = -1;
        try {
            void* h = ObtainAccessableFileMapping(file.c_str(), protection, AccessableMapRead, 0,
                                                  kSize, fresh.c_str(), &created);
            if (h != nullptr)
                CloseAccessableHandle(h);
            ADD_FAILURE() << "no exception";
        } catch (zel::MemoryException&) {
            ADD_FAILURE() << "MemoryException";
        } catch (zel::Exception& e) {
            // No mapping of that name to open instead: the reason creating it
            // failed, access denied.
#ifdef _WIN32
            EXPECT_EQ(std::string(e.getAt()), "Open failed 5");
#else
            EXPECT_EQ(std::string(e.getAt()), "Open failed 13");
#endif
        }
        EXPECT_EQ(created, 0); // the file was there
        EXPECT_EQ(zeltest::fileSize(file), 5);
    }
}

TEST_F(AccessableMapping, NewFileUnderAnExistingNameGetsTheExistingMapping) {
    HandleCloser existing{ObtainAccessableFileMapping(
        file.c_str(), AccessablePageReadWrite, kOpenAccess, 0, kSize, name.c_str(), nullptr)};
    ASSERT_NE(existing.handle, nullptr);
    ViewCloser v{MapAccessableView(existing.handle, AccessableMapAllAccess, 0, 0)};
    ASSERT_NE(v.view, nullptr);
    std::strcpy(static_cast<char*>(v.view), "first");

    // A size and a missing file skip the open; the file is made (flag 1) and the
    // creation finds the mapping of that name.
    std::string other = dir.join("second.bin");
    int created = -1;
    HandleCloser h{ObtainAccessableFileMapping(other.c_str(), AccessablePageReadWrite, kOpenAccess,
                                               0, kSize, name.c_str(), &created)};
    ASSERT_NE(h.handle, nullptr);
    EXPECT_EQ(created, 1);
    EXPECT_TRUE(zeltest::fileExists(other));
    ViewCloser w{MapAccessableView(h.handle, AccessableMapRead, 0, 0)};
    ASSERT_NE(w.view, nullptr);
    EXPECT_STREQ(static_cast<char*>(w.view), "first");
}

TEST_F(AccessableMapping, ViewsOutsideTheMappingAreRefused) {
    HandleCloser h{ObtainAccessableFileMapping(file.c_str(), AccessablePageReadWrite, kOpenAccess,
                                               0, kSize, name.c_str(), nullptr)};
    ASSERT_NE(h.handle, nullptr);
    struct Case {
        const char* what;
        unsigned long long offset;
        unsigned long bytes;
    } cases[] = {
        {"misaligned offset", 1, 16},
        {"beyond the end", 0, 2 * kSize},
        {"offset at the end", kSize, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        void* view = MapAccessableView(h.handle, AccessableMapRead, c.offset, c.bytes);
        EXPECT_EQ(view, nullptr);
        if (view != nullptr)
            UnmapAccessableView(view);
    }
}

TEST_F(AccessableMapping, UnnamedMappingWorks) {
    int created = -1;
    HandleCloser h{ObtainAccessableFileMapping(file.c_str(), AccessablePageReadWrite, kOpenAccess,
                                               0, 4096, nullptr, &created)};
    ASSERT_NE(h.handle, nullptr);
    EXPECT_EQ(created, 1);
    ViewCloser v{MapAccessableView(h.handle, AccessableMapAllAccess, 0, 0)};
    ASSERT_NE(v.view, nullptr);
    static_cast<char*>(v.view)[0] = 'u';
}

// ---------------------------------------------------------------- who may use the objects

#ifdef _WIN32
namespace {
// Reads the DACL of a kernel object back and checks the two entries. Skips when
// the system cannot return it.
void ExpectSharedDacl(HANDLE object, DWORD mappedAll) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    DWORD rc = GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                               nullptr, &dacl, nullptr, &sd);
    if (rc != ERROR_SUCCESS || dacl == nullptr) {
        if (sd != nullptr)
            LocalFree(sd);
        GTEST_SKIP() << "the system does not return the object's DACL (error " << rc << ")";
    }
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    ASSERT_TRUE(
        AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
    EXPECT_EQ(dacl->AceCount, 2);
    void* ace = nullptr;
    if (GetAce(dacl, 0, &ace)) {
        auto* denied = static_cast<ACCESS_DENIED_ACE*>(ace);
        EXPECT_EQ(denied->Header.AceType, ACCESS_DENIED_ACE_TYPE);
        EXPECT_EQ(denied->Mask, static_cast<DWORD>(WRITE_DAC | WRITE_OWNER));
        EXPECT_TRUE(EqualSid(&denied->SidStart, everyone));
    } else {
        ADD_FAILURE() << "no first entry";
    }
    if (GetAce(dacl, 1, &ace)) {
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        // Stored as given or mapped to the object's specific rights.
        EXPECT_TRUE(allowed->Mask == GENERIC_ALL || allowed->Mask == mappedAll) << allowed->Mask;
        EXPECT_TRUE(EqualSid(&allowed->SidStart, everyone));
    } else {
        ADD_FAILURE() << "no second entry";
    }
    FreeSid(everyone);
    LocalFree(sd);
}
} // namespace

TEST(AccessableObjects, DescriptorDeniesChangesAndAllowsEverythingElse) {
    HandleCloser m{ObtainAccessableMutex(0, UniqueName("dacl").c_str(), nullptr)};
    ASSERT_NE(m.handle, nullptr);
    ExpectSharedDacl(m.handle, MUTEX_ALL_ACCESS);
    if (IsSkipped())
        return;
    zeltest::TempDir dir;
    HandleCloser f{ObtainAccessableFileMapping(dir.join("d.bin").c_str(), AccessablePageReadWrite,
                                               kOpenAccess, 0, kSize, UniqueName("dacl").c_str(),
                                               nullptr)};
    ASSERT_NE(f.handle, nullptr);
    ExpectSharedDacl(f.handle, SECTION_ALL_ACCESS);
}

TEST(AccessableObjects, IsAdminMatchesTokenMembership) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                         DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins));
    BOOL member = FALSE;
    ASSERT_TRUE(CheckTokenMembership(nullptr, admins, &member));
    FreeSid(admins);
    EXPECT_EQ(IsAdmin(), member != FALSE);
    // The thread no longer impersonates afterwards.
    HANDLE token = nullptr;
    EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, FALSE, &token));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
    if (token != nullptr)
        CloseHandle(token);
}

#else

namespace {
mode_t ModeOf(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

const uid_t kNobody = 65534;

// Becomes the unprivileged user for good: groups, group, then user.
bool DropToNobody() {
    return setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0 &&
           geteuid() == kNobody;
}

// Codes of what went wrong in the unprivileged process.
int UnprivilegedWork(const std::string& mutexName, const std::string& file,
                     const std::string& mapName) {
    if (!DropToNobody())
        return 20;
    if (IsAdmin())
        return 21;
    int created = -1;
    void* m = ObtainAccessableMutex(0, mutexName.c_str(), &created);
    if (m == nullptr)
        return 22;
    if (created != 0)
        return 23;
    if (WaitAccessableMutex(m, 5000) != AccessableWaitAcquired || !ReleaseAccessableMutex(m))
        return 24;
    CloseAccessableHandle(m);
    // Nobody may change who can use the objects.
    std::string objects[] = {"/dev/shm/zel.mutex." + mutexName, "/dev/shm/zel.filemap." + mapName,
                             file};
    for (const std::string& path : objects) {
        int fd = open(path.c_str(), O_RDONLY);
        if (fd < 0)
            return 25;
        bool changed = fchmod(fd, 0600) == 0 || fchown(fd, kNobody, kNobody) == 0;
        close(fd);
        if (changed)
            return 26;
    }
    // The mapping's record is its creator's alone to write.
    if (open(objects[1].c_str(), O_RDWR) >= 0)
        return 31;
    void* f = ObtainAccessableFileMapping(file.c_str(), AccessablePageReadWrite, kOpenAccess, 0,
                                          kSize, mapName.c_str(), &created);
    if (f == nullptr)
        return 27;
    if (created != 0)
        return 28;
    char* view = static_cast<char*>(MapAccessableView(f, AccessableMapWrite, 0, 0));
    if (view == nullptr)
        return 29;
    int rc = std::strcmp(view, "root") == 0 ? 0 : 30;
    std::strcpy(view, "nobody");
    UnmapAccessableView(view);
    CloseAccessableHandle(f);
    return rc;
}
} // namespace

ZEL_TEST_CHILD(unprivilegedUser) {
    // The process's own temporary folder belongs to root and must be removed as
    // root: the switch to the other user happens in a process of its own.
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0)
        return 2;
    if (pid == 0)
        _exit(UnprivilegedWork(args.at(0), args.at(1), args.at(2)));
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return 3;
    return WEXITSTATUS(status);
}

TEST(AccessableObjects, CreatedWithTheirModesWhateverTheUmask) {
    zeltest::TempDir dir;
    std::string mutexName = UniqueName("mode"), mapName = UniqueName("mode");
    std::string file = dir.join("mode.bin");
    mode_t old = umask(077);
    HandleCloser m{ObtainAccessableMutex(0, mutexName.c_str(), nullptr)};
    HandleCloser f{ObtainAccessableFileMapping(file.c_str(), AccessablePageReadWrite, kOpenAccess,
                                               0, kSize, mapName.c_str(), nullptr)};
    umask(old);
    ASSERT_NE(m.handle, nullptr);
    ASSERT_NE(f.handle, nullptr);
    EXPECT_EQ(ModeOf("/dev/shm/zel.mutex." + mutexName), 0666u);
    // The mapping's record: only its creator may write it.
    EXPECT_EQ(ModeOf("/dev/shm/zel.filemap." + mapName), 0644u);
    EXPECT_EQ(ModeOf(file), 0666u);

    // The names go with the last handle.
    m.close();
    f.close();
    EXPECT_FALSE(zeltest::fileExists("/dev/shm/zel.mutex." + mutexName));
    EXPECT_FALSE(zeltest::fileExists("/dev/shm/zel.filemap." + mapName));
}

TEST(AccessableObjects, NamesWithAnyBytesAreEncoded) {
    std::string base = UniqueName("enc");
    std::string name = base + "/a b\\c";
    HandleCloser m{ObtainAccessableMutex(0, name.c_str(), nullptr)};
    ASSERT_NE(m.handle, nullptr);
    EXPECT_TRUE(zeltest::fileExists("/dev/shm/zel.mutex." + base + "%2Fa%20b%5Cc"));
}

TEST(AccessableObjects, EncodedNamesMustFitOneFileName) {
    // "zel.mutex." and the encoded name are one file name of at most 255 bytes; a
    // byte written as %XX takes three.
    LogCapture log;
    const std::string tag = UniqueName("len").substr(0, 24);
    struct Case {
        std::string name;
        bool accepted;
    };
    const Case cases[] = {
        {tag + std::string(245 - tag.size(), 'n'), true},
        {tag + std::string(246 - tag.size(), 'n'), false},
        {tag + std::string(243 - tag.size(), 'n') + "/", false},
        {tag + std::string(242 - tag.size(), 'n') + "/", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.size());
        HandleCloser m{ObtainAccessableMutex(0, c.name.c_str(), nullptr)};
        EXPECT_EQ(m.handle != nullptr, c.accepted);
    }
}

TEST(AccessableObjects, UnprivilegedUserUsesWhatRootCreated) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to switch to another user";
    EXPECT_TRUE(IsAdmin());
    zeltest::TempDir dir;
    std::string mutexName = UniqueName("user"), mapName = UniqueName("user");
    std::string file = dir.join("user.bin");
    HandleCloser m{ObtainAccessableMutex(0, mutexName.c_str(), nullptr)};
    ASSERT_NE(m.handle, nullptr);
    HandleCloser f{ObtainAccessableFileMapping(file.c_str(), AccessablePageReadWrite, kOpenAccess,
                                               0, kSize, mapName.c_str(), nullptr)};
    ASSERT_NE(f.handle, nullptr);
    ViewCloser v{MapAccessableView(f.handle, AccessableMapAllAccess, 0, 0)};
    ASSERT_NE(v.view, nullptr);
    std::strcpy(static_cast<char*>(v.view), "root");

    EXPECT_EQ(zeltest::runChild("unprivilegedUser", {mutexName, file, mapName}), 0);
    EXPECT_STREQ(static_cast<char*>(v.view), "nobody");
    EXPECT_EQ(ModeOf(file), 0666u);
}

TEST(AccessableObjects, IsAdminIsTheEffectiveRootUser) {
    EXPECT_EQ(IsAdmin(), geteuid() == 0);
}

#endif

// ---------------------------------------------------------------- the trust rule

namespace {

// What a data file or link is, the way the tests plant it.
std::string DataIn(const zeltest::TempDir& dir, const char* name) {
    return dir.join(name);
}

} // namespace

#ifdef _WIN32

namespace {

// The DACL of a file or folder as the system returns it: Everyone's rights on the
// object itself and those it hands to the files created inside, and whether the
// list is protected from inherited entries (how the library's own lists are made).
struct FileDacl {
    bool read = false;
    bool isProtected = false;
    DWORD everyone = 0;
    DWORD everyoneForFiles = 0;
    bool adminsFull = false;
    bool systemFull = false;
};

FileDacl ReadFileDacl(const std::string& path) {
    FileDacl out;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, &sd) != ERROR_SUCCESS ||
        dacl == nullptr) {
        if (sd != nullptr)
            LocalFree(sd);
        return out;
    }
    out.read = true;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (GetSecurityDescriptorControl(sd, &control, &revision))
        out.isProtected = (control & SE_DACL_PROTECTED) != 0;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace))
            continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE)
            continue;
        PSID sid = &allowed->SidStart;
        const bool full = (allowed->Mask & FILE_ALL_ACCESS) == FILE_ALL_ACCESS ||
                          (allowed->Mask & GENERIC_ALL) != 0;
        if (IsWellKnownSid(sid, WinWorldSid)) {
            if ((allowed->Header.AceFlags & INHERIT_ONLY_ACE) == 0)
                out.everyone |= allowed->Mask;
            if ((allowed->Header.AceFlags & OBJECT_INHERIT_ACE) != 0)
                out.everyoneForFiles |= allowed->Mask;
        } else if (IsWellKnownSid(sid, WinBuiltinAdministratorsSid)) {
            out.adminsFull = out.adminsFull || full;
        } else if (IsWellKnownSid(sid, WinLocalSystemSid)) {
            out.systemFull = out.systemFull || full;
        }
    }
    LocalFree(sd);
    return out;
}

const DWORD kNeverForEveryone = DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_ALL;

} // namespace

TEST_F(AccessableMapping, BackingFileGivesEveryoneNoDeleteNorControl) {
    HandleCloser f{ObtainAccessableFileMapping(file.c_str(), AccessablePageReadWrite, kOpenAccess,
                                               0, kSize, name.c_str(), nullptr)};
    ASSERT_NE(f.handle, nullptr);
    FileDacl dacl = ReadFileDacl(file);
    if (!dacl.read || !dacl.isProtected)
        GTEST_SKIP() << "the system did not keep the file's descriptor (Wine 8 answers with one "
                        "made from the file's mode bits)";
    EXPECT_EQ(dacl.everyone & kNeverForEveryone, 0u) << std::hex << dacl.everyone;
    EXPECT_EQ(dacl.everyone & (FILE_READ_DATA | FILE_WRITE_DATA),
              static_cast<DWORD>(FILE_READ_DATA | FILE_WRITE_DATA));
    EXPECT_TRUE(dacl.adminsFull);
    EXPECT_TRUE(dacl.systemFull);
}

TEST(TrustRule, TheLogFolderGetsItsOwnDescriptor) {
    zeltest::TempDir data;
    zel::detail::SetMachineDataFolderForTesting(data.path().c_str());
    zel::Exception::SetErrorLogLocation(nullptr);
    zel::Exception::error("the first line chooses the folder");
    const std::string chosen = zel::Exception::GetErrorLogLocation();
    zel::Exception::SetErrorLogLocation(nullptr);
    zel::detail::SetMachineDataFolderForTesting(nullptr);
    const std::string corvane = data.join("Corvane");
    EXPECT_EQ(chosen, corvane + "\\ZELError.txt");
    FileDacl dacl = ReadFileDacl(corvane);
    if (!dacl.read || !dacl.isProtected)
        GTEST_SKIP() << "the system did not keep the folder's descriptor (Wine 8 answers with "
                        "one made from the folder's mode bits)";
    // Every account may add files, but neither folders (a junction is one) nor
    // remove, rename or re-permission entries.
    EXPECT_NE(dacl.everyone & FILE_ADD_FILE, 0u);
    EXPECT_EQ(dacl.everyone & (kNeverForEveryone | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD), 0u)
        << std::hex << dacl.everyone;
    EXPECT_EQ(dacl.everyoneForFiles & kNeverForEveryone, 0u) << std::hex << dacl.everyoneForFiles;
    EXPECT_NE(dacl.everyoneForFiles & FILE_APPEND_DATA, 0u);
    // Reading and appending, nothing more: no rewriting what is written, no
    // read-only attribute that would refuse every writer.
    EXPECT_EQ(dacl.everyoneForFiles & (FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES | FILE_WRITE_EA), 0u)
        << std::hex << dacl.everyoneForFiles;
    EXPECT_TRUE(dacl.adminsFull);
    EXPECT_TRUE(dacl.systemFull);
}

TEST_F(AccessableMapping, LinksAtTheDataNameAreNeverFollowed) {
    const std::string target = DataIn(dir, "target.bin");
    zeltest::writeFile(target, "target's data");
    struct Case {
        const char* what;
        bool (*plant)(const std::string& at, const std::string& target);
    };
    const Case cases[] = {
        {"a symbolic link (a reparse point)",
         [](const std::string& at, const std::string& t) {
             return CreateSymbolicLinkA(at.c_str(), t.c_str(), 0) != 0;
         }},
        {"a hard link",
         [](const std::string& at, const std::string& t) {
             return CreateHardLinkA(at.c_str(), t.c_str(), nullptr) != 0;
         }},
    };
    int planted = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string at = DataIn(dir, "linked.bin");
        if (!c.plant(at, target)) {
            std::printf("%s: cannot be made here (error %lu)\n", c.what, GetLastError());
            continue;
        }
        const DWORD attributes = GetFileAttributesA(at.c_str());
        if (std::string(c.what).find("symbolic") != std::string::npos &&
            (attributes == INVALID_FILE_ATTRIBUTES ||
             (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)) {
            // Wine shows its links as the files they lead to.
            std::printf("%s: the system does not show it as a reparse point\n", c.what);
            DeleteFileA(at.c_str());
            continue;
        }
        ++planted;
        EXPECT_THROW(ObtainAccessableFileMapping(at.c_str(), AccessablePageReadWrite, kOpenAccess,
                                                 0, kSize, UniqueName("link").c_str(), nullptr),
                     zel::Exception);
        EXPECT_EQ(zeltest::readFile(target), "target's data");
        DeleteFileA(at.c_str());
    }
    if (planted == 0)
        GTEST_SKIP() << "neither link can be made on this system";
}

#else

TEST(TrustRule, TheLogFolderGetsItsOwnDescriptor) {
    // Here the descriptor is a mode: written by its owner, read by everyone.
    zeltest::TempDir data;
    zel::detail::SetMachineDataFolderForTesting(data.path().c_str());
    zel::Exception::SetErrorLogLocation(nullptr);
    mode_t old = umask(0);
    zel::Exception::error("the first line chooses the folder");
    umask(old);
    const std::string chosen = zel::Exception::GetErrorLogLocation();
    zel::Exception::SetErrorLogLocation(nullptr);
    zel::detail::SetMachineDataFolderForTesting(nullptr);
    const std::string corvane = data.join("Corvane");
    EXPECT_EQ(chosen, corvane + "/ZELError.txt");
    EXPECT_EQ(ModeOf(corvane), 0755u);
    EXPECT_EQ(ModeOf(chosen), 0644u);
}

TEST_F(AccessableMapping, LinksAtTheDataNameAreNeverFollowed) {
    // The caller's own link is its own intent, and is followed; links of other
    // accounts are refused (the hostile suite). A hard link is never used.
    const std::string target = DataIn(dir, "target.bin");
    zeltest::writeFile(target, "target's data");
    const std::string own = DataIn(dir, "own.bin");
    ASSERT_EQ(symlink(target.c_str(), own.c_str()), 0);
    {
        HandleCloser f{ObtainAccessableFileMapping(own.c_str(), AccessablePageReadWrite,
                                                   kOpenAccess, 0, kSize, UniqueName("own").c_str(),
                                                   nullptr)};
        EXPECT_NE(f.handle, nullptr);
    }
    EXPECT_EQ(zeltest::fileSize(target), static_cast<long long>(kSize));
    const std::string hard = DataIn(dir, "hard.bin");
    ASSERT_EQ(link(target.c_str(), hard.c_str()), 0);
    EXPECT_THROW(ObtainAccessableFileMapping(hard.c_str(), AccessablePageReadWrite, kOpenAccess, 0,
                                             2 * kSize, UniqueName("hard").c_str(), nullptr),
                 zel::Exception);
    EXPECT_EQ(zeltest::fileSize(target), static_cast<long long>(kSize));
}

#endif
