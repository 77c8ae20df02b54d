// Win32 code only: appending a line to the error log and rotating it.
#include "platform/LogFile.h"

#include <windows.h>

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
// How long an appender or a rotator waits for another process's lock.
const int kLockWaitMs = 500;
const char kBlockedSuffix[] = ".blocked";

enum class Opened { Log, NotALog, Failed };

// Opens the log for writing without following a reparse point; only a plain file
// with one link is a log.
Opened OpenLog(const char* path, HANDLE& h, BY_HANDLE_FILE_INFORMATION& info) {
    h = CreateFileA(path, GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD attributes = GetFileAttributesA(path);
        if (attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
            return Opened::NotALog;
        return Opened::Failed;
    }
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
        info.nNumberOfLinks != 1) {
        CloseHandle(h);
        h = INVALID_HANDLE_VALUE;
        return Opened::NotALog;
    }
    return Opened::Log;
}

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

bool LockByte(HANDLE h, DWORD high, bool wait) {
    for (int waited = 0;; ++waited) {
        OVERLAPPED at{};
        at.OffsetHigh = high;
        if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
            return true;
        if (!wait || waited >= kLockWaitMs)
            return false;
        Sleep(1);
    }
}

void UnlockByte(HANDLE h, DWORD high) {
    OVERLAPPED at{};
    at.OffsetHigh = high;
    UnlockFileEx(h, 0, 1, 0, &at);
}

// Moves a folder or reparse point squatting `path` to `path` + ".blocked".
std::string MoveAside(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0)
        return std::string();
    std::string aside = std::string(path) + kBlockedSuffix;
    if (!MoveFileExA(path, aside.c_str(), MOVEFILE_REPLACE_EXISTING))
        return std::string();
    return std::string((attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? "a reparse point"
                                                                   : "a folder") +
           " at " + path + " was moved to " + aside;
}

std::string ErrorNumber(DWORD code) {
    return "error " + std::to_string(code);
}

// Rotates the log open as h under the rotation lock. True when the name now holds
// another file (or none), so the caller opens again.
bool Rotate(HANDLE h, const BY_HANDLE_FILE_INFORMATION& measured, const char* path,
            const char* older, long long limit, std::string& notice) {
    if (!LockByte(h, kRotationLockHigh, true)) {
        notice = std::string("the log ") + path +
                 " is over its size limit and was not rotated: another process holds "
                 "the rotation lock";
        return false;
    }
    bool again = true;
    BY_HANDLE_FILE_INFORMATION now, atName;
    if (GetFileInformationByHandle(h, &now) && IdentityAt(path, atName) &&
        SameFile(atName, measured)) {
        again = false;
        if (SizeOf(now) > limit) {
            if (MoveFileExA(path, older, MOVEFILE_REPLACE_EXISTING)) {
                again = true;
            } else {
                DWORD error = GetLastError();
                std::string moved = MoveAside(older);
                if (!moved.empty() && MoveFileExA(path, older, MOVEFILE_REPLACE_EXISTING)) {
                    notice = moved;
                    again = true;
                } else {
                    notice = std::string("the log ") + path +
                             " is over its size limit and could not be renamed to " + older + ": " +
                             ErrorNumber(error);
                }
            }
        }
    }
    UnlockByte(h, kRotationLockHigh);
    return again;
}

} // namespace

LogAppend AppendLogLine(const char* path, const char* olderPath, long long rotateAbove,
                        const char* line, std::size_t length) {
    LogAppend result;
    if (path == nullptr || *path == '\0')
        return result;
    // Text mode on disk: every line feed becomes CR LF.
    std::vector<char> data;
    data.reserve(length + 16);
    for (std::size_t i = 0; i < length; ++i) {
        if (line[i] == '\n')
            data.push_back('\r');
        data.push_back(line[i]);
    }
    for (int attempt = 0; attempt < 4; ++attempt) {
        HANDLE h = INVALID_HANDLE_VALUE;
        BY_HANDLE_FILE_INFORMATION info;
        Opened opened = OpenLog(path, h, info);
        if (opened == Opened::NotALog) {
            std::string moved = MoveAside(path);
            if (moved.empty())
                return result; // the line is dropped
            result.notice = moved;
            continue;
        }
        if (opened == Opened::Failed)
            return result;
        if (rotateAbove >= 0 && olderPath != nullptr && SizeOf(info) > rotateAbove) {
            std::string notice;
            bool again = Rotate(h, info, path, olderPath, rotateAbove, notice);
            if (!notice.empty()) {
                result.notice = notice;
                result.lasting = !again;
            }
            if (again) {
                CloseHandle(h);
                rotateAbove = kNeverRotate;
                continue;
            }
        }
        bool ok = data.empty();
        if (!data.empty() && LockByte(h, kAppendLockHigh, true)) {
            LARGE_INTEGER zero{}, end{};
            DWORD written = 0;
            if (SetFilePointerEx(h, zero, &end, FILE_END)) {
                BOOL wrote =
                    WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
                ok = wrote && written == data.size();
                // A line that stopped half-way is cut back off, so the next one is
                // not glued onto it; appends are serialised, so it is still last.
                if (!ok && written > 0 && SetFilePointerEx(h, end, nullptr, FILE_BEGIN))
                    SetEndOfFile(h);
            }
            UnlockByte(h, kAppendLockHigh);
        }
        CloseHandle(h);
        result.written = ok;
        return result;
    }
    return result;
}

bool LockLogDescriptor(int fd, bool lock) {
    if (fd == -1)
        return false;
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
