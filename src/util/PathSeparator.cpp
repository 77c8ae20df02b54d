// The exported path separator constants.
#include "zel/PathSeparator.h"

#include "platform/FileSystem.h"

namespace zel {

const char PATHSEPCHAR = platform::kPathSeparator;
const char PATHSEP[2] = {platform::kPathSeparator, '\0'};

} // namespace zel
