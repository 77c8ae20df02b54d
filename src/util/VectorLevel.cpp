#include "util/VectorLevel.h"

#include <cstdlib>
#include <cstring>

#if defined(ZEL_X86_VECTORS)
#include <cpuid.h>
#endif

namespace zel {
namespace util {
namespace detail {

std::atomic<int> g_vectorLevel{-1};

namespace {

#if defined(ZEL_X86_VECTORS)
// The widest level this processor runs with the operating system saving its
// registers: AVX state needs the OS flag (OSXSAVE) and XCR0's SSE and AVX bits,
// AVX-512 also its opmask and upper-register bits.
VectorLevel Supported() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return VectorLevel::Sse2;
    const bool osxsave = (ecx & (1u << 27)) != 0, avx = (ecx & (1u << 28)) != 0;
    if (!osxsave || !avx)
        return VectorLevel::Sse2;
    unsigned xcr0Low = 0, xcr0High = 0;
    __asm__ volatile("xgetbv" : "=a"(xcr0Low), "=d"(xcr0High) : "c"(0));
    if ((xcr0Low & 0x6u) != 0x6u)
        return VectorLevel::Sse2;
    if (__get_cpuid_max(0, nullptr) < 7)
        return VectorLevel::Sse2;
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    const bool avx2 = (ebx & (1u << 5)) != 0;
    const bool avx512f = (ebx & (1u << 16)) != 0, avx512bw = (ebx & (1u << 30)) != 0;
    if (!avx2)
        return VectorLevel::Sse2;
    if (avx512f && avx512bw && (xcr0Low & 0xE6u) == 0xE6u)
        return VectorLevel::Avx512;
    return VectorLevel::Avx2;
}
#else
VectorLevel Supported() {
    return VectorLevel::Portable;
}
#endif

// The level named by ZEL_TEXT_VECTORS, or the supported one when it is unset or
// names nothing known.
VectorLevel Requested(VectorLevel supported) {
    // NOLINTNEXTLINE(concurrency-mt-unsafe) // the library never changes the environment
    const char* name = std::getenv("ZEL_TEXT_VECTORS");
    if (name == nullptr)
        return supported;
    struct Name {
        const char* text;
        VectorLevel level;
    };
    static const Name names[] = {{"portable", VectorLevel::Portable},
                                 {"sse2", VectorLevel::Sse2},
                                 {"avx2", VectorLevel::Avx2},
                                 {"avx512", VectorLevel::Avx512}};
    for (const Name& n : names) {
        if (std::strcmp(name, n.text) == 0)
            return n.level;
    }
    return supported;
}

} // namespace

VectorLevel ChooseVectorLevel() {
    // Threads that race here compute the same answer.
    const VectorLevel supported = Supported();
    VectorLevel level = Requested(supported);
    if (static_cast<int>(level) > static_cast<int>(supported))
        level = supported;
    g_vectorLevel.store(static_cast<int>(level), std::memory_order_relaxed);
    return level;
}

} // namespace detail
} // namespace util
} // namespace zel
