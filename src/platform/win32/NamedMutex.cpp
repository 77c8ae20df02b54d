// Win32 code only: named mutexes with the shared-access attributes.
#include "platform/NamedMutex.h"

#include <windows.h>

namespace zel {
namespace platform {

void* CreateNamedMutex(void* attributes, bool initialOwner, const char* name, bool& existed) {
    SetLastError(ERROR_SUCCESS);
    HANDLE h = CreateMutexA(static_cast<SECURITY_ATTRIBUTES*>(attributes),
                            initialOwner ? TRUE : FALSE, name);
    existed = h != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
    return h;
}

void* OpenNamedMutex(const char* name) {
    return OpenMutexA(SYNCHRONIZE, FALSE, name);
}

MutexWait WaitNamedMutex(void* mutex, unsigned int milliseconds) {
    switch (WaitForSingleObject(mutex, milliseconds)) {
    case WAIT_OBJECT_0:
        return MutexWait::Acquired;
    case WAIT_ABANDONED:
        return MutexWait::Abandoned;
    case WAIT_TIMEOUT:
        return MutexWait::Timeout;
    default:
        return MutexWait::Failed;
    }
}

bool ReleaseNamedMutex(void* mutex) {
    return ReleaseMutex(mutex) != FALSE;
}

} // namespace platform
} // namespace zel
