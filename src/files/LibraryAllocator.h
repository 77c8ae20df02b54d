// A seam for the test programs: each module (the library, every executable) has
// its own zel::memory hooks, so a test reaches the library's through this call.
// Exported only for the test programs; not part of the installed interface.
#pragma once

#include "zel/Export.h"
#include "zel/Memory.h"

namespace zel {
namespace detail {

// Makes the container templates compiled into the library allocate with
// `allocate` (null restores malloc); returns the function used before. Only while
// no other thread uses the library.
ZEL_API memory::AllocateFunction SetLibraryAllocatorForTesting(memory::AllocateFunction allocate);

} // namespace detail
} // namespace zel
