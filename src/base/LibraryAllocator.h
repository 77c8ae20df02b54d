// A standard-library allocator over the library's own allocation functions
// (zel::memory::allocate / release, the ones its containers use), for the
// standard containers of code whose every allocation a test must be able to fail
// on every platform: a program's own operator new reaches into a shared library
// on Linux, but not into a DLL. A failed allocation throws std::bad_alloc, which
// the subsystem turns into MemoryException.
#pragma once

#include "zel/Memory.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <new>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace zel {
namespace detail {

template <typename T> struct LibraryAllocator {
    using value_type = T;

    LibraryAllocator() noexcept = default;
    template <typename U> LibraryAllocator(const LibraryAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) {
        // NOLINTNEXTLINE(bugprone-sizeof-expression) // T may be a pointer: its own size is meant
        if (count > static_cast<std::size_t>(-1) / sizeof(T))
            throw std::bad_alloc();
        // NOLINTNEXTLINE(bugprone-sizeof-expression) // as above
        void* block = memory::allocate(count * sizeof(T));
        if (block == nullptr)
            throw std::bad_alloc();
        return static_cast<T*>(block);
    }
    void deallocate(T* block, std::size_t) noexcept { memory::release(block); }

    template <typename U> bool operator==(const LibraryAllocator<U>&) const noexcept {
        return true;
    }
    template <typename U> bool operator!=(const LibraryAllocator<U>&) const noexcept {
        return false;
    }
};

using LibraryString = std::basic_string<char, std::char_traits<char>, LibraryAllocator<char>>;
template <typename T> using LibraryVector = std::vector<T, LibraryAllocator<T>>;
template <typename T> using LibraryDeque = std::deque<T, LibraryAllocator<T>>;
template <typename T, typename Hash>
using LibrarySet = std::unordered_set<T, Hash, std::equal_to<T>, LibraryAllocator<T>>;

// One object made with the library's allocation functions; null never returned.
template <typename T, typename... Args> T* MakeObject(Args&&... args) {
    LibraryAllocator<T> allocator;
    T* object = allocator.allocate(1);
    try {
        return new (object) T(std::forward<Args>(args)...);
    } catch (...) {
        allocator.deallocate(object, 1);
        throw;
    }
}

template <typename T> void DeleteObject(T* object) noexcept {
    if (object == nullptr)
        return;
    object->~T();
    LibraryAllocator<T>().deallocate(object, 1);
}

} // namespace detail
} // namespace zel
