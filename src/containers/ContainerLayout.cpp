// The containers live in the public headers and are compiled into the library and
// its hosts alike, so their sizes are interface. The 32-bit Windows layout is
// checked here, when the DLL is compiled, so that a build that cannot run its
// tests still proves it:
//
//   BaseString<char>  8 bytes: char* m_buffer at 0; at 4 one 32-bit word with
//                     m_length in bits 0-26 and m_capacityLog2 in bits 27-31.
//   Array<T>         12 bytes: T* m_data at 0, m_count at 4, m_capacity at 8.
//
// On 64-bit Windows and on Linux x86-64 the pointer takes 8 bytes: BaseString<char>
// is 16 bytes (the word at offset 8, the same bits, 4 bytes of tail padding) and
// Array<T> is 16 bytes (the two counts at 8 and 12). The bit positions inside the
// word cannot be read in a constant expression; tests/containers checks them at
// run time on every build.
#include "zel/Array.h"
#include "zel/BaseString.h"

namespace zel {
namespace {

constexpr bool k32 = sizeof(void*) == 4;

static_assert(BaseString<char>::kUncounted == (1u << 27) - 1,
              "the cached length has 27 bits; the exponent takes the other 5");
static_assert(sizeof(BaseString<char>) == (k32 ? 8 : 16), "BaseString<char> layout");
static_assert(alignof(BaseString<char>) == alignof(void*), "BaseString<char> alignment");
static_assert(sizeof(Array<unsigned char>) == (k32 ? 12 : 16), "Array<T> layout");
static_assert(sizeof(Array<BaseString<char>>) == sizeof(Array<unsigned char>),
              "Array<T> layout does not depend on T");
static_assert(alignof(Array<unsigned char>) == alignof(void*), "Array<T> alignment");

} // namespace
} // namespace zel
