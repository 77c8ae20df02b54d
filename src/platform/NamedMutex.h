// Mutexes that processes of every account share by name.
//
// Ownership belongs to a thread and is recursive; a waiter learns when the owner
// ended without releasing. Handles are closed with CloseKernelHandle.
#pragma once

namespace zel {
namespace platform {

enum class MutexWait { Acquired, Abandoned, Timeout, Failed };

// The wait that never times out.
const unsigned int kWaitForever = 0xFFFFFFFFu;

// Creates the mutex `name` (with the shared-access attributes) or opens it when it
// exists (`existed` tells which). `initialOwner` gives ownership to the calling
// thread when this call created it. A null or empty name gives a mutex of this
// process only. Null on failure, with the last error code set.
void* CreateNamedMutex(void* attributes, bool initialOwner, const char* name, bool& existed);
// Opens the existing mutex `name` only.
void* OpenNamedMutex(const char* name);

MutexWait WaitNamedMutex(void* mutex, unsigned int milliseconds);
// Releases one level of ownership; false when the caller does not own it.
bool ReleaseNamedMutex(void* mutex);

} // namespace platform
} // namespace zel
