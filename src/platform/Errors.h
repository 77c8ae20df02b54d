// The calling thread's last error code and the system's text for it.
#pragma once

#include <string>

namespace zel {
namespace platform {

// GetLastError() on Windows, errno elsewhere.
unsigned long LastErrorCode();
// The system's text for `code`, line end included as the system gives it.
// False when the system has no text for the code.
bool ErrorText(unsigned long code, std::string& text);
// True when `code` says that memory ran out (ENOMEM; ERROR_NOT_ENOUGH_MEMORY or
// ERROR_OUTOFMEMORY on Windows).
bool IsOutOfMemory(unsigned long code);
// True when `code` says that nothing of that name exists (ENOENT;
// ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND on Windows).
bool IsNotFound(unsigned long code);

} // namespace platform
} // namespace zel
