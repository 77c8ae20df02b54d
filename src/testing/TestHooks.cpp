// The seams of the library's own tests (see TestHooks.h).
#include "testing/TestHooks.h"

#include "platform/FileSystem.h"
#include "platform/TrustedPath.h"

#include "base/ObjectName.h"

#include <cstring>
#include <string>

#ifndef _WIN32
#include "platform/posix/SharedFiles.h"
#endif

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
    if (out != nullptr && room != 0)
        std::memcpy(out, escaped.data(), escaped.size() < room ? escaped.size() : room);
    return escaped.size();
}

bool MappingRecordAcceptedForTesting(const void* record, std::size_t size,
                                     unsigned long long device, unsigned long long inode,
                                     long long fileSize) {
#ifdef _WIN32
    (void)record;
    (void)size;
    (void)device;
    (void)inode;
    (void)fileSize;
    return false;
#else
    platform::shared::MappingRecord read;
    struct stat st {};
    st.st_dev = static_cast<dev_t>(device);
    st.st_ino = static_cast<ino_t>(inode);
    st.st_size = static_cast<off_t>(fileSize);
    if (static_cast<unsigned long long>(st.st_dev) != device ||
        static_cast<unsigned long long>(st.st_ino) != inode)
        return false; // no file has such a status
    return platform::shared::ReadMappingRecord(record, size, read) &&
           platform::shared::RecordDescribes(read, st);
#endif
}

} // namespace detail
} // namespace zel
