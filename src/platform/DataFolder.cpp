// The machine-wide data folder, with the override the tests use.
#include "platform/FileSystem.h"

#include "base/Immortal.h"

#include <mutex>

namespace zel {
namespace platform {

namespace {
// Never destroyed: the log may choose its location from an exit-time call.
base::Immortal<std::mutex> g_dataFolderMutexStore;
base::Immortal<std::string> g_dataFolderOverrideStore;
std::mutex& g_dataFolderMutex = *g_dataFolderMutexStore;
std::string& g_dataFolderOverride = *g_dataFolderOverrideStore;
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

std::string FallbackLogLocation() {
    std::lock_guard<std::mutex> lock(g_dataFolderMutex);
    if (g_dataFolderOverride.empty())
        return FallbackLogPath();
    return g_dataFolderOverride + PathSeparator() + "ZELError.txt";
}

void OverrideMachineDataFolder(const std::string& folder) {
    std::lock_guard<std::mutex> lock(g_dataFolderMutex);
    g_dataFolderOverride = folder;
}

} // namespace platform
} // namespace zel
