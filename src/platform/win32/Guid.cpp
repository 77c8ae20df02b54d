// Win32 code only: the COM GUID generator.
#include "platform/Guid.h"

#include <objbase.h>

#include <cstring>

namespace zel {
namespace platform {

void CreateGuid(GuidFields& id) {
    GUID g{};
    (void)CoCreateGuid(&g);
    id.data1 = g.Data1;
    id.data2 = g.Data2;
    id.data3 = g.Data3;
    std::memcpy(id.data4, g.Data4, sizeof id.data4);
}

} // namespace platform
} // namespace zel
