// Generic POSIX code only (with Linux's getrandom): version-4 identifiers from the
// kernel's random source.
#include "platform/Guid.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/random.h>
#endif

namespace zel {
namespace platform {

namespace {

bool FillFromGetRandom(unsigned char* out, std::size_t size) {
#if defined(__linux__)
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = getrandom(out + done, size - done, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
#else
    (void)out;
    (void)size;
    return false;
#endif
}

bool FillFromDevice(unsigned char* out, std::size_t size) {
    int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::read(fd, out + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return done == size;
}

} // namespace

void CreateGuid(GuidFields& id) {
    unsigned char bytes[16] = {};
    if (!FillFromGetRandom(bytes, sizeof bytes))
        (void)FillFromDevice(bytes, sizeof bytes);
    static_assert(sizeof id == sizeof bytes, "GuidFields is the 16-byte record");
    std::memcpy(&id, bytes, sizeof id);
    // Version 4 in the high nibble of the third field, variant 10xx in data4[0].
    id.data3 = static_cast<std::uint16_t>((id.data3 & 0x0FFFu) | 0x4000u);
    id.data4[0] = static_cast<std::uint8_t>((id.data4[0] & 0x3Fu) | 0x80u);
}

} // namespace platform
} // namespace zel
