// Win32 code only: the COM GUID generator.
#include "platform/Guid.h"

#include <objbase.h>

namespace zel {
namespace platform {

void CreateGuid(_GUID& id) {
    (void)CoCreateGuid(&id);
}

} // namespace platform
} // namespace zel
