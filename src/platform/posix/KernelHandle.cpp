// Generic POSIX code only: closing the handles of named mutexes and mappings.
#include "platform/KernelHandle.h"

#include "platform/posix/SharedFiles.h"

namespace zel {
namespace platform {

bool CloseKernelHandle(void* handle) {
    shared::Handle* h = shared::Take(handle);
    if (h == nullptr)
        return false;
    delete h; // each kind lets go of its object in its destructor
    return true;
}

} // namespace platform
} // namespace zel
