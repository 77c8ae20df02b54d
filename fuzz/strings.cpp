// Differential fuzzing of the text primitives against the byte-at-a-time
// references that the tests use too: searches, orderings, lengths, hashes
// and copies. The library chooses its vector level by itself; run the target once
// per level with ZEL_TEST_TEXT_VECTORS=portable, sse2, avx2 and avx512, which this
// program (not the library) reads and passes to the library's test seam.
#include "zel/HashUtil.h"
#include "zel/StringUtil.h"

#include "TextReference.h"
#include "testing/TestHooks.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using zelref::Order;
using zelref::Search;

void Check(bool ok) {
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (const char* level = std::getenv("ZEL_TEST_TEXT_VECTORS")) {
        std::fprintf(stderr, "text functions at the %s level\n",
                     zel::detail::SetTextVectorLevelForTesting(level));
    }
    return 0;
}

// Input: control byte, then the text and the pattern separated by the first NUL.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const unsigned control = data[0];
    std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    std::size_t cut = rest.find('\0');
    // Exact-size heap copies so that AddressSanitizer sees any read past a terminator.
    std::string a = rest.substr(0, cut);
    std::string b = cut == std::string::npos ? std::string() : rest.substr(cut + 1);
    b = b.substr(0, b.find('\0'));
    char* text = static_cast<char*>(std::malloc(a.size() + 1));
    char* pattern = static_cast<char*>(std::malloc(b.size() + 1));
    std::memcpy(text, a.c_str(), a.size() + 1);
    std::memcpy(pattern, b.c_str(), b.size() + 1);
    const char* t = (control & 1) ? nullptr : text;
    const char* p = (control & 2) ? nullptr : pattern;
    const unsigned n = control >> 2;

    Check(zel::util::strstr(t, p) == Search(t, p, false));
    Check(zel::util::strstrNoCase(t, p) == Search(t, p, true));
    Check(zel::util::strcmp(t, p) == Order(t, p, false, false, 0));
    Check(zel::util::strcasecmp(t, p) == Order(t, p, true, false, 0));
    Check(zel::util::strncmp(t, p, n) == Order(t, p, false, true, n));
    Check(zel::util::strncasecmp(t, p, n) == Order(t, p, true, true, n));
    Check(zel::util::compare(t, p) == (Order(t, p, false, false, 0) == 0));
    Check(zel::util::compareNoCase(t, p) == (Order(t, p, true, false, 0) == 0));
    Check(zel::util::nCompare(t, p, n) == (Order(t, p, false, true, n) == 0));
    Check(zel::util::nCompareNoCase(t, p, n) == (Order(t, p, true, true, n) == 0));
    Check(zel::util::strlen(t) == (t ? a.size() : 0));
    Check(zel::util::stringHashCode(t) == zelref::HashCode(t, false));
    Check(zel::util::stringHashCodeNoCase(t) == zelref::HashCode(t, true));
    if (t != nullptr) {
        const char c = b.empty() ? '\0' : b[0];
        Check(zel::util::strchr(t, c) == std::strchr(t, c));
        // Bounded copy: at most capacity - 1 bytes, always terminated.
        const unsigned capacity = 1 + n;
        char* dst = static_cast<char*>(std::malloc(capacity));
        zel::util::strcpy(dst, capacity, t);
        std::size_t kept = a.size() < capacity - 1 ? a.size() : capacity - 1;
        Check(std::memcmp(dst, t, kept) == 0 && dst[kept] == '\0');
        std::free(dst);
    }
    std::free(text);
    std::free(pattern);
    return 0;
}
