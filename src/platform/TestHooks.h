// Seams for the library's own tests. Exported so that test programs linked
// against the shared library can reach them; not part of the installed interface.
#pragma once

#include "zel/Export.h"

namespace zel {
namespace detail {

// Makes the machine-wide data folder (where the default error log lives) the
// given folder for this process; null or empty restores the system's folder.
ZEL_API void SetMachineDataFolderForTesting(const char* folder);

} // namespace detail
} // namespace zel
