#include "zel/Lock.h"

#include "platform/Sync.h"

namespace zel {

// The public header keeps the native lock opaque; its storage must hold what the
// platform needs.
static_assert(AutoCriticalSection::kNativeSize >= platform::kLockStorageSize,
              "AutoCriticalSection storage too small for the native lock");
static_assert(alignof(AutoCriticalSection) >= platform::kLockStorageAlign,
              "AutoCriticalSection storage misaligned");

Lockable::Lockable() = default;
Lockable::~Lockable() = default;

AutoCriticalSection::AutoCriticalSection() {
    platform::CriticalSectionInit(m_criticalSection);
}
AutoCriticalSection::~AutoCriticalSection() {
    platform::CriticalSectionDestroy(m_criticalSection);
}
void AutoCriticalSection::lock() {
    platform::CriticalSectionEnter(m_criticalSection);
}
void AutoCriticalSection::unlock() {
    platform::CriticalSectionLeave(m_criticalSection);
}

Guard::Guard(Lockable& lockable) : m_lockable(&lockable) {
    m_lockable->lock();
}
Guard::~Guard() {
    m_lockable->unlock();
}

UnGuard::UnGuard(Guard& guard) : m_lockable(guard.m_lockable) {
    m_lockable->unlock();
}
UnGuard::~UnGuard() {
    m_lockable->lock();
}

} // namespace zel
