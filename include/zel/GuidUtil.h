// ZELBase unique identifiers (namespace zel::util).
//
// Create, print and compare 128-bit unique identifiers held in the platform's
// 16-byte _GUID record: an unsigned 32-bit field, two unsigned 16-bit fields and
// eight bytes. On Windows the record comes from <guiddef.h>; elsewhere this
// header defines a record of the same layout. The functions keep no state and
// may be called from any thread at once.
//
// Example:
//   _GUID id;
//   zel::util::CreateUniqueID(id);
//   zel::BaseString<char> text;
//   zel::util::UniqueIDToString(id, text);
//   // text: e.g. "{3F2504E0-4F89-41D3-9A0C-0305E82C3301}"
//   zel::util::IsGUIDEqual(id, id);   // true
#pragma once

#include "zel/BaseString.h"
#include "zel/Export.h"

#if defined(_WIN32)
#include <guiddef.h>
#else
#include <cstdint>

struct _GUID { // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp) // the Windows
               // name of the type
    std::uint32_t Data1;
    unsigned short Data2;
    unsigned short Data3;
    unsigned char Data4[8];
};
#endif

namespace zel {
namespace util {

// Stores a newly created identifier. Windows asks CoCreateGuid; other platforms
// fill a version-4 (random) identifier from the kernel's random source
// (getrandom, or /dev/urandom where that is unavailable). Never throws.
ZEL_API void CreateUniqueID(_GUID& id);

// Replaces the content of `text` with the 38-character form
// "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}" of the 32-bit field, the
// two 16-bit fields and the eight bytes (upper-case digits, braces included).
// Throws MemoryException when the string cannot grow (no partial text is left).
//
// Example: the all-zero identifier gives "{00000000-0000-0000-0000-000000000000}";
//          Data1 = 255 gives a text that begins "{000000FF-".
ZEL_API void UniqueIDToString(const _GUID& id, BaseString<char>& text);

// Whether all 16 bytes of the two identifiers are equal.
ZEL_API bool IsGUIDEqual(_GUID& a, _GUID& b);

} // namespace util
} // namespace zel
