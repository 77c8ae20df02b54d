// The seams of the library's own tests (see TestHooks.h).
#include "testing/TestHooks.h"

#include "platform/FileSystem.h"
#include "platform/TrustedPath.h"
#include "util/VectorLevel.h"

namespace zel {
namespace detail {

void SetMachineDataFolderForTesting(const char* folder) {
    platform::OverrideMachineDataFolder(folder != nullptr ? folder : "");
}

void ForceComponentWalkForTesting(bool force) {
    platform::trust::ForceComponentWalk(force);
}

memory::AllocateFunction SetLibraryAllocatorForTesting(memory::AllocateFunction allocate,
                                                       memory::ReleaseFunction release) {
    memory::AllocateFunction previous = memory::allocate;
    memory::allocate = allocate != nullptr ? allocate : &memory::DefaultAllocate;
    memory::release = release != nullptr ? release : &memory::DefaultRelease;
    return previous;
}

const char* SetTextVectorLevelForTesting(const char* level) {
    util::detail::VectorLevel requested = util::detail::VectorLevel::Avx512;
    util::detail::VectorLevelOfName(level, requested);
    return util::detail::VectorLevelName(util::detail::SetVectorLevel(requested));
}

const char* TextVectorLevelForTesting() {
    return util::detail::VectorLevelName(util::detail::CurrentVectorLevel());
}

} // namespace detail
} // namespace zel
