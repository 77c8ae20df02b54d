#include "zel/GuidUtil.h"

#include "platform/Guid.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

static_assert(sizeof(_GUID) == 16, "_GUID must be the 16-byte record");

namespace zel {
namespace util {

void CreateUniqueID(_GUID& id) {
    platform::GuidFields fields;
    platform::CreateGuid(fields);
    id.Data1 = fields.data1;
    id.Data2 = fields.data2;
    id.Data3 = fields.data3;
    std::memcpy(id.Data4, fields.data4, sizeof id.Data4);
}

void UniqueIDToString(const _GUID& id, BaseString<char>& text) {
    char work[256];
    (void)std::snprintf(
        work, sizeof work, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
        static_cast<unsigned int>(id.Data1), static_cast<unsigned int>(id.Data2),
        static_cast<unsigned int>(id.Data3), static_cast<unsigned int>(id.Data4[0]),
        static_cast<unsigned int>(id.Data4[1]), static_cast<unsigned int>(id.Data4[2]),
        static_cast<unsigned int>(id.Data4[3]), static_cast<unsigned int>(id.Data4[4]),
        static_cast<unsigned int>(id.Data4[5]), static_cast<unsigned int>(id.Data4[6]),
        static_cast<unsigned int>(id.Data4[7]));
    text = work;
}

bool IsGUIDEqual(_GUID& a, _GUID& b) {
    std::uint32_t x[4];
    std::uint32_t y[4];
    std::memcpy(x, &a, sizeof x);
    std::memcpy(y, &b, sizeof y);
    for (int i = 0; i < 4; ++i) {
        if (x[i] != y[i])
            return false;
    }
    return true;
}

} // namespace util
} // namespace zel
