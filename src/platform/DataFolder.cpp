// The machine-wide data folder, with the override the tests use.
#include "platform/FileSystem.h"

#include <mutex>

namespace zel {
namespace platform {

namespace {
std::mutex g_dataFolderMutex;
std::string g_dataFolderOverride;
} // namespace

bool MachineDataFolder(std::string& folder) {
    {
        std::lock_guard<std::mutex> lock(g_dataFolderMutex);
        if (!g_dataFolderOverride.empty()) {
            folder = g_dataFolderOverride;
            return true;
        }
    }
    return SystemDataFolder(folder);
}

void OverrideMachineDataFolder(const std::string& folder) {
    std::lock_guard<std::mutex> lock(g_dataFolderMutex);
    g_dataFolderOverride = folder;
}

} // namespace platform
} // namespace zel
