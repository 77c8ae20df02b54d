// Seams for the library's own tests. Exported so that test programs linked
// against the shared library can reach them; not part of the installed interface.
#pragma once

#include "zel/Export.h"
#include "zel/Memory.h"

#include <cstddef>

namespace zel {
namespace detail {

// Makes the machine-wide data folder (where the default error log lives) the
// given folder for this process; null or empty restores the system's folder.
ZEL_API void SetMachineDataFolderForTesting(const char* folder);

// Makes every path resolution of the trust rule take the component walk of
// kernels without openat2 (true), or the usual way again (false), so that both
// are tested. Windows resolves no paths that way: nothing changes there.
ZEL_API void ForceComponentWalkForTesting(bool force);

// Replaces the allocation functions that the containers compiled into the library
// itself use (each module has its own zel::memory pointers); null restores
// malloc/free. Lets a test make an allocation inside the library fail. Returns the
// allocation function used before. Only while no other thread uses the library.
ZEL_API memory::AllocateFunction
SetLibraryAllocatorForTesting(memory::AllocateFunction allocate,
                              memory::ReleaseFunction release = nullptr);

// Escapes the `size` bytes at `text` as the library escapes text of others in
// its messages (base::EscapedText; `keepCharacters`: well-formed UTF-8 characters
// from U+00A0 up stay). Writes at most `room` bytes to `out` and returns the
// length of the whole result.
ZEL_API std::size_t EscapeTextForTesting(const char* text, std::size_t size, bool keepCharacters,
                                         char* out, std::size_t room);

// Whether the reader of mapping records takes the `size` bytes at `record` as the
// record of the file with this device, inode and size. Linux; false elsewhere.
ZEL_API bool MappingRecordAcceptedForTesting(const void* record, std::size_t size,
                                             unsigned long long device, unsigned long long inode,
                                             long long fileSize);

// Makes the text primitives and the string hashes run at the vector level named
// ("portable", "sse2", "avx2" or "avx512"), or at the widest level this machine
// runs when that is lower; null or an unknown name: the widest level. Returns the
// name of the level now used. The library reads no environment variable for it:
// this seam is the only way to lower the level.
ZEL_API const char* SetTextVectorLevelForTesting(const char* level);

// The name of the vector level the text primitives run at now (chosen at the
// first call when no text function has run yet).
ZEL_API const char* TextVectorLevelForTesting();

} // namespace detail
} // namespace zel
