// Generic POSIX code only: errno and its text.
#include "platform/Errors.h"

#include <cerrno>
#include <climits>
#include <cstring>

namespace zel {
namespace platform {

unsigned long LastErrorCode() {
    return static_cast<unsigned long>(errno);
}

bool IsOutOfMemory(unsigned long code) {
    return code == ENOMEM;
}

bool IsNotFound(unsigned long code) {
    return code == ENOENT;
}

bool ErrorText(unsigned long code, std::string& text) {
    char buffer[512];
    buffer[0] = '\0';
    // The GNU strerror_r may return a static text instead of filling the buffer,
    // and makes up "Unknown error N" for a code it has no text for; such a code
    // has no text here, as FormatMessageA has none for it on Windows.
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
    if (code > static_cast<unsigned long>(INT_MAX) ||
        strerrordesc_np(static_cast<int>(code)) == nullptr)
        return false;
    const char* message = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
#else
    const char* message =
        strerror_r(static_cast<int>(code), buffer, sizeof buffer) == 0 ? buffer : nullptr;
#endif
    if (message == nullptr || *message == '\0')
        return false;
    text = message;
    text += '\n';
    return true;
}

} // namespace platform
} // namespace zel
