#include "files/LibraryAllocator.h"

namespace zel {
namespace detail {

memory::AllocateFunction SetLibraryAllocatorForTesting(memory::AllocateFunction allocate) {
    memory::AllocateFunction previous = memory::allocate;
    memory::allocate = allocate != nullptr ? allocate : &memory::DefaultAllocate;
    return previous;
}

} // namespace detail
} // namespace zel
