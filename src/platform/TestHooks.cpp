#include "platform/TestHooks.h"

#include "platform/FileSystem.h"

namespace zel {
namespace detail {

void SetMachineDataFolderForTesting(const char* folder) {
    platform::OverrideMachineDataFolder(folder != nullptr ? folder : "");
}

} // namespace detail
} // namespace zel
