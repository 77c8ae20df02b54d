// Win32 code only: files and folders through the shell, the runtime library and kernel32.
#include "platform/FileSystem.h"

#include <windows.h>
#include <shlobj.h>
#include <knownfolders.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <cwchar>
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
    const wchar_t* from = wide;
    std::mbstate_t state{};
    // NOLINTNEXTLINE(concurrency-mt-unsafe) // with a state of its own it is thread safe
    size_t n = wcsrtombs(buffer, &from, sizeof buffer, &state);
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

} // namespace platform
} // namespace zel
