// Win32 code only: closing the handles of named mutexes and mappings.
#include "platform/KernelHandle.h"

#include <windows.h>

namespace zel {
namespace platform {

bool CloseKernelHandle(void* handle) {
    return handle != nullptr && CloseHandle(handle) != FALSE;
}

} // namespace platform
} // namespace zel
