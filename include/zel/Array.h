// ZELBase dynamic array: Array<T>.
//
// A header template compiled into the library and its hosts alike; its members are
// interface: the element pointer, the count, the capacity (sizeof 12 on 32-bit
// Windows). Storage comes from zel::memory (malloc/free).
//
//   - Capacities start at 5 and double (5, 10, 20, 40, 80, ...); storage never
//     shrinks while the array lives.
//   - Every capacity slot holds a live element, not only the first Size(): new
//     slots are value-initialised (zero bytes for scalars, default-constructed
//     objects), and elements dropped by a smaller count stay alive. Bytes dropped
//     by a smaller count reappear when the count grows again without reallocating;
//     BaseString<char> elements dropped by a smaller count are emptied but keep
//     their buffers.
//   - On growth elements are moved when their move cannot throw (BaseString<char>
//     hands its buffer over) and copied otherwise.
//   - Allocation failure throws MemoryException, as does a size whose byte count
//     does not fit the address space; the array is then unchanged.
//   - operator[] checks the index and throws InvalidIndexException(i, Size() - 1).
//
// Thread safety: none inside; use an array from one thread at a time.
//
// Example:
//   zel::Array<zel::BaseString<char>> list;
//   list.Add("a");
//   list.Add("b");          // Size() 2, capacity 5
//   list[2];                // throws InvalidIndexException(2, 1)
#pragma once

#include "zel/BaseString.h"
#include "zel/Exception.h"
#include "zel/Memory.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

namespace zel {

namespace detail {
// What happens to elements dropped by a smaller count: nothing, except that
// strings are emptied so a refilled list reuses their buffers.
template <typename T>
struct ArrayDrop {
    static void Drop(T&) {}
};
template <>
struct ArrayDrop<BaseString<char>> {
    static void Drop(BaseString<char>& s) { s.Clear(); }
};
} // namespace detail

template <typename T>
class Array {
public:
    Array() : m_data(nullptr), m_count(0), m_capacity(0) {}

    Array(const Array& o) : m_data(nullptr), m_count(0), m_capacity(0) { *this = o; }

    ~Array() {
        if (m_capacity != 0) {
            DestroySlots(m_data, m_capacity);
            memory::release(m_data);
        }
        m_data = nullptr;
        m_count = 0;
        m_capacity = 0;
    }

    Array& operator=(const Array& o) {
        if (this == &o)
            return *this;
        SetSize(o.m_count);
        for (unsigned int i = 0; i < o.m_count; ++i)
            m_data[i] = o.m_data[i];
        return *this;
    }

    // Sets the count to n, growing the storage when n exceeds the capacity.
    void SetSize(unsigned int n) {
        if (n > m_capacity)
            Grow(n);
        for (unsigned int i = n; i < m_count; ++i)
            detail::ArrayDrop<T>::Drop(m_data[i]);
        m_count = n;
    }

    // Appends a copy of x (x may be an element of this array).
    void Add(const T& x) {
        if (m_count < m_capacity) {
            m_data[m_count] = x;
            ++m_count;
            return;
        }
        const T* source = &x;
        const bool inside = m_data != nullptr && source >= m_data && source < m_data + m_capacity;
        const std::size_t index = inside ? static_cast<std::size_t>(source - m_data) : 0;
        SetSize(m_count + 1);
        m_data[m_count - 1] = inside ? m_data[index] : x;
    }

    T& operator[](unsigned int i) {
        if (i >= m_count)
            throw InvalidIndexException(static_cast<int>(i), static_cast<int>(m_count) - 1);
        return m_data[i];
    }

    const T& operator[](unsigned int i) const {
        if (i >= m_count)
            throw InvalidIndexException(static_cast<int>(i), static_cast<int>(m_count) - 1);
        return m_data[i];
    }

    unsigned int Size() const { return m_count; }
    T* Data() { return m_data; }
    const T* Data() const { return m_data; }

private:
    static constexpr bool kMoveOnGrow =
        std::is_nothrow_move_constructible<T>::value || !std::is_copy_constructible<T>::value;

    void Grow(unsigned int n) {
        std::uint64_t c = m_capacity > 5 ? m_capacity : 5;
        while (c < n) {
            c *= 2;
            if (c > 0xFFFFFFFFull)
                c = 0xFFFFFFFFull;
        }
        const std::uint64_t bytes = c * sizeof(T);
        if (bytes > SIZE_MAX)
            throw MemoryException();
        T* block = static_cast<T*>(memory::allocate(static_cast<std::size_t>(bytes)));
        if (block == nullptr)
            throw MemoryException();

        const unsigned int capacity = static_cast<unsigned int>(c);
        unsigned int built = 0;
        try {
            if (std::is_trivially_copyable<T>::value) {
                if (m_count != 0)
                    std::memcpy(static_cast<void*>(block), static_cast<const void*>(m_data),
                                m_count * sizeof(T));
                built = m_count;
            } else {
                for (; built < m_count; ++built) {
                    if constexpr (kMoveOnGrow)
                        new (block + built) T(std::move(m_data[built]));
                    else
                        new (block + built) T(m_data[built]);
                }
            }
            for (; built < capacity; ++built)
                new (block + built) T();
        } catch (...) {
            DestroySlots(block, built);
            memory::release(block);
            throw;
        }
        if (m_capacity != 0) {
            DestroySlots(m_data, m_capacity);
            memory::release(m_data);
        }
        m_data = block;
        m_capacity = capacity;
    }

    static void DestroySlots(T* slots, unsigned int n) {
        if (!std::is_trivially_destructible<T>::value) {
            for (unsigned int i = 0; i < n; ++i)
                slots[i].~T();
        }
    }

    T* m_data;
    unsigned int m_count;
    unsigned int m_capacity;
};

} // namespace zel
