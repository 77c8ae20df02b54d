// ZELBase bit string: BitString, a fixed-length sequence of bits packed into bytes,
// most significant bit first, with conversions to and from a bracketed text of 0s
// and 1s and to an unsigned integer.
//
// Bit i lives in byte i / 8 under the mask 0x80 >> (i % 8): bit 0 is the most
// significant bit of byte 0, bit 8 the most significant bit of byte 1. A string of
// n bits holds n / 8 bytes rounded up; the bits of the last byte past n are its
// "unused" bits (GetUnusedBits(), 0 to 7).
//
// Failures: a bit whose byte does not exist throws InvalidIndexException with the
// byte index and the highest byte index (a negative bit index throws it with that
// index); growing the bytes can throw MemoryException. Negative bit counts are
// taken as 0.
//
// Thread safety: none inside; use one object from one thread at a time.
//
// Example:
//   zel::BitString bits;
//   bits.SetFromInt(5, 3);
//   zel::BaseString<char> text;
//   bits.AsString(text);              // "[101]"
//   bits.GetIntValue();               // 5
//   bits.GetIntValueReverse();        // 0xA0 (the first byte, 1010 0000)
//   bits.FromString("[011]");         // true; GetIntValue() is now 3
//   bits.FromString("0");             // true; every bit cleared
//   bits.FromString("[0110]");        // false: the size is fixed at 3 bits
#pragma once

#include "zel/Array.h"
#include "zel/BaseString.h"
#include "zel/Export.h"

namespace zel {

class ZEL_API BitString {
public:
    // No bytes, no bits.
    BitString();
    // numBits bits, all off; converts from a count (zel::BitString b = 12;).
    // Throws MemoryException.
    BitString(int numBits);
    // A copy with its own bytes. Throws MemoryException.
    BitString(const BitString& o);
    virtual ~BitString();

    // Copies the bytes, the bit count and the unused-bit count. Throws
    // MemoryException, and then leaves this object unchanged.
    BitString& operator=(const BitString& o);

    // True when both hold the same bytes. The bit counts are not compared, and the
    // unused bits of the last byte take part: two strings with the same bytes but
    // different bit counts compare equal.
    bool operator==(const BitString& o) const;
    bool operator!=(const BitString& o) const { return !(*this == o); }

    // Sets the bit count to numBits and the byte count to numBits / 8 rounded up.
    // Bits already present keep their values; bytes added by a reallocation are 0,
    // while bytes regained after an earlier, smaller Init (no reallocation) come
    // back with their old contents: call ClearBits() to start from zeros.
    // Throws MemoryException.
    void Init(int numBits);

    // The state of bit i; false for i >= NumBits(). Throws InvalidIndexException
    // when byte i / 8 does not exist.
    bool IsBitOn(int i) const;
    // Sets (on) or clears bit i and returns its previous state as IsBitOn gives
    // it. Only the byte index is checked: the unused bits of the last byte can be
    // set, and still read as false through IsBitOn.
    bool SetBit(int i, bool on);
    // Clears bits 0 to NumBits() - 1; the unused bits of the last byte stay.
    void ClearBits();

    // Sizes the string to n = min(numBits, 32) bits and stores the low n bits of
    // value, most significant first. Throws MemoryException.
    void SetFromInt(unsigned int value, unsigned int numBits);
    // The inverse of SetFromInt: bit i set gives bit NumBits() - 1 - i of the
    // result (positions taken modulo 32 beyond 32 bits, OR-ed together); 0 for an
    // empty string.
    unsigned int GetIntValue() const;
    // The first byte with the bits past NumBits() cleared: bit i (i < 8) set gives
    // bit 7 - i of the result.
    unsigned int GetIntValueReverse() const;

    // out = "[" + one '1' or '0' per bit + "]"; returns out's buffer. Throws
    // MemoryException, and then leaves out unchanged.
    const char* AsString(BaseString<char>& out) const;
    // Reads a text of the AsString form back into the existing bits; the bit count
    // never changes. The one-character text "0" clears every bit. A text that
    // starts with '[' and ends with ']' must have NumBits() + 2 characters, any
    // other text NumBits() characters; otherwise the result is false and nothing
    // changes. '[' and ']' inside are skipped (that bit keeps its value), '1' sets
    // a bit and every other character clears it. A null text reads as empty.
    bool FromString(const BaseString<char>& s);

    // Appends `count` bytes after the bytes already held and sets the unused-bit
    // count to unusedBits (taken into 0..7). The bit count then follows the bytes:
    // byte count * 8 - unusedBits, so appended bits are reachable through IsBitOn,
    // AsString and GetIntValue like any other (with no bytes at all, both counts
    // are 0). A count below 1 or null bytes append nothing and leave the bit count
    // as it was; only the unused-bit count is set (0 while there are no bytes).
    // `bytes` may point into this string's own storage. Throws
    // MemoryException, and then leaves the object unchanged.
    void Assign(const unsigned char* bytes, int count, int unusedBits);

    // Stores NumBits() in numBits and returns the bytes (null while there are none).
    const unsigned char* GetBits(int& numBits) const;
    // The bytes, writable (null while there are none).
    unsigned char* GetRawBits();
    int GetUnusedBits() const { return m_unusedBits; }
    int NumBits() const { return m_numBits; }

private:
    // Byte index of bit i, checked against the bytes held.
    unsigned int ByteOf(int i) const;

    Array<unsigned char> m_bits;
    int m_unusedBits;
    int m_numBits;
};

} // namespace zel
