#include "zel/BitString.h"

#include "zel/Exception.h"

#include <cstring>
#include <functional>
#include <new>
#include <vector>

namespace zel {

namespace {

inline unsigned char Mask(int i) {
    return static_cast<unsigned char>(0x80u >> (i % 8));
}

} // namespace

BitString::BitString() : m_unusedBits(0), m_numBits(0) {}

BitString::BitString(int numBits) : m_unusedBits(0), m_numBits(0) {
    Init(numBits);
}

BitString::BitString(const BitString& o) : m_unusedBits(0), m_numBits(0) {
    *this = o;
}

BitString::~BitString() {}

BitString& BitString::operator=(const BitString& o) {
    if (this != &o)
        m_bits = o.m_bits; // may throw before anything changes
    m_unusedBits = o.m_unusedBits;
    m_numBits = o.m_numBits;
    return *this;
}

bool BitString::operator==(const BitString& o) const {
    const unsigned int n = m_bits.Size();
    if (n != o.m_bits.Size())
        return false;
    return n == 0 || std::memcmp(m_bits.Data(), o.m_bits.Data(), n) == 0;
}

void BitString::Init(int numBits) {
    if (numBits < 0)
        numBits = 0;
    const int rest = numBits % 8;
    m_bits.SetSize(static_cast<unsigned int>(numBits / 8 + (rest != 0 ? 1 : 0)));
    m_numBits = numBits;
    m_unusedBits = rest != 0 ? 8 - rest : 0;
}

unsigned int BitString::ByteOf(int i) const {
    if (i < 0)
        throw InvalidIndexException(i, static_cast<int>(m_bits.Size()) - 1);
    const unsigned int byte = static_cast<unsigned int>(i) / 8;
    if (byte >= m_bits.Size())
        throw InvalidIndexException(static_cast<int>(byte), static_cast<int>(m_bits.Size()) - 1);
    return byte;
}

bool BitString::IsBitOn(int i) const {
    if (i >= m_numBits)
        return false;
    return (m_bits.Data()[ByteOf(i)] & Mask(i)) != 0;
}

bool BitString::SetBit(int i, bool on) {
    const bool was = IsBitOn(i);
    unsigned char& byte = m_bits.Data()[ByteOf(i)];
    if (on)
        byte = static_cast<unsigned char>(byte | Mask(i));
    else
        byte = static_cast<unsigned char>(byte & ~Mask(i));
    return was;
}

void BitString::ClearBits() {
    unsigned char* bytes = m_bits.Data();
    const unsigned int held = m_bits.Size();
    if (held == 0)
        return;
    const unsigned int full = static_cast<unsigned int>(m_numBits) / 8;
    std::memset(bytes, 0, full < held ? full : held);
    const int rest = m_numBits % 8;
    if (rest != 0 && full < held)
        bytes[full] = static_cast<unsigned char>(bytes[full] & (0xFFu >> rest));
}

void BitString::SetFromInt(unsigned int value, unsigned int numBits) {
    const int n = static_cast<int>(numBits < 32 ? numBits : 32);
    Init(n);
    for (int i = 0; i < n; ++i)
        SetBit(i, ((value >> (n - 1 - i)) & 1u) != 0);
}

unsigned int BitString::GetIntValue() const {
    unsigned int result = 0;
    const unsigned int n = static_cast<unsigned int>(m_numBits);
    for (int i = 0; i < m_numBits; ++i) {
        if (IsBitOn(i))
            result |= 1u << ((n - 1 - static_cast<unsigned int>(i)) % 32);
    }
    return result;
}

unsigned int BitString::GetIntValueReverse() const {
    unsigned int result = 0;
    for (int i = 0; i < 8 && i < m_numBits; ++i) {
        if (IsBitOn(i))
            result |= 1u << (7 - i);
    }
    return result;
}

const char* BitString::AsString(BaseString<char>& out) const {
    BaseString<char> text("[");
    text.Resize(static_cast<unsigned int>(m_numBits) + 2, false); // room for all: one allocation
    for (int i = 0; i < m_numBits; ++i)
        text += IsBitOn(i) ? "1" : "0";
    text += "]";
    out = text;
    return out;
}

bool BitString::FromString(const BaseString<char>& s) {
    const unsigned int length = s.Length();
    const char* text = s;
    if (length == 1 && text[0] == '0') {
        ClearBits();
        return true;
    }
    const bool bracketed = length >= 2 && text[0] == '[' && text[length - 1] == ']';
    const unsigned long long expected =
        static_cast<unsigned long long>(m_numBits) + (bracketed ? 2u : 0u);
    if (length != expected)
        return false;
    for (unsigned int p = 0; p < length; ++p) {
        const char c = text[p];
        if (c == '[' || c == ']')
            continue;
        SetBit(static_cast<int>(bracketed ? p - 1 : p), c == '1');
    }
    return true;
}

void BitString::Assign(const unsigned char* bytes, int count, int unusedBits) {
    if (unusedBits < 0)
        unusedBits = 0;
    if (unusedBits > 7)
        unusedBits = 7;
    const unsigned int old = m_bits.Size();
    if (bytes == nullptr || count < 1) {
        // Nothing appended: the bit count stays; only the unused-bit count is set.
        m_unusedBits = old != 0 ? unusedBits : 0;
        return;
    }
    const unsigned int n = static_cast<unsigned int>(count);
    if (n > 0xFFFFFFFFu - old || (old + n) > 0x7FFFFFFFu / 8)
        throw MemoryException(); // the bit count would not fit an int
    // Bytes taken from our own storage survive a reallocation in a copy. Only a
    // reallocation (old + n beyond the capacity) needs it, and then any byte of
    // the storage lies below storage + old + n.
    std::vector<unsigned char> copy;
    const unsigned char* storage = m_bits.Data();
    const std::less<const unsigned char*> before;
    if (storage != nullptr && !before(bytes, storage) && before(bytes, storage + old + n)) {
        try {
            copy.assign(bytes, bytes + n);
        } catch (const std::bad_alloc&) {
            throw MemoryException();
        }
        bytes = copy.data();
    }
    m_bits.SetSize(old + n);
    std::memmove(m_bits.Data() + old, bytes, n);
    m_unusedBits = unusedBits;
    m_numBits = static_cast<int>(m_bits.Size() * 8) - m_unusedBits;
}

const unsigned char* BitString::GetBits(int& numBits) const {
    numBits = m_numBits;
    return m_bits.Data();
}

unsigned char* BitString::GetRawBits() {
    return m_bits.Data();
}

} // namespace zel
