#include "zel/StringUtil.h"

#include <cstring>

namespace zel {
namespace util {

namespace {

inline int Signed(char c) { return static_cast<signed char>(c); }
inline int FoldSigned(char c) { return (c >= 'A' && c <= 'Z') ? c + 0x20 : Signed(c); }

// Shared walk of the four ordering functions; `bounded` false ignores n.
template <bool Fold>
int Order(const char* a, const char* b, bool bounded, unsigned int n) {
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

unsigned int strlen(const char* s) { return s ? static_cast<unsigned int>(std::strlen(s)) : 0; }
unsigned int strlen(const unsigned char* s) { return strlen(reinterpret_cast<const char*>(s)); }

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

int strcmp(const char* a, const char* b) { return Order<false>(a, b, false, 0); }
int strncmp(const char* a, const char* b, unsigned int n) { return Order<false>(a, b, true, n); }
int strcasecmp(const char* a, const char* b) { return Order<true>(a, b, false, 0); }
int strncasecmp(const char* a, const char* b, unsigned int n) { return Order<true>(a, b, true, n); }
bool compare(const char* a, const char* b) { return strcmp(a, b) == 0; }
bool compareNoCase(const char* a, const char* b) { return strcasecmp(a, b) == 0; }
bool nCompare(const char* a, const char* b, unsigned int n) { return strncmp(a, b, n) == 0; }
bool nCompareNoCase(const char* a, const char* b, unsigned int n) { return strncasecmp(a, b, n) == 0; }

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

template <bool Fold>
char* Search(const char* text, const char* pattern) {
    if (text == nullptr || pattern == nullptr)
        return nullptr;
    if (*pattern == '\0')
        return const_cast<char*>(text);
    for (const char* start = text; *start != '\0'; ++start) {
        std::size_t i = 0;
        for (;; ++i) {
            if (pattern[i] == '\0')
                return const_cast<char*>(start);
            if (start[i] == '\0')
                return nullptr; // the text ended inside a partial match
            int x = Fold ? FoldSigned(start[i]) : Signed(start[i]);
            int y = Fold ? FoldSigned(pattern[i]) : Signed(pattern[i]);
            if (x != y)
                break;
        }
    }
    return nullptr;
}

} // namespace

char* strstr(const char* text, const char* pattern) { return Search<false>(text, pattern); }
char* strstrNoCase(const char* text, const char* pattern) { return Search<true>(text, pattern); }

} // namespace util
} // namespace zel
