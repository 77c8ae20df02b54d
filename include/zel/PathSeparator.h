// ZELBase path separator constants.
//
// The separator the library puts between folder and file names (the error log's
// default location, the directory code): the backslash on Windows, the slash on
// Linux. Both are exported data, constant for the life of the process, and may
// be read from any thread.
//
// Example:
//   std::string path = std::string("logs") + zel::PATHSEP + "ZELError.txt";
//   // Windows: "logs\ZELError.txt"   Linux: "logs/ZELError.txt"
#pragma once

#include "zel/Export.h"

namespace zel {

// '\\' on Windows, '/' on Linux.
ZEL_API extern const char PATHSEPCHAR;
// The one-character text holding PATHSEPCHAR: "\\" on Windows, "/" on Linux.
ZEL_API extern const char PATHSEP[2];

} // namespace zel
