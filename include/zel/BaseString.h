// ZELBase string: BaseString<char>, an owned, growable, NUL-terminated byte string
// with a cached length and power-of-two buffers.
//
// The template lives entirely in this header and is compiled into the library and
// its hosts alike, so its members and their bits are interface: a buffer pointer
// (m_buffer), then one 32-bit word holding the cached length (m_length, low 27
// bits) and the base-2 logarithm of the buffer size (m_capacityLog2, high 5 bits).
// On 32-bit Windows sizeof is 8.
//
//   - Buffers are 2^k bytes, k >= 4, allocated through zel::memory (malloc/free)
//     and never shrink while they live; an assignment that fits reuses the buffer.
//   - The length 0x7FFFFFF means "uncounted": the next operation that needs the
//     length computes it with strlen and caches it.
//   - The null string (no buffer; converts to a null const char*; word 0x07FFFFFF,
//     or 0 once its length was asked for) differs from the empty string (a buffer
//     holding only the terminator).
//   - Texts of 134,217,727 characters or more cannot be represented and are
//     refused with MemoryException before anything changes.
//   - Every allocation failure throws MemoryException and leaves the string as it
//     was; in particular a failed assignment from a text keeps the old text.
//   - Null `const char*` arguments are accepted everywhere: assigning or
//     constructing from null gives the null string, appending null changes nothing.
//
// Thread safety: none inside; use a string from one thread at a time (Length()
// fills in the cached length even through a const reference).
//
// Example:
//   zel::BaseString<char> s("data\\logs\\");
//   s.FindLast("\\");          // 9
//   s += "a.txt";              // "data\logs\a.txt", Length() 15, 16-byte buffer
//   s.Truncate(4);             // "data"
//   zel::BaseString<char> n;   // null: (const char*)n == nullptr, n.Length() == 0
#pragma once

#include "zel/Exception.h"
#include "zel/Memory.h"
#include "zel/StringUtil.h"

#include <cstring>
#include <type_traits>

namespace zel {

template <typename T> class BaseString {
    static_assert(std::is_same<T, char>::value, "only BaseString<char> exists");

public:
    // Length value meaning "not counted yet".
    static constexpr unsigned int kUncounted = 0x7FFFFFF;
    // Longest text a string can hold.
    static constexpr unsigned int kMaxLength = kUncounted - 1;

    // The null string.
    BaseString() : m_buffer(nullptr), m_length(kUncounted), m_capacityLog2(0) {}

    // A copy of `s`; null gives the null string, "" the empty string (16 bytes).
    // Throws MemoryException.
    BaseString(const char* s) : m_buffer(nullptr), m_length(kUncounted), m_capacityLog2(0) {
        if (s == nullptr)
            return;
        const unsigned int n = CheckedLength(s);
        Resize(n > 0 ? n : 1, true);
        std::memcpy(m_buffer, s, n + 1);
        m_length = n & kUncounted;
    }

    // A copy in a buffer sized by the source's length (or, when that is uncounted,
    // by the source's capacity); the length field is copied as it stands.
    // Throws MemoryException.
    BaseString(const BaseString& o) : m_buffer(nullptr), m_length(kUncounted), m_capacityLog2(0) {
        if (o.m_buffer == nullptr)
            return;
        const unsigned int L = o.m_length;
        unsigned int e = L == kUncounted ? o.m_capacityLog2 : SignificantBits(L);
        if (e < 4)
            e = 4;
        m_buffer = Allocate(e);
        m_capacityLog2 = e & 31u;
        if (L != kUncounted)
            std::memcpy(m_buffer, o.m_buffer, L + 1);
        else
            util::strcpy(m_buffer, o.m_buffer);
        m_length = L & kUncounted;
    }

    // Takes over the source's buffer and word; the source becomes the null string.
    BaseString(BaseString&& o) noexcept
        : m_buffer(o.m_buffer), m_length(o.m_length), m_capacityLog2(o.m_capacityLog2) {
        o.m_buffer = nullptr;
        o.m_length = kUncounted;
        o.m_capacityLog2 = 0;
    }

    ~BaseString() {
        if (m_buffer != nullptr)
            memory::release(m_buffer);
    }

    // Copies `s` (null: the null string). A text that fits the buffer reuses it;
    // `s` may point into this string's own buffer. Throws MemoryException and then
    // keeps the old text.
    BaseString& operator=(const char* s) {
        if (s == nullptr) {
            MakeNull();
            return *this;
        }
        if (m_buffer != nullptr) {
            // Find the terminator within the buffer first, so that a text that does
            // not fit leaves the old one untouched.
            unsigned int limit = Capacity();
            if (limit > kMaxLength + 1)
                limit = kMaxLength + 1;
            const std::size_t n = strnlen(s, limit);
            if (n < limit) {
                std::memmove(m_buffer, s, n + 1);
                m_length = static_cast<unsigned int>(n) & kUncounted;
                return *this;
            }
        }
        const unsigned int n = CheckedLength(s);
        Resize(n > 0 ? n : 1, true);
        std::memcpy(m_buffer, s, n + 1);
        m_length = n & kUncounted;
        return *this;
    }

    // Copies `o`'s text and its length field (uncounted stays uncounted); a null `o`
    // gives the null string and an empty one an empty (non-null) string.
    // Throws MemoryException and then leaves this string unchanged.
    BaseString& operator=(const BaseString& o) {
        if (this == &o)
            return *this;
        if (o.m_buffer == nullptr) {
            MakeNull();
            return *this;
        }
        const unsigned int L = o.m_length;
        unsigned int target;
        if (L != kUncounted) {
            target = L;
        } else if (o.m_capacityLog2 < 27) {
            target = (1u << o.m_capacityLog2) - 1;
        } else {
            // A buffer this large may hold more than a length can say: measure.
            target = CheckedLength(o.m_buffer);
            if (target < kMaxLength)
                target = kMaxLength;
        }
        if (m_buffer == nullptr && target == 0)
            Resize(1, true);
        else
            Resize(target, true);
        if (L != kUncounted)
            std::memcpy(m_buffer, o.m_buffer, L + 1);
        else
            util::strcpy(m_buffer, o.m_buffer);
        m_length = L & kUncounted;
        return *this;
    }

    // Appends the whole of `s` (null: no change; "" onto the null string: stays
    // null). `s` may point into this string. Throws MemoryException.
    BaseString& operator+=(const char* s) {
        if (s == nullptr)
            return *this;
        AppendText(s, std::strlen(s));
        return *this;
    }

    // Appends the first n characters of s, or all of s when its terminator comes
    // first: the copy never reads past the terminator and the cached length always
    // matches the text. Throws MemoryException.
    BaseString& Append(const char* s, unsigned int n) {
        if (s == nullptr)
            return *this;
        const void* end = std::memchr(s, '\0', n);
        AppendText(s, end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - s)
                                     : n);
        return *this;
    }

    // The cached length; computed and cached when uncounted (0 for the null string).
    unsigned int Length() const {
        if (m_length == kUncounted) {
            if (m_buffer == nullptr) {
                m_length = 0;
            } else {
                const std::size_t n = std::strlen(m_buffer);
                if (n > kMaxLength)
                    return static_cast<unsigned int>(n); // cannot be cached
                m_length = static_cast<unsigned int>(n) & kUncounted;
            }
        }
        return m_length;
    }

    // Room for n characters and a terminator; writes the terminator at position n.
    // n = 0 empties the text (a null string stays null). When the buffer is large
    // enough, the text before n stays and a longer cached length becomes n.
    // Otherwise a buffer of 2^max(old exponent, bits of n, 4) bytes replaces it:
    // with `discard` false the old text and length field are kept; with `discard`
    // true nothing is copied and the length is uncounted (the caller writes the
    // text and sets the length). Throws MemoryException, with nothing changed, when
    // memory runs out or n exceeds 134,217,726.
    void Resize(unsigned int n, bool discard) {
        if (n == 0) {
            if (m_buffer != nullptr) {
                m_buffer[0] = '\0';
                m_length = 0;
            }
            return;
        }
        if (n > kMaxLength)
            throw MemoryException();
        if (n < Capacity()) {
            if (n < m_length) // an uncounted length is larger than any n
                m_length = n & kUncounted;
            m_buffer[n] = '\0';
            return;
        }
        const unsigned int e = GrownExponent(n);
        char* block = Allocate(e);
        if (!discard) {
            util::strcpy(block, m_buffer); // a null old buffer copies as ""
        } else {
            block[0] = '\0';
            m_length = kUncounted;
        }
        Install(block, e);
        m_buffer[n] = '\0';
    }

    // Empties the text; the buffer stays. A null string stays null.
    void Clear() {
        if (m_buffer == nullptr)
            return;
        m_buffer[0] = '\0';
        m_length = 0;
    }

    // Removes leading white space (space, CR, LF, tab; not 0xA0).
    void TrimLeft() {
        if (m_buffer == nullptr)
            return;
        unsigned int skip = 0;
        while (util::IsSpace(static_cast<signed char>(m_buffer[skip])))
            ++skip;
        if (skip == 0)
            return;
        std::memmove(m_buffer, m_buffer + skip, std::strlen(m_buffer + skip) + 1);
        if (m_length != kUncounted && m_length >= skip)
            m_length = (m_length - skip) & kUncounted;
    }

    // Removes trailing white space (space, CR, LF, tab; not 0xA0).
    void TrimRight() {
        if (m_buffer == nullptr)
            return;
        unsigned int L = Length();
        while (L > 0 && util::IsSpace(static_cast<signed char>(m_buffer[L - 1])))
            m_buffer[--L] = '\0';
        m_length = L & kUncounted;
    }

    // Shortens the text to at most n characters.
    void Truncate(unsigned int n) {
        if (m_buffer == nullptr)
            return;
        if (m_length != kUncounted) {
            if (n < m_length) {
                m_buffer[n] = '\0';
                m_length = n & kUncounted;
            }
            return;
        }
        const unsigned int capacity = Capacity();
        unsigned int i = 0;
        while (i < n && i < capacity && m_buffer[i] != '\0')
            ++i;
        if (i == n && n < capacity && n <= kMaxLength) {
            m_buffer[n] = '\0';
            m_length = n & kUncounted;
        }
    }

    // Position of the last occurrence of s, or -1. An empty s gives Length(). A
    // null s matches nothing, as util::strncmp orders it before every text, and
    // gives -1; only on the null string, null against null, it gives 0.
    int FindLast(const char* s) const {
        if (s == nullptr)
            return m_buffer == nullptr ? 0 : -1;
        const unsigned int k = util::strlen(s);
        const unsigned int L = Length();
        if (k > L)
            return -1;
        if (k == 0)
            return static_cast<int>(L);
        for (unsigned int p = L - k + 1; p-- > 0;) {
            if (m_buffer[p] == s[0] && std::memcmp(s, m_buffer + p, k) == 0)
                return static_cast<int>(p);
        }
        return -1;
    }

    // The buffer itself: null for the null string.
    operator const char*() const { return m_buffer; }

private:
    unsigned int Capacity() const { return m_buffer != nullptr ? 1u << m_capacityLog2 : 0; }

    static unsigned int SignificantBits(unsigned int n) {
#if defined(__GNUC__)
        return n != 0 ? 32u - static_cast<unsigned int>(__builtin_clz(n)) : 0u;
#else
        unsigned int bits = 0;
        while (n != 0) {
            ++bits;
            n >>= 1;
        }
        return bits;
#endif
    }

    // Exponent of a new buffer for n characters: never below the old one or 4.
    unsigned int GrownExponent(unsigned int n) const {
        unsigned int e = SignificantBits(n);
        if (e < m_capacityLog2)
            e = m_capacityLog2;
        if (e < 4)
            e = 4;
        return e;
    }

    static unsigned int CheckedLength(const char* s) {
        const std::size_t n = std::strlen(s);
        if (n > kMaxLength)
            throw MemoryException();
        return static_cast<unsigned int>(n);
    }

    static char* Allocate(unsigned int exponent) {
        char* block = static_cast<char*>(memory::allocate(std::size_t(1) << exponent));
        if (block == nullptr)
            throw MemoryException();
        return block;
    }

    // Replaces the buffer (the old one is released) and its exponent.
    void Install(char* block, unsigned int exponent) {
        if (m_buffer != nullptr)
            memory::release(m_buffer);
        m_buffer = block;
        m_capacityLog2 = exponent & 31u;
    }

    void MakeNull() {
        Install(nullptr, 0);
        m_length = kUncounted;
    }

    // Appends k characters of s, none of them a terminator. s may lie anywhere in
    // this string's buffer: the old buffer stays alive until the copy is done.
    void AppendText(const char* s, std::size_t k) {
        unsigned int L = m_length;
        if (L == kUncounted)
            L = Length();
        // Fast path: the text fits (a known length always lies inside the buffer).
        if (m_buffer != nullptr && k < (1u << m_capacityLog2) - L) {
            char* end = m_buffer + L;
            std::memmove(end, s, k);
            end[k] = '\0';
            m_length = (L + static_cast<unsigned int>(k)) & kUncounted;
            return;
        }
        AppendGrowing(s, k, L);
    }

    void AppendGrowing(const char* s, std::size_t k, unsigned int L) {
        if (L > kMaxLength || k > kMaxLength - L)
            throw MemoryException();
        const unsigned int n = L + static_cast<unsigned int>(k);
        if (n == 0)
            return; // "" appended to the null string: it stays null
        const unsigned int e = GrownExponent(n);
        char* block = Allocate(e);
        if (L != 0)
            std::memcpy(block, m_buffer, L);
        std::memcpy(block + L, s, k);
        block[n] = '\0';
        Install(block, e);
        m_length = n & kUncounted;
    }

public:
    // The members are interface: code on both sides of the library boundary may
    // read them, and a caller that filled the buffer after Resize(n, true) sets
    // m_length (or leaves it uncounted). Stores into the two fields are masked to
    // their widths: the values always fit, and the mask tells -Wconversion so.
    char* m_buffer;
    mutable unsigned int m_length : 27;
    unsigned int m_capacityLog2 : 5;
};

} // namespace zel
