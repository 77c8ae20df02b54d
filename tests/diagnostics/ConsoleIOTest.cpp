#include "zel/ConsoleIO.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>

#ifndef _WIN32
#include <cerrno>
#include <chrono>
#include <csignal>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <pthread.h>
#include <termios.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#endif

TEST(ConsoleIO, CopiesAndAssignmentsHoldNothing) {
    zel::ConsoleIO a;
    zel::ConsoleIO b(a);
    EXPECT_EQ(&(b = a), &b);
    zel::ConsoleIO* heap = new zel::ConsoleIO(b);
    delete heap; // through the virtual destructor
}

#ifdef _WIN32

TEST(ConsoleIO, KeysFromTheConsole) {
    GTEST_SKIP() << "needs an interactive console; Wine runs the tests without one, and "
                    "_getch would wait for a key nobody types";
}

#else

namespace {

using Clock = std::chrono::steady_clock;

// A child process of this test program with a pseudo-terminal as its console.
class PtyChild {
public:
    explicit PtyChild(const char* name) {
        std::fflush(nullptr);
        m_pid = forkpty(&m_master, nullptr, nullptr, nullptr);
        if (m_pid == 0) {
            char self[] = "self", flag[] = "--zel-child";
            std::string n = name;
            char* argv[] = {self, flag, &n[0], nullptr};
            execv("/proc/self/exe", argv);
            _exit(127);
        }
    }
    ~PtyChild() {
        if (m_pid > 0 && !m_waited) {
            kill(m_pid, SIGKILL);
            wait();
        }
        if (m_master >= 0)
            close(m_master);
    }
    bool started() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }

    // Reads the child's output until it holds `text`; false after 10 seconds.
    bool waitFor(const std::string& text) {
        auto deadline = Clock::now() + std::chrono::seconds(10);
        while (m_output.find(text, m_consumed) == std::string::npos) {
            if (Clock::now() > deadline)
                return false;
            readSome(100);
        }
        m_consumed = m_output.find(text, m_consumed) + text.size();
        return true;
    }
    // The rest of the line after `prefix`.
    std::string valueAfter(const std::string& prefix) {
        if (!waitFor(prefix))
            return "<none>";
        std::size_t start = m_consumed;
        if (!waitFor("\n"))
            return "<none>";
        std::string value = m_output.substr(start, m_consumed - 1 - start);
        if (!value.empty() && value.back() == '\r')
            value.pop_back();
        return value;
    }
    // Waits until the terminal no longer echoes: the child is inside a key read.
    bool waitForKeyRead() {
        auto deadline = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < deadline) {
            termios t;
            if (tcgetattr(m_master, &t) == 0 && !(t.c_lflag & ECHO) && !(t.c_lflag & ICANON))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }
    bool type(const std::string& keys) {
        return write(m_master, keys.data(), keys.size()) == static_cast<ssize_t>(keys.size());
    }
    termios settings() {
        termios t{};
        tcgetattr(m_master, &t);
        return t;
    }
    int wait() {
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_waited = true;
        return status;
    }
    const std::string& output() const { return m_output; }

private:
    bool readSome(int timeoutMs) {
        pollfd p{m_master, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0)
            return false;
        char buffer[256];
        ssize_t n = read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            return false;
        m_output.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    int m_master = -1;
    pid_t m_pid = -1;
    bool m_waited = false;
    std::string m_output;
    std::size_t m_consumed = 0;
};

} // namespace

// Reads keys and reports each code until 'q'; then waits for a key with KeyBoardHit.
ZEL_TEST_CHILD(consoleKeys) {
    (void)args;
    zel::ConsoleIO con;
    std::printf("READY\n");
    std::printf("IDLE=%d\n", con.KeyBoardHit());
    std::fflush(stdout);
    for (;;) {
        char c = con.GetChar();
        std::printf("CODE=%d\n", static_cast<unsigned char>(c));
        std::fflush(stdout);
        if (c == 'q')
            break;
    }
    std::printf("POLLING\n");
    std::fflush(stdout);
    int hit = 0;
    for (int i = 0; i < 1000 && !hit; ++i) {
        hit = con.KeyBoardHit();
        if (!hit)
            usleep(10000);
    }
    std::printf("HIT=%d\n", hit != 0);
    std::printf("CODE=%d\n", static_cast<unsigned char>(con.GetChar()));
    termios t;
    tcgetattr(0, &t);
    std::printf("ECHO=%d ICANON=%d\n", (t.c_lflag & ECHO) != 0, (t.c_lflag & ICANON) != 0);
    std::fflush(stdout);
    return 0;
}

TEST(ConsoleIO, ReadsKeysFromATerminalWithoutEcho) {
    PtyChild child("consoleKeys");
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(child.waitFor("READY"));
    EXPECT_EQ(child.valueAfter("IDLE="), "0");

    struct Case {
        const char* what;
        std::string keys;
        std::vector<int> codes;
    } cases[] = {
        {"plain key", "z", {'z'}},
        {"Up arrow", "\x1b[A", {0xE0, 0x48}},
        {"Left arrow (application mode)", "\x1bOD", {0xE0, 0x4B}},
        {"Delete", "\x1b[3~", {0xE0, 0x53}},
        {"Page Down", "\x1b[6~", {0xE0, 0x51}},
        {"Home", "\x1b[H", {0xE0, 0x47}},
        {"F1", "\x1bOP", {0, 0x3B}},
        {"F5", "\x1b[15~", {0, 0x3F}},
        {"F12", "\x1b[24~", {0xE0, 0x86}},
        {"Ctrl+Right keeps the key", "\x1b[1;5C", {0xE0, 0x4D}},
        {"Enter", "\r", {13}},
        {"Backspace", "\x7f", {8}},
        {"Escape alone", "\x1b", {27}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(child.waitForKeyRead());
        ASSERT_TRUE(child.type(c.keys));
        for (int code : c.codes)
            EXPECT_EQ(child.valueAfter("CODE="), std::to_string(code));
    }
    ASSERT_TRUE(child.waitForKeyRead());
    ASSERT_TRUE(child.type("q"));
    EXPECT_EQ(child.valueAfter("CODE="), std::to_string('q'));

    // Nothing typed came back as echo.
    EXPECT_EQ(child.output().find('z'), std::string::npos) << child.output();
    EXPECT_EQ(child.output().find("^["), std::string::npos) << child.output();

    // A waiting key makes KeyBoardHit non-zero, and GetChar then reads it.
    ASSERT_TRUE(child.waitFor("POLLING"));
    ASSERT_TRUE(child.type("k"));
    EXPECT_EQ(child.valueAfter("HIT="), "1");
    EXPECT_EQ(child.valueAfter("CODE="), std::to_string('k'));

    // The terminal's settings are back.
    EXPECT_EQ(child.valueAfter("ECHO="), "1 ICANON=1");
    int status = child.wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

namespace {

// Shared between the handler (on the reader thread) and the main thread: lock-free
// atomics, which a signal handler may use.
std::atomic<int> g_readerStalled{0};
std::atomic<int> g_releaseReader{0};

// Holds the reading thread inside GetChar until released.
extern "C" void StallReader(int) {
    g_readerStalled = 1;
    while (!g_releaseReader) {
        timespec pause{0, 1000000};
        nanosleep(&pause, nullptr);
    }
}

// Waits up to 10 seconds for `done`.
template <typename Condition> bool Eventually(Condition done) {
    auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (Clock::now() > deadline)
            return false;
        usleep(1000);
    }
    return true;
}

} // namespace

// One thread sits inside GetChar (held there by a signal handler, so the key
// stays unread) while the main thread asks KeyBoardHit about the key typed then.
ZEL_TEST_CHILD(consoleHitWhileReading) {
    (void)args;
    struct sigaction stall {};
    stall.sa_handler = &StallReader;
    sigemptyset(&stall.sa_mask);
    if (sigaction(SIGUSR1, &stall, nullptr) != 0)
        return 10;
    zel::ConsoleIO con;
    int code = -1;
    std::thread reader([&] { code = static_cast<unsigned char>(con.GetChar()); });
    // The reader has switched the terminal to non-canonical input: it is inside.
    bool inside = Eventually([] {
        termios t;
        return tcgetattr(0, &t) == 0 && !(t.c_lflag & ICANON);
    });
    if (inside) {
        pthread_kill(reader.native_handle(), SIGUSR1);
        inside = Eventually([] { return g_readerStalled != 0; });
    }
    std::printf("STALLED=%d\n", inside ? 1 : 0);
    std::fflush(stdout);
    int hit = 0;
    for (int i = 0; i < 500 && !hit; ++i) {
        hit = con.KeyBoardHit();
        if (!hit)
            usleep(10000);
    }
    std::printf("HIT=%d\n", hit != 0);
    std::fflush(stdout);
    g_releaseReader = 1;
    reader.join();
    std::printf("CODE=%d\n", code);
    std::fflush(stdout);
    return 0;
}

TEST(ConsoleIO, KeyBoardHitSeesAKeyWhileAnotherThreadIsInGetChar) {
    PtyChild child("consoleHitWhileReading");
    ASSERT_TRUE(child.started());
    ASSERT_EQ(child.valueAfter("STALLED="), "1");
    ASSERT_TRUE(child.type("k"));
    EXPECT_EQ(child.valueAfter("HIT="), "1");
    // The reader, let go, gets the key.
    EXPECT_EQ(child.valueAfter("CODE="), std::to_string('k'));
    int status = child.wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// Reads a key in a process of its own that the test ends with a signal; this one
// reports how it ended and leaves normally (so its own temporary folder goes).
ZEL_TEST_CHILD(consoleWaitForever) {
    (void)args;
    std::fflush(nullptr);
    pid_t reader = fork();
    if (reader < 0)
        return 2;
    if (reader == 0) {
        zel::ConsoleIO con;
        std::printf("PID=%ld\n", static_cast<long>(getpid()));
        std::fflush(stdout);
        con.GetChar();
        _exit(0);
    }
    int status = 0;
    if (waitpid(reader, &status, 0) != reader)
        return 3;
    return WIFSIGNALED(status) ? 100 + WTERMSIG(status) : 4;
}

TEST(ConsoleIO, SettingsAreRestoredWhenASignalEndsTheRead) {
    for (int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        PtyChild child("consoleWaitForever");
        ASSERT_TRUE(child.started());
        // A new pseudo-terminal starts cooked: echo, lines, CR to LF. (Read it here,
        // not before the child runs: by then the child may already be in a read.)
        pid_t reader = static_cast<pid_t>(std::stol(child.valueAfter("PID=")));
        ASSERT_TRUE(child.waitForKeyRead());
        kill(reader, sig);
        int status = child.wait();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 100 + sig) << status;
        termios after = child.settings();
        EXPECT_EQ(after.c_lflag & (ECHO | ICANON), tcflag_t(ECHO | ICANON));
        EXPECT_EQ(after.c_iflag & ICRNL, tcflag_t(ICRNL));
    }
}

// stdin a pipe: bytes as they are, no translation.
ZEL_TEST_CHILD(consolePipe) {
    (void)args;
    zel::ConsoleIO con;
    if (!con.KeyBoardHit())
        return 10;
    if (con.GetChar() != 'a' || con.GetChar() != 0x1b || con.GetChar() != '[')
        return 11;
    if (con.GetChar() != 'A' || con.GetChar() != 0x7f)
        return 12;
    if (con.GetChar() != static_cast<char>(-1)) // end of input
        return 13;
    return 0;
}

TEST(ConsoleIO, ReadsPlainBytesWhenStdinIsNotATerminal) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], "a\x1b[A\x7f", 5), 5);
    close(fds[1]);
    std::fflush(nullptr);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(fds[0], 0);
        close(fds[0]);
        char self[] = "self", flag[] = "--zel-child", name[] = "consolePipe";
        char* argv[] = {self, flag, name, nullptr};
        execv("/proc/self/exe", argv);
        _exit(127);
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

#endif
