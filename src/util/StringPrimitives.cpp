#include "zel/StringUtil.h"

#include <cstring>
#include <type_traits>

namespace zel {
namespace util {

namespace {

inline int Signed(char c) {
    return static_cast<signed char>(c);
}
inline int FoldSigned(char c) {
    return (c >= 'A' && c <= 'Z') ? c + 0x20 : Signed(c);
}

// Shared walk of the four ordering functions; `bounded` false ignores n.
template <bool Fold> int Order(const char* a, const char* b, bool bounded, unsigned int n) {
    if (a == nullptr)
        return b == nullptr ? 0 : -1;
    if (b == nullptr)
        return 1;
    for (unsigned int i = 0; !bounded || i < n; ++i) {
        int x = Fold ? FoldSigned(a[i]) : Signed(a[i]);
        int y = Fold ? FoldSigned(b[i]) : Signed(b[i]);
        if (x != y || x == 0)
            return x - y;
    }
    return 0;
}

} // namespace

unsigned int strlen(const char* s) {
    return s ? static_cast<unsigned int>(std::strlen(s)) : 0;
}
unsigned int strlen(const unsigned char* s) {
    return strlen(reinterpret_cast<const char*>(s));
}

char* strcpy(char* dst, const char* src) {
    if (dst == nullptr)
        return nullptr;
    if (src == nullptr) {
        dst[0] = '\0';
        return dst;
    }
    std::memmove(dst, src, std::strlen(src) + 1);
    return dst;
}

unsigned char* strcpy(unsigned char* dst, const unsigned char* src) {
    return reinterpret_cast<unsigned char*>(
        strcpy(reinterpret_cast<char*>(dst), reinterpret_cast<const char*>(src)));
}

char* strcpy(char* dst, unsigned int capacity, const char* src) {
    if (dst == nullptr)
        return nullptr;
    if (capacity == 0)
        return dst; // no room even for a terminator: write nothing
    if (src == nullptr) {
        dst[0] = '\0';
        return dst;
    }
    const char* end = static_cast<const char*>(std::memchr(src, 0, capacity - 1));
    std::size_t n = end ? static_cast<std::size_t>(end - src) : capacity - 1;
    std::memmove(dst, src, n);
    dst[n] = '\0';
    return dst;
}

char* strcpy(unsigned char* dst, unsigned int capacity, const unsigned char* src) {
    return strcpy(reinterpret_cast<char*>(dst), capacity, reinterpret_cast<const char*>(src));
}

char* strncpy(char* dst, const char* src, unsigned int count) {
    if (dst == nullptr)
        return nullptr;
    if (src == nullptr) {
        dst[0] = '\0';
        return dst;
    }
    for (unsigned int i = 0; i < count; ++i) {
        dst[i] = src[i];
        if (src[i] == '\0')
            break;
    }
    return dst;
}

unsigned char* strncpy(unsigned char* dst, const unsigned char* src, unsigned int count) {
    return reinterpret_cast<unsigned char*>(
        strncpy(reinterpret_cast<char*>(dst), reinterpret_cast<const char*>(src), count));
}

char* strcgetAt(char* dst, const char* src) {
    if (dst == nullptr || src == nullptr)
        return dst;
    std::memmove(dst + std::strlen(dst), src, std::strlen(src) + 1);
    return dst;
}

int strcmp(const char* a, const char* b) {
    return Order<false>(a, b, false, 0);
}
int strncmp(const char* a, const char* b, unsigned int n) {
    return Order<false>(a, b, true, n);
}
int strcasecmp(const char* a, const char* b) {
    return Order<true>(a, b, false, 0);
}
int strncasecmp(const char* a, const char* b, unsigned int n) {
    return Order<true>(a, b, true, n);
}
bool compare(const char* a, const char* b) {
    return strcmp(a, b) == 0;
}
bool compareNoCase(const char* a, const char* b) {
    return strcasecmp(a, b) == 0;
}
bool nCompare(const char* a, const char* b, unsigned int n) {
    return strncmp(a, b, n) == 0;
}
bool nCompareNoCase(const char* a, const char* b, unsigned int n) {
    return strncasecmp(a, b, n) == 0;
}

char* strchr(const char* s, char c) {
    if (s == nullptr)
        return nullptr;
    for (;; ++s) {
        if (*s == c)
            return const_cast<char*>(s);
        if (*s == '\0')
            return nullptr;
    }
}

namespace {

// Byte views of the two searches: the exact bytes, or bytes with 'A'..'Z' folded
// to 'a'..'z'. Folding never turns a byte into NUL or NUL into anything else, so
// both views end where the texts end.
struct Exact {
    static unsigned char at(const unsigned char* s, std::size_t i) { return s[i]; }
};
struct Folded {
    static unsigned char at(const unsigned char* s, std::size_t i) {
        unsigned char c = s[i];
        return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 0x20) : c;
    }
};

// The first position of `text` (at or after `h`) whose byte matches `first`.
template <typename V>
const unsigned char* FindFirstByte(const unsigned char* h, unsigned char first) {
    if (std::is_same<V, Exact>::value)
        return reinterpret_cast<const unsigned char*>(
            std::strchr(reinterpret_cast<const char*>(h), first));
    for (;; ++h) {
        unsigned char c = V::at(h, 0);
        if (c == first)
            return h;
        if (c == 0)
            return nullptr;
    }
}

// Two-Way string matching (Crochemore and Perrin) on the byte view V, with a
// last-byte shift table. Linear in the text and the pattern, constant extra
// space (two small tables on the stack), and the text is never read past its
// terminator: its end is found incrementally, a window at a time. The result is
// the leftmost match, the same as the byte-at-a-time scan.
template <typename V> const unsigned char* TwoWay(const unsigned char* h, const unsigned char* n) {
    std::size_t shift[256];
    unsigned char present[256] = {0};

    // Pattern length, stopping early when the text is shorter than the pattern.
    std::size_t l = 0;
    for (; n[l] != 0 && h[l] != 0; ++l) {
        const unsigned char c = V::at(n, l);
        present[c] = 1;
        shift[c] = l + 1;
    }
    if (n[l] != 0)
        return nullptr; // the text ends inside the first window

    // Critical factorisation: the larger of the two maximal suffixes (under the
    // byte order and its reverse), and the period of the pattern.
    std::size_t ip = static_cast<std::size_t>(-1), jp = 0, k = 1, p = 1;
    while (jp + k < l) {
        const unsigned char a = V::at(n, ip + k), b = V::at(n, jp + k);
        if (a == b) {
            if (k == p) {
                jp += p;
                k = 1;
            } else {
                ++k;
            }
        } else if (a > b) {
            jp += k;
            k = 1;
            p = jp - ip;
        } else {
            ip = jp++;
            k = p = 1;
        }
    }
    std::size_t ms = ip;
    const std::size_t p0 = p;

    ip = static_cast<std::size_t>(-1);
    jp = 0;
    k = p = 1;
    while (jp + k < l) {
        const unsigned char a = V::at(n, ip + k), b = V::at(n, jp + k);
        if (a == b) {
            if (k == p) {
                jp += p;
                k = 1;
            } else {
                ++k;
            }
        } else if (a < b) {
            jp += k;
            k = 1;
            p = jp - ip;
        } else {
            ip = jp++;
            k = p = 1;
        }
    }
    if (ip + 1 > ms + 1)
        ms = ip;
    else
        p = p0;

    // A pattern whose left part repeats with period p lets matched bytes be
    // remembered across shifts (mem); otherwise shift past the larger half.
    bool periodic = true;
    for (std::size_t i = 0; i < ms + 1; ++i) {
        if (V::at(n, i) != V::at(n, i + p)) {
            periodic = false;
            break;
        }
    }
    std::size_t mem0;
    if (periodic) {
        mem0 = l - p;
    } else {
        mem0 = 0;
        p = (ms > l - ms - 1 ? ms : l - ms - 1) + 1;
    }
    std::size_t mem = 0;

    // z: how far the text is known to hold no terminator.
    const unsigned char* z = h;
    for (;;) {
        if (static_cast<std::size_t>(z - h) < l) {
            const std::size_t grow = l | 63;
            const unsigned char* z2 = static_cast<const unsigned char*>(std::memchr(z, 0, grow));
            if (z2 != nullptr) {
                z = z2;
                if (static_cast<std::size_t>(z - h) < l)
                    return nullptr;
            } else {
                z += grow;
            }
        }

        // Last byte of the window first: skip windows that cannot match.
        const unsigned char last = V::at(h, l - 1);
        if (present[last]) {
            k = l - shift[last];
            if (k != 0) {
                if (k < mem)
                    k = mem;
                h += k;
                mem = 0;
                continue;
            }
        } else {
            h += l;
            mem = 0;
            continue;
        }

        // Right half, left to right.
        for (k = (ms + 1 > mem ? ms + 1 : mem); k < l && V::at(n, k) == V::at(h, k); ++k) {
        }
        if (k < l) {
            h += k - ms;
            mem = 0;
            continue;
        }
        // Left half, right to left.
        for (k = ms + 1; k > mem && V::at(n, k - 1) == V::at(h, k - 1); --k) {
        }
        if (k <= mem)
            return h;
        h += p;
        mem = mem0;
    }
}

template <typename V> char* Search(const char* text, const char* pattern) {
    if (text == nullptr || pattern == nullptr)
        return nullptr;
    const unsigned char* h = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* n = reinterpret_cast<const unsigned char*>(pattern);
    if (n[0] == 0)
        return const_cast<char*>(text);
    // Jump to the first candidate; a one-byte pattern is then found.
    h = FindFirstByte<V>(h, V::at(n, 0));
    if (h == nullptr || n[1] == 0)
        return reinterpret_cast<char*>(const_cast<unsigned char*>(h));
    return reinterpret_cast<char*>(const_cast<unsigned char*>(TwoWay<V>(h, n)));
}

} // namespace

char* strstr(const char* text, const char* pattern) {
    return Search<Exact>(text, pattern);
}
char* strstrNoCase(const char* text, const char* pattern) {
    return Search<Folded>(text, pattern);
}

} // namespace util
} // namespace zel
