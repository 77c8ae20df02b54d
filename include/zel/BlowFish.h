// ZELBase cipher: BlowFish, encryption of texts and byte buffers under a text key.
//
// The cipher is a variant of Blowfish (16 rounds, 64-bit blocks, the published
// initial tables taken from the hexadecimal digits of pi) kept for compatibility
// with data the library has stored before. It is not a sound choice for new
// secrets: there is no chaining, no initial vector and no integrity check beyond a
// magic word, and equal plain texts give equal cipher texts.
//
// Stored format: an enciphered 8-byte header (a magic word and the plain length)
// followed by the data, zero-padded: m + 8 bytes for n input bytes, m being n
// rounded up to a multiple of 8 (1 -> 16, 8 -> 16, 9 -> 24). Every detail is
// fixed, so that data enciphered once always deciphers identically; the byte
// layout, the differences from published Blowfish, the key handling and its
// caveat are set out in docs/cipher.md.
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
