// Win32 code only: critical sections.
#include "platform/Sync.h"

#include <windows.h>

namespace zel {
namespace platform {

static_assert(sizeof(CRITICAL_SECTION) <= kLockStorageSize,
              "lock storage too small for the native lock");
static_assert(alignof(CRITICAL_SECTION) <= kLockStorageAlign, "lock storage misaligned");

static CRITICAL_SECTION* AsSection(void* storage) {
    return static_cast<CRITICAL_SECTION*>(storage);
}

void CriticalSectionInit(void* storage) {
    InitializeCriticalSection(AsSection(storage));
}
void CriticalSectionDestroy(void* storage) {
    DeleteCriticalSection(AsSection(storage));
}
void CriticalSectionEnter(void* storage) {
    EnterCriticalSection(AsSection(storage));
}
void CriticalSectionLeave(void* storage) {
    LeaveCriticalSection(AsSection(storage));
}

} // namespace platform
} // namespace zel
