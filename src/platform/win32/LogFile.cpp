// Win32 code only: appending a line to the error log and rotating it.
#include "platform/LogFile.h"
#include "platform/LogAppendSteps.h"
#include "platform/CallDeadline.h"
#include "platform/TrustedPath.h"

#include <windows.h>

#include <atomic>
#include <io.h>
#include <vector>

namespace zel {
namespace platform {

namespace {

// Appends of all processes are serialised with a lock on one byte far beyond any
// real end of file (readers are never blocked, and an append-only handle alone is
// not atomic everywhere, Wine among them); rotations with a lock on another one.
const DWORD kAppendLockHigh = 0x7FFFFFFF;
const DWORD kRotationLockHigh = 0x7FFFFFFE;
// How long an appender or a rotator waits for another process's lock, at most,
// and never past the call's deadline.
const unsigned int kLockWaitMs = 500;
// After a whole wait for a lock in vain, the lines of the next second only try
// it: a process that keeps a lock delays every line once, not each one.
const ULONGLONG kBusyForgetMs = 1000;
const char kBlockedSuffix[] = ".blocked";

// When a lock of the append byte, or of the rotation byte, was last waited for
// in vain, plus kBusyForgetMs.
std::atomic<ULONGLONG> g_appendBusyUntil{0};
std::atomic<ULONGLONG> g_rotationBusyUntil{0};
// Lines dropped because another process held the append lock; said in the next
// line that gets in.
std::atomic<unsigned long> g_droppedLines{0};

long long SizeOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return (static_cast<long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

// Identity of whatever is at `path` now, without following a reparse point.
bool IdentityAt(const char* path, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE h = CreateFileA(
        path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bool ok = GetFileInformationByHandle(h, &info) != FALSE;
    CloseHandle(h);
    return ok;
}

// Locks one byte, waiting on the tick clock (milliseconds, not passes of a loop:
// a Sleep(1) lasts a whole timer period, 15.6 ms by default) for at most
// kLockWaitMs and what is left of the call's deadline; only tries once the
// deadline has passed or the lock was recently found held for a whole wait.
bool LockByte(HANDLE h, DWORD high, std::atomic<ULONGLONG>& busyUntil) {
    const ULONGLONG start = GetTickCount64();
    const unsigned int waitMs = start < busyUntil.load() ? 0 : CallWaitLeftMs(kLockWaitMs);
    for (;;) {
        OVERLAPPED at{};
        at.OffsetHigh = high;
        if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
            return true;
        const ULONGLONG now = GetTickCount64();
        if (now - start >= waitMs) {
            if (waitMs > 0)
                busyUntil.store(now + kBusyForgetMs);
            return false;
        }
        Sleep(1);
    }
}

void UnlockByte(HANDLE h, DWORD high) {
    OVERLAPPED at{};
    at.OffsetHigh = high;
    UnlockFileEx(h, 0, 1, 0, &at);
}

// The log file as the append steps see it: one handle, never held past a line.
class Win32Log {
public:
    Win32Log() = default;
    Win32Log(const Win32Log&) = delete;
    Win32Log& operator=(const Win32Log&) = delete;
    ~Win32Log() { Close(); }

    // Opens the log for writing without following a reparse point; only a plain
    // file with one link, owned by SYSTEM, the Administrators or this account, is
    // a log. Anything else at the name (a file another account made there right
    // after a rotation) is moved aside, as on Linux. Windows has no rights to
    // carry over to a fresh log: the folder's inherited entries give them.
    LogOpened Open(const char* path, unsigned int) {
        // Writing where the descriptor allows it (the owner, the administrators),
        // which lets a torn line be cut off; else reading and appending, all the
        // log folder gives every account.
        const DWORD kWriting =
            FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;
        const DWORD kAppending =
            FILE_READ_DATA | FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;
        for (DWORD access : {kWriting, kAppending}) {
            m_h = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
            m_mayCut = access == kWriting;
            if (m_h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_ACCESS_DENIED)
                break;
        }
        if (m_h == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            DWORD attributes = GetFileAttributesA(path);
            if (attributes != INVALID_FILE_ATTRIBUTES &&
                (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
                return LogOpened::NotALog;
            // A file another account made at the name and closed to this one.
            if (attributes != INVALID_FILE_ATTRIBUTES && error == ERROR_ACCESS_DENIED &&
                !trust::TrustedFileOwner(path)) {
                m_squatter = "a file of another account";
                return LogOpened::NotALog;
            }
            return LogOpened::Failed;
        }
        if (GetFileType(m_h) != FILE_TYPE_DISK || !GetFileInformationByHandle(m_h, &m_opened) ||
            (m_opened.dwFileAttributes &
             (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
            Close(); // before anything is moved away from the name
            return LogOpened::NotALog;
        }
        if (m_opened.nNumberOfLinks != 1) {
            m_squatter = "a file with several links";
        } else if (!trust::TrustedFileOwner(m_h)) {
            m_squatter = "a file of another account";
        } else {
            return LogOpened::Log;
        }
        Close();
        return LogOpened::NotALog;
    }

    unsigned int ModeForNext() const { return 0; }

    long long OpenedSize() const { return SizeOf(m_opened); }
    long long CurrentSize() const {
        BY_HANDLE_FILE_INFORMATION now;
        return GetFileInformationByHandle(m_h, &now) ? SizeOf(now) : -1;
    }
    bool StillAt(const char* path) const {
        BY_HANDLE_FILE_INFORMATION atName;
        return IdentityAt(path, atName) && SameFile(atName, m_opened);
    }
    bool LockRotation(std::string&, std::string& blocked) {
        if (LockByte(m_h, kRotationLockHigh, g_rotationBusyUntil))
            return true;
        blocked = "another process holds the rotation lock";
        return false;
    }
    void UnlockRotation() { UnlockByte(m_h, kRotationLockHigh); }

    // Appends of all processes are serialised, so a line that stopped half-way is
    // still the last thing in the file and is cut back off. A line whose append
    // lock is not had in time is dropped and counted.
    bool Write(const char* data, std::size_t length) {
        if (length == 0)
            return true;
        bool ok = false;
        if (!LockByte(m_h, kAppendLockHigh, g_appendBusyUntil)) {
            ++g_droppedLines;
        } else {
            LARGE_INTEGER zero{}, end{};
            DWORD written = 0;
            if (SetFilePointerEx(m_h, zero, &end, FILE_END)) {
                BOOL wrote = WriteFile(m_h, data, static_cast<DWORD>(length), &written, nullptr);
                ok = wrote && written == length;
                if (!ok && written > 0 && m_mayCut &&
                    SetFilePointerEx(m_h, end, nullptr, FILE_BEGIN))
                    SetEndOfFile(m_h);
            }
            UnlockByte(m_h, kAppendLockHigh);
        }
        return ok;
    }

    // Windows never refuses what is at the name (it moves it aside instead).
    std::string Why() const { return std::string(); }

    static bool Rename(const char* from, const char* to, std::string& error) {
        if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING))
            return true;
        error = "error " + std::to_string(GetLastError());
        return false;
    }

    // Moves what squats `path` to `path` + ".blocked": a folder or reparse point,
    // or at the log's name the file Open found not to be a log.
    std::string MoveAside(const char* path) {
        DWORD attributes = GetFileAttributesA(path);
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return std::string();
        const bool odd =
            (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0;
        if (!odd && m_squatter.empty())
            return std::string();
        std::string aside = std::string(path) + kBlockedSuffix;
        if (!MoveFileExA(path, aside.c_str(), MOVEFILE_REPLACE_EXISTING))
            return std::string();
        const std::string what = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? "a reparse point"
                                 : (attributes & FILE_ATTRIBUTE_DIRECTORY)   ? "a folder"
                                                                             : m_squatter;
        return what + " at " + path + " was moved to " + aside;
    }

private:
    void Close() {
        if (m_h != INVALID_HANDLE_VALUE)
            CloseHandle(m_h);
        m_h = INVALID_HANDLE_VALUE;
    }

    HANDLE m_h = INVALID_HANDLE_VALUE;
    BY_HANDLE_FILE_INFORMATION m_opened{};
    std::string m_squatter; // what Open found at the log's name, if not a log
    bool m_mayCut = false;  // open for writing, not only for appending
};

} // namespace

LogAppend AppendLogLine(const char* path, const char* olderPath, long long rotateAbove,
                        const char* line, std::size_t length) {
    // Text mode on disk: every line feed becomes CR LF.
    std::vector<char> data;
    data.reserve(length + 16);
    for (std::size_t i = 0; i < length; ++i) {
        if (line[i] == '\n')
            data.push_back('\r');
        data.push_back(line[i]);
    }
    LogAppend done =
        AppendWithRotation<Win32Log>(path, olderPath, rotateAbove, data.data(), data.size());
    if (done.written && length > 0) {
        const unsigned long dropped = g_droppedLines.exchange(0);
        if (dropped > 0) {
            std::string said = std::to_string(dropped) +
                               (dropped == 1 ? " line was" : " lines were") +
                               " dropped: another process held the log's append lock";
            done.notice = done.notice.empty() ? said : done.notice + "; " + said;
        }
    }
    return done;
}

bool LockLogDescriptor(int fd, bool lock) {
    if (fd == -1)
        return false;
    // NOLINTNEXTLINE(performance-no-int-to-ptr) // the CRT gives the handle as an integer
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (h == INVALID_HANDLE_VALUE || h == nullptr)
        return false;
    OVERLAPPED ov{};
    if (lock)
        return LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 0xFFFFFFFF,
                          0xFFFFFFFF, &ov) != 0;
    return UnlockFileEx(h, 0, 0xFFFFFFFF, 0xFFFFFFFF, &ov) != 0;
}

} // namespace platform
} // namespace zel
