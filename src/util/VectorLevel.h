// The vector width the text primitives use, chosen once per process from what the
// processor and the operating system support. Internal to the library.
#pragma once

#include <atomic>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__SSE2__) &&                             \
    (defined(__GNUC__) || defined(__clang__))
// SSE2 is the baseline of every x86 build; wider routines are compiled for their
// own instruction sets and run only where the choice below allows them.
#define ZEL_X86_VECTORS 1
#define ZEL_TARGET_AVX2 __attribute__((target("avx2")))
#define ZEL_TARGET_AVX512 __attribute__((target("avx2,avx512f,avx512bw,avx512vl")))
#endif

namespace zel {
namespace util {
namespace detail {

// Ordered by width: every level may use the instructions of the ones below it.
enum class VectorLevel : int {
    Portable = 0, // byte-at-a-time and word loops only
    Sse2 = 1,
    Avx2 = 2,
    Avx512 = 3, // AVX-512 F and BW
};

// -1 until the first text primitive has chosen.
extern std::atomic<int> g_vectorLevel;

// The one place where the level is chosen: the widest that the processor and the
// operating system's saved state support. Nothing else (no environment variable,
// no file) changes it; only the test seam below lowers it.
VectorLevel ChooseVectorLevel();

// Makes the text primitives run at `requested`, or at the widest supported level
// when that is lower; returns the level now used. Reached through the test seam
// SetTextVectorLevelForTesting only.
VectorLevel SetVectorLevel(VectorLevel requested);

// "portable", "sse2", "avx2" or "avx512".
const char* VectorLevelName(VectorLevel level);
// The level of such a name; false for null or an unknown name.
bool VectorLevelOfName(const char* name, VectorLevel& level);

inline VectorLevel CurrentVectorLevel() {
    const int level = g_vectorLevel.load(std::memory_order_relaxed);
    return level < 0 ? ChooseVectorLevel() : static_cast<VectorLevel>(level);
}

} // namespace detail
} // namespace util
} // namespace zel
