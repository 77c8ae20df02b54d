// New unique identifiers from the operating system.
#pragma once

#include <cstdint>

namespace zel {
namespace platform {

// A 128-bit identifier in the field layout of the Windows GUID record.
struct GuidFields {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
};

// A new identifier: CoCreateGuid on Windows; elsewhere a version-4 identifier
// from the kernel's random source.
void CreateGuid(GuidFields& id);

} // namespace platform
} // namespace zel
