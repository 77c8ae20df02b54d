// Generic POSIX code only: keyboard input from a terminal (termios) or plain stdin.
#include "platform/Console.h"

#include "base/Immortal.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <mutex>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace zel {
namespace platform {

namespace {

// Serialises readers and guards the queue of codes still to hand out (the second
// code of a two-code key, or the bytes after an escape that meant nothing).
// Never destroyed, so that a key may be read during exit.
base::Immortal<std::mutex> g_inputMutexStore;
base::Immortal<std::string> g_pendingStore;
std::mutex& g_inputMutex = *g_inputMutexStore;
std::string& g_pending = *g_pendingStore;
// g_pending's length, readable without g_inputMutex by a key test that runs while
// another thread reads.
std::atomic<std::size_t> g_pendingCount{0};

// ---- Terminal settings, restored also when a signal ends the process ----

const int kRestoreSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kSignalCount = sizeof kRestoreSignals / sizeof kRestoreSignals[0];
struct sigaction g_previous[kSignalCount];
bool g_installed[kSignalCount];
termios g_savedSettings;
volatile sig_atomic_t g_restoreArmed = 0;

extern "C" void RestoreTerminalOnSignal(int signal) {
    if (g_restoreArmed) {
        tcsetattr(STDIN_FILENO, TCSANOW, &g_savedSettings);
        g_restoreArmed = 0;
    }
    // Hand the signal on to whatever handled it before; it is delivered once this
    // handler returns.
    for (int i = 0; i < kSignalCount; ++i) {
        if (kRestoreSignals[i] == signal && g_installed[i]) {
            sigaction(signal, &g_previous[i], nullptr);
            g_installed[i] = false;
        }
    }
    raise(signal); // NOLINT(cert-err33-c) // the default action ends the process
}

// Unechoed, non-canonical input for the life of the object. `wait` chooses
// whether a read waits for a byte (VMIN 1) or returns at once (VMIN 0).
class RawTerminal {
public:
    explicit RawTerminal(bool wait) : m_wait(wait) {
        m_ok = tcgetattr(STDIN_FILENO, &m_saved) == 0;
        if (m_ok)
            Apply();
    }
    ~RawTerminal() {
        if (!m_ok)
            return;
        tcsetattr(STDIN_FILENO, TCSANOW, &m_saved);
        g_restoreArmed = 0;
        Uninstall();
    }
    RawTerminal(const RawTerminal&) = delete;
    RawTerminal& operator=(const RawTerminal&) = delete;

    bool ok() const { return m_ok; }

    // After a signal whose handler returned, the settings were restored and our
    // handlers removed: take both again.
    void Apply() {
        g_savedSettings = m_saved;
        Install();
        g_restoreArmed = 1;
        termios raw = m_saved;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR);
        raw.c_cc[VMIN] = m_wait ? 1 : 0;
        raw.c_cc[VTIME] = 0;
        tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    }

private:
    static void Install() {
        for (int i = 0; i < kSignalCount; ++i) {
            if (g_installed[i])
                continue;
            struct sigaction action {};
            action.sa_handler = &RestoreTerminalOnSignal;
            sigemptyset(&action.sa_mask);
            struct sigaction previous {};
            if (sigaction(kRestoreSignals[i], nullptr, &previous) != 0 ||
                previous.sa_handler == SIG_IGN)
                continue; // an ignored signal cannot end the process
            if (sigaction(kRestoreSignals[i], &action, &g_previous[i]) == 0)
                g_installed[i] = true;
        }
    }
    static void Uninstall() {
        for (int i = 0; i < kSignalCount; ++i) {
            if (g_installed[i]) {
                sigaction(kRestoreSignals[i], &g_previous[i], nullptr);
                g_installed[i] = false;
            }
        }
    }

    termios m_saved{};
    bool m_ok = false;
    bool m_wait;
};

// One byte of stdin within `timeoutMs` (-1: wait without limit); -1 when none
// came (time-out, end of input or error).
int ReadByte(int timeoutMs, RawTerminal* terminal) {
    for (;;) {
        pollfd p{STDIN_FILENO, POLLIN, 0};
        int n = poll(&p, 1, timeoutMs);
        if (n < 0 && errno == EINTR) {
            if (terminal != nullptr)
                terminal->Apply();
            continue;
        }
        if (n <= 0)
            return -1;
        unsigned char c;
        ssize_t r = read(STDIN_FILENO, &c, 1);
        if (r == 1)
            return c;
        if (r < 0 && (errno == EINTR || errno == EAGAIN)) {
            if (terminal != nullptr)
                terminal->Apply();
            continue;
        }
        return -1;
    }
}

// Windows codes (prefix, code) of the keys terminals send as escape sequences.
struct KeyCode {
    int prefix;
    int code;
};

bool KeyForFinal(char final, KeyCode& key) {
    switch (final) {
    case 'A':
        key = {0xE0, 0x48};
        return true; // Up
    case 'B':
        key = {0xE0, 0x50};
        return true; // Down
    case 'C':
        key = {0xE0, 0x4D};
        return true; // Right
    case 'D':
        key = {0xE0, 0x4B};
        return true; // Left
    case 'H':
        key = {0xE0, 0x47};
        return true; // Home
    case 'F':
        key = {0xE0, 0x4F};
        return true; // End
    case 'P':
        key = {0, 0x3B};
        return true; // F1 (ESC O P, or CSI 1;m P)
    case 'Q':
        key = {0, 0x3C};
        return true; // F2
    case 'R':
        key = {0, 0x3D};
        return true; // F3
    case 'S':
        key = {0, 0x3E};
        return true; // F4
    case 'Z':
        key = {0, 0x0F};
        return true; // Shift+Tab
    default:
        return false;
    }
}

bool KeyForNumber(int number, KeyCode& key) {
    switch (number) {
    case 1:
    case 7:
        key = {0xE0, 0x47};
        return true; // Home
    case 2:
        key = {0xE0, 0x52};
        return true; // Insert
    case 3:
        key = {0xE0, 0x53};
        return true; // Delete
    case 4:
    case 8:
        key = {0xE0, 0x4F};
        return true; // End
    case 5:
        key = {0xE0, 0x49};
        return true; // Page Up
    case 6:
        key = {0xE0, 0x51};
        return true; // Page Down
    case 11:
    case 12:
    case 13:
    case 14:
    case 15: // F1..F5
        key = {0, 0x3B + number - 11};
        return true;
    case 17:
    case 18:
    case 19:
    case 20:
    case 21: // F6..F10
        key = {0, 0x40 + number - 17};
        return true;
    case 23:
        key = {0xE0, 0x85};
        return true; // F11
    case 24:
        key = {0xE0, 0x86};
        return true; // F12
    default:
        return false;
    }
}

// Called after ESC: reads the rest of an escape sequence (terminals send it in one
// piece, so a short time-out between its bytes suffices) and returns the first
// code to hand out; the rest goes to g_pending.
int TranslateEscape(RawTerminal* terminal) {
    const int kGapMs = 50;
    int c = ReadByte(kGapMs, terminal);
    if (c < 0)
        return 0x1B; // the Escape key itself
    std::string seq(1, static_cast<char>(c));
    KeyCode key{};
    bool known = false;
    if (c == 'O') { // SS3: one final byte
        int f = ReadByte(kGapMs, terminal);
        if (f >= 0) {
            seq += static_cast<char>(f);
            known = KeyForFinal(static_cast<char>(f), key);
        }
    } else if (c == '[') { // CSI: parameters, then a final byte 0x40..0x7E
        int number = -1;
        bool firstParameter = true;
        for (;;) {
            int b = ReadByte(kGapMs, terminal);
            if (b < 0)
                break;
            seq += static_cast<char>(b);
            if (b == '[' && seq.size() == 2) { // Linux console F1..F5: ESC [ [ A..E
                int f = ReadByte(kGapMs, terminal);
                if (f >= 'A' && f <= 'E') {
                    seq += static_cast<char>(f);
                    key = {0, 0x3B + (f - 'A')};
                    known = true;
                } else if (f >= 0) {
                    seq += static_cast<char>(f);
                }
                break;
            }
            if (b >= '0' && b <= '9') {
                if (firstParameter)
                    number = (number < 0 ? 0 : number * 10) + (b - '0');
                continue;
            }
            if (b == ';') {
                firstParameter = false; // modifiers follow; the key stays the same
                continue;
            }
            if (b >= 0x40 && b <= 0x7E) {
                known =
                    b == '~' ? KeyForNumber(number, key) : KeyForFinal(static_cast<char>(b), key);
            }
            break;
        }
    }
    if (known) {
        g_pending += static_cast<char>(key.code);
    } else {
        // Not a key we know (or Alt with a key): hand out ESC and then the bytes.
        g_pending += seq;
    }
    g_pendingCount.store(g_pending.size());
    return known ? key.prefix : 0x1B;
}

int PopPending() {
    int c = static_cast<unsigned char>(g_pending[0]);
    g_pending.erase(0, 1);
    g_pendingCount.store(g_pending.size());
    return c;
}

} // namespace

int ConsoleGetKey() {
    std::lock_guard<std::mutex> lock(g_inputMutex);
    if (!g_pending.empty())
        return PopPending();
    if (!isatty(STDIN_FILENO))
        return ReadByte(-1, nullptr);
    RawTerminal terminal(true);
    RawTerminal* t = terminal.ok() ? &terminal : nullptr;
    int c = ReadByte(-1, t);
    if (c == 0x1B)
        return TranslateEscape(t);
    if (c == 0x7F)
        return 8; // Backspace, as the Windows console gives it
    return c;
}

int ConsoleKeyWaiting() {
    pollfd p{STDIN_FILENO, POLLIN, 0};
    std::unique_lock<std::mutex> lock(g_inputMutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        // Another thread is inside a key read and has the terminal in non-canonical
        // input already (or is just switching to it): a typed key is readable now,
        // without touching the settings that thread restores. Whether this thread
        // or that one gets the key is a race, as with two readers on Windows.
        if (g_pendingCount.load() != 0)
            return 1;
        return poll(&p, 1, 0) > 0 && (p.revents & POLLIN) ? 1 : 0;
    }
    if (!g_pending.empty())
        return 1;
    if (!isatty(STDIN_FILENO))
        return poll(&p, 1, 0) > 0 ? 1 : 0;
    // A canonical terminal holds keys back until the end of the line; without
    // canonical input the keys already typed become readable.
    RawTerminal terminal(false);
    return poll(&p, 1, 0) > 0 && (p.revents & POLLIN) ? 1 : 0;
}

} // namespace platform
} // namespace zel
