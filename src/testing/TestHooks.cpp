// The seams of the library's own tests (see TestHooks.h).
#include "testing/TestHooks.h"

#include "platform/FileSystem.h"
#include "platform/NamedMapping.h"
#include "platform/TrustedPath.h"
#include "util/VectorLevel.h"

#include "base/ObjectName.h"

#include <cstring>
#include <string>

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

std::size_t EscapeTextForTesting(const char* text, std::size_t size, bool keepCharacters, char* out,
                                 std::size_t room) {
    const std::string escaped = base::EscapedText(
        std::string(text != nullptr ? text : "", text != nullptr ? size : 0), keepCharacters);
    if (out != nullptr && room != 0) {
        // Bytes, not a C string: the length returned says how many there are.
        // NOLINTNEXTLINE(bugprone-not-null-terminated-result)
        std::memcpy(out, escaped.data(), escaped.size() < room ? escaped.size() : room);
    }
    return escaped.size();
}

bool MappingRecordAcceptedForTesting(const void* record, std::size_t size,
                                     unsigned long long device, unsigned long long inode,
                                     long long fileSize) {
    return platform::MappingRecordAccepted(record, size, device, inode, fileSize);
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
