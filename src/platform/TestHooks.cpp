#include "platform/TestHooks.h"

#include "platform/FileSystem.h"

namespace zel {
namespace detail {

void SetMachineDataFolderForTesting(const char* folder) {
    platform::OverrideMachineDataFolder(folder != nullptr ? folder : "");
}

void SetLibraryAllocatorForTesting(memory::AllocateFunction allocate,
                                   memory::ReleaseFunction release) {
    memory::allocate = allocate != nullptr ? allocate : &memory::DefaultAllocate;
    memory::release = release != nullptr ? release : &memory::DefaultRelease;
}

} // namespace detail
} // namespace zel
