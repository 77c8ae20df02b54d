#include "util/VectorLevel.h"

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
// AVX-512 (F, BW and VL) also its opmask and upper-register bits.
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
    // The AVX-512 routines use 128- and 256-bit EVEX forms too.
    const bool avx512vl = (ebx & (1u << 31)) != 0;
    if (!avx2)
        return VectorLevel::Sse2;
    if (avx512f && avx512bw && avx512vl && (xcr0Low & 0xE6u) == 0xE6u)
        return VectorLevel::Avx512;
    return VectorLevel::Avx2;
}
#else
VectorLevel Supported() {
    return VectorLevel::Portable;
}
#endif

struct LevelName {
    const char* text;
    VectorLevel level;
};
const LevelName kLevelNames[] = {{"portable", VectorLevel::Portable},
                                 {"sse2", VectorLevel::Sse2},
                                 {"avx2", VectorLevel::Avx2},
                                 {"avx512", VectorLevel::Avx512}};

} // namespace

VectorLevel ChooseVectorLevel() {
    // Threads that race here compute the same answer.
    const VectorLevel level = Supported();
    g_vectorLevel.store(static_cast<int>(level), std::memory_order_relaxed);
    return level;
}

VectorLevel SetVectorLevel(VectorLevel requested) {
    const VectorLevel supported = Supported();
    const VectorLevel level =
        static_cast<int>(requested) < static_cast<int>(supported) ? requested : supported;
    g_vectorLevel.store(static_cast<int>(level), std::memory_order_relaxed);
    return level;
}

const char* VectorLevelName(VectorLevel level) {
    for (const LevelName& n : kLevelNames) {
        if (n.level == level)
            return n.text;
    }
    return "portable";
}

bool VectorLevelOfName(const char* name, VectorLevel& level) {
    if (name == nullptr)
        return false;
    for (const LevelName& n : kLevelNames) {
        if (std::strcmp(name, n.text) == 0) {
            level = n.level;
            return true;
        }
    }
    return false;
}

} // namespace detail
} // namespace util
} // namespace zel
