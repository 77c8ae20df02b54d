// The internal contract between the library and the operating system.
//
// Subsystem code calls only these functions; exactly one backend implements them,
// src/platform/win32 or src/platform/posix, chosen once by the build. The
// declarations use plain C++ types so no operating-system header leaks out.
// Pure logic (matching, sorting, naming, parsing, the cipher) never lives here.
#pragma once

#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"
#include "platform/Guid.h"
#include "platform/Sync.h"
#include "platform/Time.h"
