// The reader of mapping records: the input is a file's status (device, inode and
// size, 24 bytes) and then the bytes read from a record file. It may accept only
// a whole record that describes that file (its device and inode, no more bytes
// than it holds, a known protection, an absolute and terminated path), and never
// reads past the bytes given (they sit in an allocation of exactly that size).
#include "testing/TestHooks.h"

#include "platform/posix/SharedFiles.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using Record = zel::platform::shared::MappingRecord;
    if (size < 24 || size > 24 + 2 * sizeof(Record))
        return 0;
    std::uint64_t device, inode;
    std::int64_t fileSize;
    std::memcpy(&device, data, 8);
    std::memcpy(&inode, data + 8, 8);
    std::memcpy(&fileSize, data + 16, 8);
    std::vector<std::uint8_t> bytes(data + 24, data + size);
    const void* start = bytes.empty() ? nullptr : bytes.data();
    const bool accepted = zel::detail::MappingRecordAcceptedForTesting(
        start, bytes.size(), device, inode, static_cast<long long>(fileSize));
    if (!accepted)
        return 0;
    if (bytes.size() < sizeof(Record))
        std::abort();
    Record r;
    std::memcpy(&r, bytes.data(), sizeof r);
    static const std::uint32_t kProtections[] = {0x02, 0x04, 0x08, 0x20, 0x40, 0x80};
    bool known = false;
    for (std::uint32_t p : kProtections)
        known = known || r.protection == p;
    if (r.magic != zel::platform::shared::kMappingRecordMagic || !known || r.device != device ||
        r.inode != inode || r.size == 0 || fileSize < 0 ||
        r.size > static_cast<std::uint64_t>(fileSize) || r.path[0] != '/' ||
        std::memchr(r.path, '\0', sizeof r.path) == nullptr)
        std::abort();
    return 0;
}
