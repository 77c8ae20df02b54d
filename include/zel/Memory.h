// ZELBase container memory: the allocation functions BaseString and Array use.
//
// The container templates allocate with the C runtime's malloc and release with
// free, through these two function pointers so that a program (a test, say) can
// watch or fail allocations. The pointers belong to each module that compiles the
// templates (each executable and the library itself); change them only while no
// other thread uses the containers of that module.
//
// Example:
//   zel::memory::allocate = [](std::size_t) -> void* { return nullptr; };
//   zel::BaseString<char> s;
//   s = "text";                       // throws zel::MemoryException, s stays valid
//   zel::memory::allocate = zel::memory::DefaultAllocate;
#pragma once

#include <cstddef>
#include <cstdlib>

namespace zel {
namespace memory {

inline void* DefaultAllocate(std::size_t bytes) {
    return std::malloc(bytes);
}
inline void DefaultRelease(void* block) {
    std::free(block);
}

using AllocateFunction = void* (*)(std::size_t bytes);
using ReleaseFunction = void (*)(void* block);

inline AllocateFunction allocate = &DefaultAllocate;
inline ReleaseFunction release = &DefaultRelease;

} // namespace memory
} // namespace zel
