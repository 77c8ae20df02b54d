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
//   - Any default-constructible element type works. On growth scalars are copied
//     bytewise, as are BaseString<char> and DirectoryItem (they point at nothing of
//     their own: their buffers change hands, no text is copied); other elements whose
//     move cannot throw are moved and all others copy-constructed. Move-only types work with
//     SetSize and operator[]; Add and copying need copy assignment.
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
#include <functional>
#include <new>
#include <type_traits>

// The reallocation stays out of line: the common path of Add is then a few
// instructions wherever it is inlined.
#if defined(__GNUC__)
#define ZEL_ARRAY_NOINLINE __attribute__((noinline))
#elif defined(_MSC_VER)
#define ZEL_ARRAY_NOINLINE __declspec(noinline)
#else
#define ZEL_ARRAY_NOINLINE
#endif

namespace zel {

namespace detail {
// What happens to elements dropped by a smaller count: nothing, except that
// strings are emptied so a refilled list reuses their buffers.
template <typename T> struct ArrayDrop {
    static void Drop(T&) {}
};
template <> struct ArrayDrop<BaseString<char>> {
    static void Drop(BaseString<char>& s) { s.Clear(); }
};

// Element types whose objects may move to new storage by a byte copy, the old
// bytes then being forgotten without a destructor call: a string is a pointer
// and a word that point at nothing of their own.
template <typename T> struct ArrayRelocatable : std::false_type {};
template <> struct ArrayRelocatable<BaseString<char>> : std::true_type {};
} // namespace detail

template <typename T> class Array {
public:
    Array() : m_data(nullptr), m_count(0), m_capacity(0) {}

    // A copy of every element of `o`. Throws MemoryException (or what an element's
    // copy throws), and then nothing is left allocated.
    Array(const Array& o) : m_data(nullptr), m_count(0), m_capacity(0) {
        try {
            *this = o;
        } catch (...) {
            Release();
            throw;
        }
    }

    // Destroys every slot and releases the storage.
    ~Array() { Release(); }

    // Self-assignment does nothing. Otherwise SetSize(o.Size()), then element i is
    // assigned from o[i] for i = 0, 1, ... Allocation failure in SetSize leaves the
    // array unchanged; an element assignment that throws leaves the new count and
    // the elements assigned so far.
    Array& operator=(const Array& o) {
        if (this == &o)
            return *this;
        SetSize(o.m_count);
        for (unsigned int i = 0; i < o.m_count; ++i)
            m_data[i] = o.m_data[i];
        return *this;
    }

    // Sets the count to n, growing the storage when n exceeds the capacity:
    // capacity max(old, 5) doubled until it holds n (at most 4,294,967,295); the
    // elements in use are moved (when that cannot throw) or copied across and the
    // other new slots value-initialised. A smaller n keeps the storage and the
    // dropped elements (strings among them are emptied). Throws MemoryException,
    // with the array unchanged, when memory runs out or n elements do not fit the
    // address space.
    void SetSize(unsigned int n) {
        if (n > m_capacity)
            Grow(n);
        for (unsigned int i = n; i < m_count; ++i)
            detail::ArrayDrop<T>::Drop(m_data[i]);
        m_count = n;
    }

    // Appends x: SetSize(Size() + 1), then the new last element is assigned from
    // x (which may be an element of this array). If growing or the assignment
    // throws, the count stays as it was.
    void Add(const T& x) {
        if (m_count < m_capacity) {
            m_data[m_count] = x;
            ++m_count;
            return;
        }
        if constexpr (kByValue)
            AddGrowingValue(x);
        else
            AddGrowing(x);
    }

    // Appends a value of another type (a text for a list of strings, say) by
    // assigning it to the new last element directly, without a temporary T. The
    // value may refer into this array.
    template <typename U, typename = typename std::enable_if<
                              !std::is_same<typename std::decay<U>::type, T>::value &&
                              std::is_assignable<T&, const U&>::value &&
                              std::is_constructible<T, const U&>::value>::type>
    void Add(const U& x) {
        if (m_count < m_capacity) {
            m_data[m_count] = x;
            ++m_count;
            return;
        }
        AddConverted(x);
    }

    // Element i; throws InvalidIndexException(i, Size() - 1) when i >= Size().
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

    // The number of elements in use.
    unsigned int Size() const { return m_count; }
    // The element storage (null before the first growth).
    T* Data() { return m_data; }
    const T* Data() const { return m_data; }

private:
    // Scalars whose value-initialised state is all zero bits: new slots are
    // cleared in one go.
    static constexpr bool kZeroFill =
        std::is_arithmetic<T>::value || std::is_pointer<T>::value || std::is_enum<T>::value;
    static constexpr bool kByValue =
        std::is_trivially_copyable<T>::value && sizeof(T) <= 2 * sizeof(void*);
    static constexpr bool kMoveOnGrow =
        std::is_nothrow_move_constructible<T>::value || !std::is_copy_constructible<T>::value;

    // Small trivially copyable values are passed on by value: a copy cannot be
    // disturbed by the reallocation, and the common path keeps x in a register.
    void AddGrowingValue(T x) {
        Grow(m_count + 1);
        m_data[m_count] = x;
        ++m_count;
    }

    void AddGrowing(const T& x) {
        const std::less<const T*> before;
        if (m_data != nullptr && !before(&x, m_data) && before(&x, m_data + m_capacity)) {
            const std::size_t index = static_cast<std::size_t>(&x - m_data);
            Grow(m_count + 1);
            m_data[m_count] = m_data[index];
        } else {
            Grow(m_count + 1);
            m_data[m_count] = x;
        }
        ++m_count;
    }

    template <typename U> void AddConverted(const U& x) {
        // Growing may move what x refers to: take a copy first.
        const T copy(x);
        Grow(m_count + 1);
        m_data[m_count] = copy;
        ++m_count;
    }

    void Grow(unsigned int n) {
        const unsigned int capacity = GrownCapacity(m_capacity, n);
        m_data = Reallocate(m_data, m_count, m_capacity, capacity);
        m_capacity = capacity;
    }

    // Capacity max(old, 5) doubled until it holds n, at most 4,294,967,295.
    static unsigned int GrownCapacity(unsigned int old, unsigned int n) {
        if (n == 0)
            throw MemoryException(); // a count that wrapped past 2^32 - 1
        std::uint64_t c = old > 5 ? old : 5;
        while (c < n) {
            c *= 2;
            if (c > 0xFFFFFFFFull)
                c = 0xFFFFFFFFull;
        }
        return static_cast<unsigned int>(c);
    }

    // New storage of `capacity` slots holding the first `count` elements of `old`
    // and fresh elements after them; the old storage is released. Works on values
    // only, so that the array's members can stay in registers where Add is inlined.
    // Throws MemoryException with nothing changed.
    ZEL_ARRAY_NOINLINE static T* Reallocate(T* old, unsigned int count, unsigned int oldCapacity,
                                            unsigned int capacity) {
        // The byte count must fit size_t: no wrapped, short block on 32-bit.
        if (capacity > static_cast<std::size_t>(-1) / sizeof(T))
            throw MemoryException();
        const std::size_t bytes = static_cast<std::size_t>(capacity) * sizeof(T);
        T* block = static_cast<T*>(memory::allocate(bytes));
        if (block == nullptr)
            throw MemoryException();

        unsigned int built = 0;
        try {
            if (detail::ArrayRelocatable<T>::value || std::is_trivially_copyable<T>::value) {
                // The elements in use move by a byte copy (relocatable ones too:
                // only the old slots past them are destroyed below).
                if (count != 0)
                    std::memcpy(static_cast<void*>(block), static_cast<const void*>(old),
                                count * sizeof(T));
                built = count;
            } else {
                for (; built < count; ++built) {
                    if constexpr (kMoveOnGrow)
                        new (block + built) T(std::move(old[built]));
                    else
                        new (block + built) T(old[built]);
                }
            }
            if constexpr (kZeroFill) {
                std::memset(static_cast<void*>(block + built), 0,
                            static_cast<std::size_t>(capacity - built) * sizeof(T));
            } else {
                for (; built < capacity; ++built)
                    new (block + built) T();
            }
        } catch (...) {
            // Relocated bytes still belong to the old storage.
            const unsigned int relocated = detail::ArrayRelocatable<T>::value ? count : 0;
            DestroySlots(block + relocated, built - relocated);
            memory::release(block);
            throw;
        }
        if (oldCapacity != 0) {
            if (detail::ArrayRelocatable<T>::value)
                DestroySlots(old + count, oldCapacity - count);
            else
                DestroySlots(old, oldCapacity);
            memory::release(old);
        }
        return block;
    }

    void Release() {
        if (m_capacity != 0) {
            DestroySlots(m_data, m_capacity);
            memory::release(m_data);
        }
        m_data = nullptr;
        m_count = 0;
        m_capacity = 0;
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
