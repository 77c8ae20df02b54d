// New unique identifiers from the operating system.
#pragma once

#include "zel/GuidUtil.h"

namespace zel {
namespace platform {

// A new identifier: CoCreateGuid on Windows; elsewhere a version-4 identifier
// from the kernel's random source.
void CreateGuid(_GUID& id);

} // namespace platform
} // namespace zel
