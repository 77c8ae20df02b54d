// ZELBase cipher: BlowFish, encryption of texts and byte buffers under a text key.
//
// The cipher is a variant of Blowfish (16 rounds, 64-bit blocks, the published
// initial tables taken from the hexadecimal digits of pi) kept for compatibility
// with data the library has stored before. It is not a sound choice for new
// secrets: there is no chaining, no initial vector and no integrity check beyond a
// magic word, and equal plain texts give equal cipher texts.
//
// Stored format. Every detail below is fixed; data enciphered once must always
// decipher identically.
//   - Plain block for n input bytes (n >= 1): the magic word 0xFACD0E37 as 4
//     little-endian bytes (37 0E CD FA), then n as 4 little-endian bytes, then the
//     n input bytes, then zero bytes up to the next multiple of 8. The cipher text
//     is this block enciphered in place: m + 8 bytes, m being n rounded up to a
//     multiple of 8, so 1 -> 16, 8 -> 16, 9 -> 24, 16 -> 24. No other framing.
//   - The block is read as little-endian 32-bit words w[0..W-1]; the pair
//     (w[i], w[W-1-i]) is enciphered as (left, right) for every i < W/2: the first
//     word with the last, the second with the one before the last, and so on.
//     Every pair stands alone (no chaining).
//   - Differences from published Blowfish: the round function takes the S1 index
//     from the least significant byte of its input and the S4 index from the most
//     significant one; the outer whitening uses the constants 0x243F6A88 and
//     0x8979FB1B (the initial P[0] and P[17]) instead of the key-dependent P[0]
//     and P[17]; key bytes are combined into words little-endian.
//   - Key: the bytes of the text up to its terminator, repeated cyclically to 72
//     bytes when shorter; only the first 72 bytes count, so keys of any length
//     (32,768 bytes and more included) are accepted.
//   - Caveat of the constant whitening: the key words that reach only P[0] and
//     P[17] never affect the cipher text. With a key of 72 bytes or more, key
//     bytes 0 to 3 and 68 to 71 make no difference: a key that differs from the
//     right one only there deciphers the data. (Shorter keys repeat, so their
//     first bytes come back in later words and do count.)
//
// Results:
//   - A null or empty key, empty input, a cipher length of 0 or not a multiple of
//     8 is not an error: Encrypt makes `out` empty; Decrypt makes `out` empty
//     (the null string for the text form) and returns false.
//   - A `length` argument below 0 or above the array's count is refused before
//     anything is read: Encrypt makes `out` empty; Decrypt makes `out` empty and
//     returns false.
//   - A wrong key is detected only by the magic word: Decrypt returns false and
//     `out` holds meaningless data (see Decrypt). Always test the result.
//   - Allocation failure throws MemoryException; `out` is then left as it was
//     (for the text form apart from what a failed string assignment does).
//
// Every call builds the key schedule afresh (about 4.2 KB of tables on the
// stack); nothing is cached between calls. The tables and every work buffer that
// held plain text are wiped before the call returns.
//
// Thread safety: the class has no state; any number of threads may call any of
// the operations at the same time (on different output objects).
//
// Example:
//   zel::Array<unsigned char> sealed;
//   zel::BlowFish::Encrypt("secret", "hello", sealed);     // sealed.Size() == 16
//   zel::BaseString<char> text;
//   zel::BlowFish::Decrypt("secret", sealed, text);        // true, text "hello"
//   zel::BlowFish::Decrypt("Secret", sealed, text);        // false, text meaningless
#pragma once

#include "zel/Array.h"
#include "zel/BaseString.h"
#include "zel/Export.h"

namespace zel {

// The cipher's four operations. The class holds no data; objects may be made,
// copied and assigned, and assignment copies nothing.
class ZEL_API BlowFish {
public:
    BlowFish() = default;
    BlowFish(const BlowFish&) = default;
    BlowFish& operator=(const BlowFish& other);
    BlowFish& operator=(BlowFish&& other) noexcept;

    // Enciphers the bytes of `text` without its terminator under `key` into `out`
    // (m + 8 bytes, see the format above). A null or empty key or text makes
    // `out` empty. Throws MemoryException.
    //
    // Example:
    //   zel::BlowFish::Encrypt("k", "123456789", out);     // out.Size() == 24
    //   zel::BlowFish::Encrypt("", "abc", out);            // out.Size() == 0
    static void Encrypt(const char* key, const char* text, Array<unsigned char>& out);

    // Enciphers the first `length` bytes of `in` under `key` into `out`. `in` and
    // `out` may be the same array. A null or empty key, a `length` of 0, below 0
    // or above in.Size() makes `out` empty. Throws MemoryException.
    //
    // Example:
    //   zel::BlowFish::Encrypt("k", bytes, 8, out);        // out.Size() == 16
    //   zel::BlowFish::Encrypt("k", bytes, -1, out);       // out.Size() == 0
    static void Encrypt(const char* key, const Array<unsigned char>& in, int length,
                        Array<unsigned char>& out);

    // Deciphers all of `in` under `key` into the text `out`.
    //   - true: the header was found; `out` is the deciphered data as a text,
    //     ending early at a zero byte among it.
    //   - false with a null or empty key, or with in.Size() 0 or not a multiple of
    //     8: `out` is the null string.
    //   - false when the first deciphered word is not the magic word (wrong key,
    //     damaged data), or when it is but the length word exceeds in.Size() - 8
    //     (the data cannot hold that many bytes; nothing past the buffer is read):
    //     `out` is the whole deciphered block, header included, read as a text up
    //     to its first zero byte.
    // Throws MemoryException.
    //
    // Example:
    //   zel::BlowFish::Decrypt("k", sealed, text);         // true, text as enciphered
    //   zel::BlowFish::Decrypt("k", twelveBytes, text);    // false, text null
    static bool Decrypt(const char* key, const Array<unsigned char>& in, BaseString<char>& out);

    // Deciphers the first `length` bytes of `in` under `key` into the bytes `out`
    // (`in` and `out` may be the same array).
    //   - true: the header was found; `out` holds exactly the enciphered bytes.
    //   - false with a null or empty key, a `length` of 0, not a multiple of 8,
    //     below 0 or above in.Size(): `out` is empty.
    //   - false when the first deciphered word is not the magic word (wrong key,
    //     damaged data), or when it is but the length word exceeds length - 8
    //     (nothing past the buffer is read): `out` holds the length - 8 deciphered
    //     bytes that follow the header.
    // Throws MemoryException.
    //
    // Example:
    //   zel::BlowFish::Decrypt("k", sealed, sealed.Size(), bytes);   // true
    //   zel::BlowFish::Decrypt("k", sealed, 12, bytes);              // false, empty
    static bool Decrypt(const char* key, const Array<unsigned char>& in, int length,
                        Array<unsigned char>& out);
};

} // namespace zel
