// Recursive locks of the operating system, kept in caller storage.
#pragma once

namespace zel {
namespace platform {

// The storage a recursive lock needs: a CRITICAL_SECTION on Windows, a
// pthread_mutex_t elsewhere. Each backend checks its native type against these.
#if defined(_WIN32)
constexpr unsigned kLockStorageSize = sizeof(void*) == 4 ? 24 : 40;
#else
constexpr unsigned kLockStorageSize = 64;
#endif
constexpr unsigned kLockStorageAlign = sizeof(void*) == 4 ? 4 : 8;

// Recursive lock in caller storage of kLockStorageSize bytes, aligned to
// kLockStorageAlign.
void CriticalSectionInit(void* storage);
void CriticalSectionDestroy(void* storage);
void CriticalSectionEnter(void* storage);
void CriticalSectionLeave(void* storage);

} // namespace platform
} // namespace zel
