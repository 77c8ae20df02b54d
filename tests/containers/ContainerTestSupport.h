// Helpers of the container tests: an allocation hook that records and can refuse
// requests, and readers of the raw member bits of BaseString and Array.
#pragma once

#include "zel/Array.h"
#include "zel/BaseString.h"
#include "zel/Memory.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace ctest {

// Installs recording allocation functions for its lifetime. Requests can be
// refused from the n-th one on (FailFrom) or by size (FailAtLeast); refused
// requests are recorded as well.
class AllocationHook {
public:
    AllocationHook() {
        s_active = this;
        zel::memory::allocate = &Allocate;
        zel::memory::release = &Release;
    }
    ~AllocationHook() {
        zel::memory::allocate = &zel::memory::DefaultAllocate;
        zel::memory::release = &zel::memory::DefaultRelease;
        s_active = nullptr;
    }
    AllocationHook(const AllocationHook&) = delete;
    AllocationHook& operator=(const AllocationHook&) = delete;

    // Refuse request number n (0: the next one) and every later one.
    void FailFrom(std::size_t n) { m_failFrom = m_requests.size() + n; }
    // Refuse every request of at least `bytes`.
    void FailAtLeast(std::size_t bytes) { m_failAtLeast = bytes; }
    void Allow() {
        m_failFrom = SIZE_MAX;
        m_failAtLeast = SIZE_MAX;
    }

    const std::vector<std::size_t>& Requests() const { return m_requests; }
    std::size_t Granted() const { return m_granted; }
    std::size_t Releases() const { return m_releases; }

private:
    static void* Allocate(std::size_t bytes) {
        AllocationHook& h = *s_active;
        const bool refuse = h.m_requests.size() >= h.m_failFrom || bytes >= h.m_failAtLeast;
        h.m_requests.push_back(bytes);
        if (refuse)
            return nullptr;
        ++h.m_granted;
        return zel::memory::DefaultAllocate(bytes);
    }
    static void Release(void* block) {
        ++s_active->m_releases;
        zel::memory::DefaultRelease(block);
    }

    static inline AllocationHook* s_active = nullptr;
    std::vector<std::size_t> m_requests;
    std::size_t m_granted = 0;
    std::size_t m_releases = 0;
    std::size_t m_failFrom = SIZE_MAX;
    std::size_t m_failAtLeast = SIZE_MAX;
};

// The raw members of a BaseString<char>: the pointer, then the 32-bit word.
struct StringBits {
    const char* buffer;
    std::uint32_t word;
    std::uint32_t length() const { return word & 0x7FFFFFFu; }
    std::uint32_t exponent() const { return word >> 27; }
};

inline StringBits Bits(const zel::BaseString<char>& s) {
    unsigned char raw[sizeof(zel::BaseString<char>)];
    std::memcpy(raw, static_cast<const void*>(&s), sizeof raw);
    StringBits b;
    std::memcpy(&b.buffer, raw, sizeof b.buffer);
    std::memcpy(&b.word, raw + sizeof(char*), sizeof b.word);
    return b;
}

// The raw members of an Array<T>: pointer, count, capacity.
template <typename T> struct ArrayBits {
    const T* data;
    std::uint32_t count;
    std::uint32_t capacity;
};

template <typename T> ArrayBits<T> Bits(const zel::Array<T>& a) {
    unsigned char raw[sizeof(zel::Array<T>)];
    std::memcpy(raw, static_cast<const void*>(&a), sizeof raw);
    ArrayBits<T> b;
    std::memcpy(&b.data, raw, sizeof b.data);
    std::memcpy(&b.count, raw + sizeof(T*), 4);
    std::memcpy(&b.capacity, raw + sizeof(T*) + 4, 4);
    return b;
}

template <typename T> std::uint32_t Capacity(const zel::Array<T>& a) {
    return Bits(a).capacity;
}

} // namespace ctest
