// The error log: line layout, the mirroring switch, rotation, locations, the last
// error text, and appends from many threads and processes.
#include "zel/Exception.h"

#include "LogTestSupport.h"
#include "testing/TestHooks.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

using logtest::ExpectExactLines;
using logtest::LogFileTest;
using logtest::MirrorProbe;

namespace {

std::string Sep() {
    return zeltest::nativeSeparator();
}

} // namespace

using ErrorLogFormat = LogFileTest;

TEST_F(ErrorLogFormat, EveryKindOfLineByteForByte) {
    struct Case {
        const char* name;
        std::function<void()> write;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"exception",
         [] { zel::Exception e("open %s failed", "a.txt"); },
         {"Error: open a.txt failed"}},
        {"exception, empty format", [] { zel::Exception e(""); }, {"Format Error: "}},
        {"exception, format giving nothing",
         [] { zel::Exception e("%s", ""); },
         {"Format Error: %s"}},
        {"exception, null format", [] { zel::Exception e(nullptr); }, {"Format Error: "}},
        {"error", [] { zel::Exception::error("x=%d", 5); }, {"Mirror Error: x=5"}},
        {"error, empty format", [] { zel::Exception::error(""); }, {"Mirror Error Format Error: "}},
        {"error, format giving nothing",
         [] { zel::Exception::error("%s", ""); },
         {"Mirror Error Format Error: %s"}},
        {"error, null format",
         [] { zel::Exception::error(nullptr); },
         {"Mirror Error Format Error: "}},
        {"trace", [] { zel::Exception::trace("t %s", "y"); }, {"Mirror TRACE: t y"}},
        {"trace, empty format", [] { zel::Exception::trace(""); }, {"Mirror TRACE Format Error: "}},
        {"trace, format giving nothing",
         [] { zel::Exception::trace("%s", ""); },
         {"Mirror TRACE Format Error: %s"}},
        {"mirror", [] { MirrorProbe::Mirror("Method ", "message", true); }, {"Method message"}},
        {"mirror, both null",
         [] { MirrorProbe::Mirror(nullptr, nullptr, true); },
         {"NULL MethodNULL Message"}},
        {"mirror, null method",
         [] { MirrorProbe::Mirror(nullptr, "text", true); },
         {"NULL Methodtext"}},
        {"mirror, null message",
         [] { MirrorProbe::Mirror("M: ", nullptr, true); },
         {"M: NULL Message"}},
        {"mirror, not forced while switched off", [] { MirrorProbe::Mirror("A", "B", false); }, {}},
        {"line feed inside a message",
         [] { zel::Exception::error("one\ntwo"); },
         {"Mirror Error: one\ntwo"}},
        {"percent sign", [] { zel::Exception::trace("100%% sure"); }, {"Mirror TRACE: 100% sure"}},
        {"high bytes", [] { zel::Exception::error("caf\xE9"); }, {"Mirror Error: caf\xE9"}},
        {"narrow and wide",
         [] { zel::Exception::trace("%hs/%ls", "n", L"w"); },
         {"Mirror TRACE: n/w"}},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = m_dir.join("case" + std::to_string(index++) + ".log");
        zel::Exception::SetErrorLogLocation(path.c_str());
        std::time_t from = std::time(nullptr);
        c.write();
        ExpectExactLines(zeltest::readFile(path), c.lines, from, std::time(nullptr));
    }
}

TEST_F(ErrorLogFormat, MirrorSwitchGatesOnlyUnforcedLines) {
    EXPECT_FALSE(zel::Exception::GetMirrorErrorLog());
    MirrorProbe::Mirror("A", "1", false);
    zel::Exception::SetMirrorErrorLog(true);
    EXPECT_TRUE(zel::Exception::GetMirrorErrorLog());
    MirrorProbe::Mirror("A", "2", false);
    zel::Exception::SetMirrorErrorLog(false);
    EXPECT_FALSE(zel::Exception::GetMirrorErrorLog());
    MirrorProbe::Mirror("A", "3", false);
    // The library's own lines are always forced.
    zel::Exception e("pushed");
    zel::Exception::error("err");
    zel::Exception::trace("tr");
    ExpectLog({"A2", "Error: pushed", "Mirror Error: err", "Mirror TRACE: tr"});
}

TEST_F(ErrorLogFormat, ErrorAndTraceKeepAtMost7999Characters) {
    std::string big(10000, 'q');
    zel::Exception::error("%s", big.c_str());
    zel::Exception::trace("%s", big.c_str());
    ExpectLog({"Mirror Error: " + big.substr(0, 7999), "Mirror TRACE: " + big.substr(0, 7999)});
}

using ErrorLogRotation = LogFileTest;

TEST_F(ErrorLogRotation, ExactlyTenMillionBytesIsAppendedTo) {
    const std::string filler(10000000, 'x');
    zeltest::writeFile(m_path, filler);
    std::time_t from = std::time(nullptr);
    zel::Exception::error("after");
    EXPECT_FALSE(zeltest::fileExists(m_path + ".001"));
    std::string all = raw();
    ASSERT_GT(all.size(), filler.size());
    EXPECT_EQ(all.compare(0, filler.size(), filler), 0);
    ExpectExactLines(all.substr(filler.size()), {"Mirror Error: after"}, from, std::time(nullptr));
}

TEST_F(ErrorLogRotation, OneByteMoreStartsANewFileAndReplacesTheOlderGeneration) {
    const std::string filler(10000001, 'y');
    zeltest::writeFile(m_path, filler);
    zeltest::writeFile(m_path + ".001", "an older generation");
    zel::Exception::error("fresh");
    EXPECT_EQ(zeltest::fileSize(m_path + ".001"), 10000001);
    EXPECT_EQ(zeltest::readFile(m_path + ".001").compare(0, 5, "yyyyy"), 0);
    ExpectLog({"Mirror Error: fresh"});
    // The new file grows again without rotating.
    zel::Exception::trace("second");
    ExpectLog({"Mirror Error: fresh", "Mirror TRACE: second"});
    EXPECT_EQ(zeltest::fileSize(m_path + ".001"), 10000001);
}

TEST_F(ErrorLogRotation, TheLineThatCrossesTheLimitStaysInTheFile) {
    // 9,999,990 bytes plus one line goes past the limit; the next line rotates.
    const std::string filler(9999990, 'z');
    zeltest::writeFile(m_path, filler);
    zel::Exception::error("crossing");
    EXPECT_FALSE(zeltest::fileExists(m_path + ".001"));
    EXPECT_GT(zeltest::fileSize(m_path), 10000000);
    zel::Exception::error("next");
    EXPECT_TRUE(zeltest::fileExists(m_path + ".001"));
    ExpectLog({"Mirror Error: next"});
}

#ifdef _WIN32
// Another process holding the append lock (a byte of the log far beyond its end)
// delays a line by at most one bounded wait, measured on a clock; the line is
// dropped and counted, and the next line that gets in says so.
TEST_F(ErrorLogRotation, AHeldAppendLockDropsTheLineBoundedlyAndCountsIt) {
    zel::Exception::trace("first");
    HANDLE other = CreateFileA(m_path.c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    OVERLAPPED at{};
    at.OffsetHigh = 0x7FFFFFFF; // the append byte
    ASSERT_TRUE(
        LockFileEx(other, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at));
    const auto start = std::chrono::steady_clock::now();
    zel::Exception::trace("dropped");
    zel::Exception::trace("dropped too"); // only tried: the lock was just found held
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    UnlockFileEx(other, 0, 1, 0, &at);
    CloseHandle(other);
    EXPECT_LT(ms, 1500);
    zel::Exception::trace("after");
    ExpectLog({"Mirror TRACE: first", "Mirror TRACE: after",
               "Mirror Error: Error log: 2 lines were dropped: another process held the log's "
               "append lock"});
}
#endif

// The default location lives under the machine data folder, which the test
// program points at temporary folders.
class ErrorLogLocation : public LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        // Learn the folder the test program uses, to give it back afterwards.
        zel::Exception::SetErrorLogLocation("");
        zel::Exception::trace("finding the default location");
        std::string def = zel::Exception::GetErrorLogLocation();
        const std::string tail = Sep() + "Corvane" + Sep() + "ZELError.txt";
        ASSERT_GT(def.size(), tail.size());
        ASSERT_EQ(def.substr(def.size() - tail.size()), tail);
        m_original = def.substr(0, def.size() - tail.size());
        zel::Exception::SetErrorLogLocation(m_path.c_str());
    }
    void TearDown() override {
        zel::detail::SetMachineDataFolderForTesting(m_original.c_str());
        LogFileTest::TearDown();
    }
    std::string m_original;
};

TEST_F(ErrorLogLocation, DefaultCreatesCorvaneAndReturnsAfterAnEmptyPath) {
    zeltest::TempDir data;
    zel::detail::SetMachineDataFolderForTesting(data.path().c_str());
    const std::string folder = data.join("Corvane");
    const std::string log = folder + Sep() + "ZELError.txt";

    zel::Exception::SetErrorLogLocation("");
    EXPECT_EQ(zel::Exception::GetErrorLogLocation(), "");
    EXPECT_FALSE(zeltest::fileExists(folder));
    std::time_t from = std::time(nullptr);
    zel::Exception::error("to the default");
    EXPECT_EQ(zel::Exception::GetErrorLogLocation(), log);
    ExpectExactLines(zeltest::readFile(log), {"Mirror Error: to the default"}, from,
                     std::time(nullptr));
    auto status = std::filesystem::status(folder);
    EXPECT_TRUE(std::filesystem::is_directory(status));
#ifndef _WIN32
    // Written by its owner alone, read by everyone: nobody else can plant a name
    // in it, whatever the umask.
    using std::filesystem::perms;
    EXPECT_EQ(status.permissions() & (perms::all | perms::sticky_bit),
              perms::owner_all | perms::group_read | perms::group_exec | perms::others_read |
                  perms::others_exec);
#endif

    // Elsewhere, then back to the default with an empty path, and with a null one.
    zel::Exception::SetErrorLogLocation(m_path.c_str());
    zel::Exception::error("elsewhere");
    zel::Exception::SetErrorLogLocation("");
    zel::Exception::error("back");
    zel::Exception::SetErrorLogLocation(nullptr);
    EXPECT_EQ(zel::Exception::GetErrorLogLocation(), "");
    zel::Exception::error("again");
    EXPECT_EQ(zel::Exception::GetErrorLogLocation(), log);
    ExpectExactLines(zeltest::readFile(log),
                     {"Mirror Error: to the default", "Mirror Error: back", "Mirror Error: again"},
                     from, std::time(nullptr));
    ExpectLog({"Mirror Error: elsewhere"});
}

// Asking for the location chooses it as the first line would, and writes nothing.
TEST_F(ErrorLogLocation, ChooseGivesTheFileTheNextLineGoesTo) {
    zeltest::TempDir data;
    zel::detail::SetMachineDataFolderForTesting(data.path().c_str());
    const std::string log = data.join("Corvane") + Sep() + "ZELError.txt";
    zel::Exception::SetErrorLogLocation("");
    EXPECT_EQ(zel::Exception::ChooseErrorLogLocation(), log);
    EXPECT_EQ(zel::Exception::GetErrorLogLocation(), log);
    EXPECT_TRUE(std::filesystem::is_directory(data.join("Corvane")));
    EXPECT_FALSE(zeltest::fileExists(log));
    zel::Exception::SetErrorLogLocation(m_path.c_str());
    EXPECT_EQ(zel::Exception::ChooseErrorLogLocation(), m_path);
}

TEST_F(ErrorLogLocation, ExistingCorvaneFolderIsUsed) {
    zeltest::TempDir data;
    zel::detail::SetMachineDataFolderForTesting(data.path().c_str());
    const std::string log = data.join("Corvane") + Sep() + "ZELError.txt";
    zel::Exception::SetErrorLogLocation("");
    zel::Exception::trace("one");
    zel::Exception::SetErrorLogLocation("");
    zel::Exception::trace("two");
    EXPECT_EQ(zeltest::readLines(log).size(), 2u);
}

TEST_F(ErrorLogLocation, PathsOf1024CharactersOrMoreAreRefused) {
    const std::string base = m_dir.path() + Sep();
    struct Case {
        std::size_t length;
        bool accepted;
    };
    const Case cases[] = {{1, true}, {1023, true}, {1024, false}, {1025, false}, {5000, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        zel::Exception::SetErrorLogLocation(m_path.c_str());
        std::string path =
            base + std::string(c.length > base.size() ? c.length - base.size() : 0, 'n');
        if (c.length < base.size())
            path = std::string(c.length, 'n');
        ASSERT_EQ(path.size(), c.length);
        zel::Exception::SetErrorLogLocation(path.c_str());
        EXPECT_EQ(zel::Exception::GetErrorLogLocation(), c.accepted ? path : m_path);
    }
}

TEST_F(ErrorLogLocation, AMissingFolderLosesLinesSilently) {
    const std::string folder = m_dir.join("missing");
    const std::string path = folder + Sep() + "log.txt";
    zel::Exception::SetErrorLogLocation(path.c_str());
    zel::Exception e("lost");
    zel::Exception::error("lost too");
    EXPECT_EQ(e.getMessageTotal(), 1u);
    EXPECT_FALSE(zeltest::fileExists(folder));
    EXPECT_EQ(zel::Exception::GetErrorLogLocation(), path);
}

TEST_F(ErrorLogLocation, ARegularFileInThePathLosesLinesSilently) {
    const std::string blocker = m_dir.join("file");
    zeltest::writeFile(blocker, "not a folder");
    const std::string path = blocker + Sep() + "log.txt";
    zel::Exception::SetErrorLogLocation(path.c_str());
    zel::Exception::trace("lost");
    EXPECT_EQ(zeltest::readFile(blocker), "not a folder");
}

// A relative location is taken against the current folder at each line, as it
// was given; the location itself stays as given.
TEST_F(ErrorLogLocation, ARelativeLocationFollowsTheCurrentFolderAtEachLine) {
    const std::filesystem::path before = std::filesystem::current_path();
    for (const std::string& relative : {std::string("rel.log"), "sub" + Sep() + "rel.log"}) {
        SCOPED_TRACE(relative);
        zeltest::TempDir first, second;
        for (const zeltest::TempDir* d : {&first, &second})
            std::filesystem::create_directory(d->join("sub"));
        std::time_t from = std::time(nullptr);
        std::filesystem::current_path(first.path());
        zel::Exception::SetErrorLogLocation(relative.c_str());
        zel::Exception::trace("in the first");
        std::filesystem::current_path(second.path());
        zel::Exception::trace("in the second");
        EXPECT_EQ(zel::Exception::GetErrorLogLocation(), relative);
        zel::Exception::SetErrorLogLocation(m_path.c_str());
        std::filesystem::current_path(before);
        ExpectExactLines(zeltest::readFile(first.join(relative)), {"Mirror TRACE: in the first"},
                         from, std::time(nullptr));
        ExpectExactLines(zeltest::readFile(second.join(relative)), {"Mirror TRACE: in the second"},
                         from, std::time(nullptr));
    }
}

// The log's folder is kept open between lines, but a line that finds another
// folder at its name writes there.
TEST_F(ErrorLogLocation, ALogFolderRenamedOrRemovedIsNoticedAtTheNextLine) {
    struct Change {
        const char* what;
        std::function<void(const std::string& folder)> apply;
        bool oldKept;
    };
    const Change changes[] = {
        {"renamed away and made again",
         [](const std::string& f) {
             std::filesystem::rename(f, f + ".old");
             std::filesystem::create_directory(f);
         },
         true},
        {"removed and made again",
         [](const std::string& f) {
             std::filesystem::remove_all(f);
             std::filesystem::create_directory(f);
         },
         false},
    };
    for (const Change& c : changes) {
        SCOPED_TRACE(c.what);
        const std::string folder = m_dir.join("logs");
        const std::string log = folder + Sep() + "ZELError.txt";
        std::filesystem::create_directory(folder);
        std::time_t from = std::time(nullptr);
        zel::Exception::SetErrorLogLocation(log.c_str());
        zel::Exception::trace("before");
        c.apply(folder);
        zel::Exception::trace("after");
        zel::Exception::SetErrorLogLocation(m_path.c_str());
        ExpectExactLines(zeltest::readFile(log), {"Mirror TRACE: after"}, from, std::time(nullptr));
        if (c.oldKept) {
            ExpectExactLines(zeltest::readFile(folder + ".old" + Sep() + "ZELError.txt"),
                             {"Mirror TRACE: before"}, from, std::time(nullptr));
        }
        std::filesystem::remove_all(folder);
        std::filesystem::remove_all(folder + ".old");
    }
}

TEST(ErrorLogLastError, SystemTextOfTheLastErrorCode) {
    std::string text = "unchanged";
#ifdef _WIN32
    SetLastError(0);
    EXPECT_FALSE(zel::Exception::GetLastErrorMsg(text));
    EXPECT_EQ(text, "unchanged");

    SetLastError(ERROR_FILE_NOT_FOUND);
    ASSERT_TRUE(zel::Exception::GetLastErrorMsg(text));
    ASSERT_GE(text.size(), 3u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n"); // as the system gives it

    // A code without a system text: false, text unchanged.
    text = "unchanged";
    SetLastError(0x2ABCDEF1);
    EXPECT_FALSE(zel::Exception::GetLastErrorMsg(text));
    EXPECT_EQ(text, "unchanged");
#else
    errno = 0;
    EXPECT_FALSE(zel::Exception::GetLastErrorMsg(text));
    EXPECT_EQ(text, "unchanged");

    const int codes[] = {ENOENT, EACCES, EINVAL};
    for (int code : codes) {
        SCOPED_TRACE(code);
        std::string expected = std::string(std::strerror(code)) + "\n";
        errno = code;
        ASSERT_TRUE(zel::Exception::GetLastErrorMsg(text));
        EXPECT_EQ(text, expected);
    }

    // Codes without a system text (strerror would make up "Unknown error N"):
    // false, text unchanged, as on Windows.
    for (int code : {4095, 99999, -3}) {
        SCOPED_TRACE(code);
        text = "unchanged";
        errno = code;
        EXPECT_FALSE(zel::Exception::GetLastErrorMsg(text));
        EXPECT_EQ(text, "unchanged");
    }
#endif
}

// ---- Many writers at once ----

namespace {

const std::string kPadding(150, '.');

// Checks that every line of `path` is one whole line of a writer and that each
// writer's lines are all there, in order. `prefix` is the method text.
void ExpectAllLinesIntact(const std::string& path, const std::string& prefix, int writers,
                          int perWriter) {
    const std::regex shape(
        "\\[[A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}\\] " + prefix +
        "W([0-9]+) N([0-9]+) \\.{150}");
    const std::string raw = zeltest::readFile(path);
    // Every line ends with the platform's line end, none is cut or mixed.
    std::size_t eols = 0;
    for (std::size_t p = raw.find(logtest::kEol); p != std::string::npos;
         p = raw.find(logtest::kEol, p + logtest::kEol.size()))
        ++eols;
    EXPECT_EQ(eols, static_cast<std::size_t>(writers) * perWriter);

    std::vector<int> next(writers, 0);
    int bad = 0;
    auto lines = zeltest::readLines(path);
    for (const auto& line : lines) {
        std::smatch m;
        if (!std::regex_match(line, m, shape)) {
            if (++bad < 5)
                ADD_FAILURE() << "broken line: " << line.substr(0, 200);
            continue;
        }
        int w = std::atoi(m[1].str().c_str()), n = std::atoi(m[2].str().c_str());
        if (w < 0 || w >= writers || n != next[w]) {
            if (++bad < 5)
                ADD_FAILURE() << "unexpected line: " << line.substr(0, 60);
            continue;
        }
        ++next[w];
    }
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(lines.size(), static_cast<std::size_t>(writers) * perWriter);
    for (int w = 0; w < writers; ++w)
        EXPECT_EQ(next[w], perWriter) << "writer " << w;
}

} // namespace

using ErrorLogConcurrency = LogFileTest;

// Exceptions, error and trace from 8 threads: 16,000 whole lines.
TEST_F(ErrorLogConcurrency, EightThreadsWriteWholeLines) {
    const int threads = 8, perThread = 2000;
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([t] {
            for (int i = 0; i < perThread; ++i)
                zel::Exception e("W%d N%d %s", t, i, kPadding.c_str());
        });
    }
    for (auto& th : pool)
        th.join();
    ExpectAllLinesIntact(m_path, "Error: ", threads, perThread);
}

TEST_F(ErrorLogConcurrency, ThreadsMixingErrorAndTraceWithLocationChanges) {
    // Two writers through error() while a third keeps setting the same location
    // and reading the switch: every line still lands whole.
    const int perThread = 500;
    std::thread a([] {
        for (int i = 0; i < perThread; ++i)
            zel::Exception::error("W0 N%d %s", i, kPadding.c_str());
    });
    std::thread b([] {
        for (int i = 0; i < perThread; ++i)
            zel::Exception::error("W1 N%d %s", i, kPadding.c_str());
    });
    std::string path = m_path;
    std::thread c([path] {
        for (int i = 0; i < 2000; ++i) {
            zel::Exception::SetErrorLogLocation(path.c_str());
            zel::Exception::GetMirrorErrorLog();
        }
    });
    a.join();
    b.join();
    c.join();
    ExpectAllLinesIntact(m_path, "Mirror Error: ", 2, perThread);
}

// A child of the test program appending lines through trace().
ZEL_TEST_CHILD(ErrorLogAppender) {
    if (args.size() != 3 && args.size() != 4)
        return 2;
    zel::Exception::SetErrorLogLocation(args[0].c_str());
    const int writer = std::atoi(args[1].c_str());
    const int count = std::atoi(args[2].c_str());
    // With a fourth argument: start together, once that file exists.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (args.size() > 3 && !zeltest::fileExists(args[3])) {
        if (std::chrono::steady_clock::now() > giveUp)
            return 3;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    for (int i = 0; i < count; ++i)
        zel::Exception::trace("W%d N%d %s", writer, i, kPadding.c_str());
    return 0;
}

TEST_F(ErrorLogConcurrency, FourProcessesAppendWholeLines) {
    const int processes = 4, perProcess = 500;
    std::vector<std::unique_ptr<zeltest::ChildProcess>> children;
    for (int p = 0; p < processes; ++p)
        children.push_back(std::make_unique<zeltest::ChildProcess>(
            "ErrorLogAppender",
            std::vector<std::string>{m_path, std::to_string(p), std::to_string(perProcess)}));
    for (auto& child : children) {
        ASSERT_TRUE(child->started());
        EXPECT_EQ(child->wait(), 0);
    }
    ExpectAllLinesIntact(m_path, "Mirror TRACE: ", processes, perProcess);
}

TEST_F(ErrorLogConcurrency, ProcessesCrossingTheLimitTogetherLoseNothing) {
    // Just over the limit, in whole lines: every writer's first line finds the log
    // full at the same moment, and exactly one of them rotates it; the older
    // generation keeps everything before.
    const std::string fillerLine = std::string(99, 'f') + "\n";
    std::string filler;
    while (filler.size() <= 10000000)
        filler += fillerLine;
    zeltest::writeFile(m_path, filler);
    const int processes = 6, perProcess = 100;
    const std::string go = m_dir.join("go");
    std::vector<std::unique_ptr<zeltest::ChildProcess>> children;
    for (int p = 0; p < processes; ++p)
        children.push_back(std::make_unique<zeltest::ChildProcess>(
            "ErrorLogAppender",
            std::vector<std::string>{m_path, std::to_string(p), std::to_string(perProcess), go}));
    // Let every child start (Wine takes its time), then release them together.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    zeltest::writeFile(go, "");
    for (auto& child : children) {
        ASSERT_TRUE(child->started());
        EXPECT_EQ(child->wait(), 0);
    }
    const std::string older = zeltest::readFile(m_path + ".001");
    ASSERT_GT(older.size(), 10000000u);
    EXPECT_EQ(older.compare(0, filler.size(), filler), 0);
    // Both generations together hold every line of every writer, in order.
    const std::regex shape("\\[[^\\]]{24}\\] Mirror TRACE: W([0-9]+) N([0-9]+) \\.{150}\r?");
    std::vector<int> next(processes, 0);
    int bad = 0;
    for (const std::string& text : {older.substr(filler.size()), raw()}) {
        std::size_t pos = 0;
        while (pos < text.size()) {
            std::size_t end = text.find('\n', pos);
            std::string line = text.substr(pos, end == std::string::npos ? end : end - pos);
            pos = end == std::string::npos ? text.size() : end + 1;
            std::smatch m;
            int w = -1;
            if (std::regex_match(line, m, shape))
                w = std::atoi(m[1].str().c_str());
            if (w < 0 || w >= processes || std::atoi(m[2].str().c_str()) != next[w]) {
                if (++bad < 5)
                    ADD_FAILURE() << "unexpected line: " << line.substr(0, 60);
                continue;
            }
            ++next[w];
        }
    }
    EXPECT_EQ(bad, 0);
    for (int w = 0; w < processes; ++w)
        EXPECT_EQ(next[w], perProcess) << "writer " << w;
}
