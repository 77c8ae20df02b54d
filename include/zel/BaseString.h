// ZELBase string: BaseString<char>, an owned, growable, NUL-terminated byte string
// with a cached length and power-of-two buffers.
//
// The template lives entirely in this header and is compiled into the library and
// its hosts alike, so its members and their bits are interface: a buffer pointer,
// then one 32-bit word holding the cached length (low 27 bits) and the base-2
// logarithm of the buffer size (high 5 bits). On 32-bit Windows sizeof is 8.
//
//   - Buffers are 2^k bytes, k >= 4, allocated through zel::memory (malloc/free)
//     and never shrink while they live; an assignment that fits reuses the buffer.
//   - The length 0x7FFFFFF means "uncounted": the next operation that needs the
//     length computes it with zel::util::strlen and caches it.
//   - The null string (no buffer; converts to a null const char*) differs from the
//     empty string (a buffer holding only the terminator).
//   - Texts of 134,217,727 characters or more cannot be represented and are
//     refused with MemoryException before anything changes.
//   - Every allocation failure throws MemoryException and leaves the string as it
//     was (after a failed assignment from a text: the empty string).
//   - Null `const char*` arguments are accepted everywhere: assigning or
//     constructing from null gives the null string, appending null changes nothing.
//
// Thread safety: none inside; use a string from one thread at a time.
//
// Example:
//   zel::BaseString<char> s("data\\logs\\");
//   s.FindLast("\\");          // 9
//   s += "a.txt";              // "data\logs\a.txt", Length() 15, 16-byte buffer
//   s.Truncate(4);             // "data"
//   zel::BaseString<char> n;   // null: (const char*)n == nullptr
#pragma once

#include "zel/Exception.h"
#include "zel/Memory.h"
#include "zel/StringUtil.h"

#include <cstring>
#include <type_traits>

namespace zel {

template <typename T>
class BaseString {
    static_assert(std::is_same<T, char>::value, "only BaseString<char> exists");

public:
    // Length value meaning "not counted yet".
    static constexpr unsigned int kUncounted = 0x7FFFFFF;
    // Longest text a string can hold.
    static constexpr unsigned int kMaxLength = kUncounted - 1;

    BaseString() : m_buffer(nullptr), m_length(kUncounted), m_capacityLog2(0) {}

    BaseString(const char* s) : m_buffer(nullptr), m_length(kUncounted), m_capacityLog2(0) {
        if (s == nullptr)
            return;
        unsigned int n = CheckedLength(s);
        Resize(n > 0 ? n : 1, true);
        std::memcpy(m_buffer, s, n + 1);
        m_length = n;
    }

    BaseString(const BaseString& o) : m_buffer(nullptr), m_length(kUncounted), m_capacityLog2(0) {
        if (o.m_buffer == nullptr)
            return;
        unsigned int e = o.m_length == kUncounted ? o.m_capacityLog2 : SignificantBits(o.m_length);
        if (e < 4)
            e = 4;
        m_buffer = Allocate(e);
        util::strcpy(m_buffer, o.m_buffer);
        m_capacityLog2 = e;
        m_length = o.m_length;
    }

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

    BaseString& operator=(const char* s) {
        if (s == nullptr) {
            MakeNull();
            return *this;
        }
        if (m_buffer != nullptr) {
            // Byte by byte: a source inside this buffer is handled here, since its
            // terminator lies inside the buffer.
            const unsigned int capacity = Capacity();
            for (unsigned int i = 0; i < capacity; ++i) {
                m_buffer[i] = s[i];
                if (s[i] == '\0') {
                    m_length = i;
                    return *this;
                }
            }
        }
        try {
            unsigned int n = CheckedLength(s);
            Resize(n > 0 ? n : 1, true);
            std::memcpy(m_buffer, s, n + 1);
            m_length = n;
        } catch (...) {
            // The loop above may have overwritten the text without a terminator.
            if (m_buffer != nullptr) {
                m_buffer[0] = '\0';
                m_length = 0;
            }
            throw;
        }
        return *this;
    }

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
            if (L == 0 && m_buffer == nullptr)
                Resize(1, false);
            target = L;
        } else {
            target = (1u << o.m_capacityLog2) - 1;
        }
        Resize(target, true);
        util::strcpy(m_buffer, o.m_buffer);
        m_length = L;
        return *this;
    }

    BaseString& operator+=(const char* s) {
        if (s == nullptr)
            return *this;
        AppendCounted(s, util::strlen(s));
        return *this;
    }

    // Appends at most the first n characters of s; stops at s's terminator, so a
    // shorter s is appended whole and the cached length matches the text.
    BaseString& Append(const char* s, unsigned int n) {
        if (s == nullptr)
            return *this;
        const void* end = std::memchr(s, '\0', n);
        unsigned int k = end ? static_cast<unsigned int>(static_cast<const char*>(end) - s) : n;
        AppendCounted(s, k);
        return *this;
    }

    // The cached length; computed and cached when uncounted (0 for the null string).
    unsigned int Length() const {
        if (m_length == kUncounted)
            m_length = m_buffer != nullptr ? util::strlen(m_buffer) : 0;
        return m_length;
    }

    // Room for n characters and a terminator; writes the terminator at n. With
    // `discard` the old text is not kept when the buffer is replaced (the length is
    // then uncounted and the caller sets it). Throws MemoryException.
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
        if (m_buffer != nullptr && Capacity() >= n + 1) {
            if (m_length == kUncounted || n < m_length)
                m_length = n;
            m_buffer[n] = '\0';
            return;
        }
        unsigned int e = SignificantBits(n);
        if (e < m_capacityLog2)
            e = m_capacityLog2;
        if (e < 4)
            e = 4;
        char* block = Allocate(e);
        if (!discard) {
            util::strcpy(block, m_buffer != nullptr ? m_buffer : "");
        } else {
            block[0] = '\0';
            m_length = kUncounted;
        }
        if (m_buffer != nullptr)
            memory::release(m_buffer);
        m_buffer = block;
        m_capacityLog2 = e;
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
        while (m_buffer[skip] != '\0' && util::IsSpace(static_cast<signed char>(m_buffer[skip])))
            ++skip;
        if (skip == 0)
            return;
        util::strcpy(m_buffer, m_buffer + skip);
        if (m_length != kUncounted && m_length >= skip)
            m_length -= skip;
    }

    // Removes trailing white space (space, CR, LF, tab; not 0xA0).
    void TrimRight() {
        if (m_buffer == nullptr)
            return;
        unsigned int L = Length();
        while (L > 0 && util::IsSpace(static_cast<signed char>(m_buffer[L - 1])))
            m_buffer[--L] = '\0';
        m_length = L;
    }

    // Shortens the text to at most n characters.
    void Truncate(unsigned int n) {
        if (m_buffer == nullptr)
            return;
        if (m_length != kUncounted) {
            if (n < m_length) {
                m_buffer[n] = '\0';
                m_length = n;
            }
            return;
        }
        const unsigned int capacity = Capacity();
        unsigned int i = 0;
        while (i < n && i < capacity && m_buffer[i] != '\0')
            ++i;
        if (i == n && n < capacity) {
            m_buffer[n] = '\0';
            m_length = n;
        }
    }

    // Position of the last occurrence of s, or -1; an empty s gives Length().
    int FindLast(const char* s) const {
        const unsigned int k = util::strlen(s);
        const unsigned int L = Length();
        if (k > L)
            return -1;
        if (k == 0)
            return static_cast<int>(L);
        for (unsigned int p = L - k + 1; p-- > 0;) {
            if (util::strncmp(s, m_buffer + p, k) == 0)
                return static_cast<int>(p);
        }
        return -1;
    }

    operator const char*() const { return m_buffer; }

private:
    unsigned int Capacity() const { return m_buffer != nullptr ? 1u << m_capacityLog2 : 0; }

    static unsigned int SignificantBits(unsigned int n) {
        unsigned int bits = 0;
        while (n != 0) {
            ++bits;
            n >>= 1;
        }
        return bits;
    }

    static unsigned int CheckedLength(const char* s) {
        std::size_t n = std::strlen(s);
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

    void MakeNull() {
        if (m_buffer != nullptr)
            memory::release(m_buffer);
        m_buffer = nullptr;
        m_length = kUncounted;
        m_capacityLog2 = 0;
    }

    // Appends k characters of s (no terminator among them).
    void AppendCounted(const char* s, unsigned int k) {
        const unsigned int L = Length();
        if (k > kMaxLength - L)
            throw MemoryException();
        // s may point into this buffer, which Resize may replace.
        const bool inside = m_buffer != nullptr && s >= m_buffer && s < m_buffer + Capacity();
        const std::size_t offset = inside ? static_cast<std::size_t>(s - m_buffer) : 0;
        Resize(L + k, false);
        if (m_buffer == nullptr)
            return;
        if (inside)
            s = m_buffer + offset;
        std::memmove(m_buffer + L, s, k);
        m_buffer[L + k] = '\0';
        m_length = L + k;
    }

    char* m_buffer;
    mutable unsigned int m_length : 27;
    unsigned int m_capacityLog2 : 5;
};

} // namespace zel
