// Generic POSIX code only: recursive mutexes.
#include "platform/Sync.h"

#include <pthread.h>

namespace zel {
namespace platform {

static_assert(sizeof(pthread_mutex_t) <= kLockStorageSize,
              "lock storage too small for the native lock");
static_assert(alignof(pthread_mutex_t) <= kLockStorageAlign, "lock storage misaligned");

static pthread_mutex_t* AsMutex(void* storage) {
    return static_cast<pthread_mutex_t*>(storage);
}

void CriticalSectionInit(void* storage) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(AsMutex(storage), &attr);
    pthread_mutexattr_destroy(&attr);
}

void CriticalSectionDestroy(void* storage) {
    pthread_mutex_destroy(AsMutex(storage));
}
void CriticalSectionEnter(void* storage) {
    pthread_mutex_lock(AsMutex(storage));
}
void CriticalSectionLeave(void* storage) {
    pthread_mutex_unlock(AsMutex(storage));
}

} // namespace platform
} // namespace zel
