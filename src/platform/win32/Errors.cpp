// Win32 code only: GetLastError and FormatMessageA.
#include "platform/Errors.h"

#include <windows.h>

namespace zel {
namespace platform {

unsigned long LastErrorCode() {
    return GetLastError();
}

bool IsOutOfMemory(unsigned long code) {
    return code == ERROR_NOT_ENOUGH_MEMORY || code == ERROR_OUTOFMEMORY;
}

bool IsNotFound(unsigned long code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

bool ErrorText(unsigned long code, std::string& text) {
    char* buffer = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                             reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
    if (n == 0 || buffer == nullptr) {
        if (buffer != nullptr)
            LocalFree(buffer);
        return false;
    }
    try {
        text.assign(buffer, n);
    } catch (...) {
        LocalFree(buffer);
        throw;
    }
    LocalFree(buffer);
    return true;
}

} // namespace platform
} // namespace zel
