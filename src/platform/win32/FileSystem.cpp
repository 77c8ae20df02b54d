// Win32 code only: files and folders through the shell, the runtime library and kernel32.
#include "platform/FileSystem.h"

#include <windows.h>
#include <shlobj.h>
#include <knownfolders.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <vector>

namespace zel {
namespace platform {

bool SystemDataFolder(std::string& folder) {
    PWSTR wide = nullptr;
    if (FAILED(SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &wide))) {
        if (wide != nullptr)
            CoTaskMemFree(wide);
        return false;
    }
    char buffer[512];
    size_t n = wcstombs(buffer, wide, sizeof buffer);
    CoTaskMemFree(wide);
    // A path that cannot be converted, or does not fit, is not usable.
    if (n == static_cast<size_t>(-1) || n >= sizeof buffer)
        return false;
    folder.assign(buffer, n);
    return true;
}

const char* FallbackLogPath() {
    return "C:\\ZELError.txt";
}

PathKind StatPath(const char* path) {
    struct _stat64i32 st;
    if (path == nullptr || _stat64i32(path, &st) != 0)
        return PathKind::Missing;
    return (st.st_mode & 0x4000) ? PathKind::Directory : PathKind::Other;
}

bool CreateOneDirectory(const char* path) {
    return CreateDirectoryA(path, nullptr) != 0;
}

int OpenForWrite(const char* path) {
    return _open(path, _O_WRONLY | _O_CREAT, _S_IREAD | _S_IWRITE);
}

bool DescriptorSize(int fd, long long& size) {
    struct _stat64i32 st;
    if (_fstat64i32(fd, &st) != 0)
        return false;
    size = static_cast<long long>(st.st_size);
    return true;
}

bool LockDescriptor(int fd, bool lock) {
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

void CloseDescriptor(int fd) {
    _close(fd);
}

bool RemoveFile(const char* path) {
    return _unlink(path) == 0;
}
bool RenameFile(const char* from, const char* to) {
    return rename(from, to) == 0;
}

bool AppendText(const char* path, const char* text, std::size_t length) {
    // Text mode on disk: every line feed becomes CR LF.
    std::vector<char> data;
    data.reserve(length + 16);
    for (std::size_t i = 0; i < length; ++i) {
        if (text[i] == '\n')
            data.push_back('\r');
        data.push_back(text[i]);
    }
    HANDLE h =
        CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    // Appends of other processes are serialised with a lock on one byte far beyond
    // any real end of file: readers of the log are never blocked, and the seek to
    // the end and the write happen as one step for every writer that takes it.
    // (An append-only handle alone is not atomic everywhere, Wine among them.)
    OVERLAPPED lockAt{};
    lockAt.Offset = 0;
    lockAt.OffsetHigh = 0x7FFFFFFF;
    const bool locked = LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lockAt) != 0;
    DWORD written = 0;
    LARGE_INTEGER zero{};
    BOOL ok = SetFilePointerEx(h, zero, nullptr, FILE_END) &&
              WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    if (locked)
        UnlockFileEx(h, 0, 1, 0, &lockAt);
    CloseHandle(h);
    return ok && written == data.size();
}

} // namespace platform
} // namespace zel
