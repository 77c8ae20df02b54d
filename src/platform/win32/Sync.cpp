// Win32 code only: critical sections.
#include "platform/Sync.h"

#include <windows.h>

#include "zel/Lock.h"

namespace zel {
namespace platform {

static_assert(sizeof(CRITICAL_SECTION) <= AutoCriticalSection::kNativeSize,
              "AutoCriticalSection storage too small for the native lock");
static_assert(alignof(CRITICAL_SECTION) <= (sizeof(void*) == 4 ? 4 : 8),
              "AutoCriticalSection storage misaligned");

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
