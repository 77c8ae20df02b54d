// Handles of the named objects (NamedMutex.h, NamedMapping.h).
#pragma once

namespace zel {
namespace platform {

// Closes a mutex or mapping handle; false for a null, unknown or closed one.
bool CloseKernelHandle(void* handle);

} // namespace platform
} // namespace zel
