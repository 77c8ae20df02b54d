// Locks, events and threads of the operating system.
#pragma once

namespace zel {
namespace platform {

// Recursive lock in caller storage of AutoCriticalSection::kNativeSize bytes.
void CriticalSectionInit(void* storage);
void CriticalSectionDestroy(void* storage);
void CriticalSectionEnter(void* storage);
void CriticalSectionLeave(void* storage);

} // namespace platform
} // namespace zel
