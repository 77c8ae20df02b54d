// BlowFish's operations: lengths, round trips, refusals, wrong keys, the key rules.
#include "zel/BlowFish.h"

#include "crypto/BlowFishCore.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

namespace bf = zel::detail::blowfish;

zel::Array<unsigned char> Bytes(const std::string& s) {
    zel::Array<unsigned char> a;
    a.SetSize(static_cast<unsigned int>(s.size()));
    for (std::size_t i = 0; i < s.size(); ++i)
        a[static_cast<unsigned int>(i)] = static_cast<unsigned char>(s[i]);
    return a;
}

std::string Str(const zel::Array<unsigned char>& a) {
    return a.Size() == 0 ? std::string()
                         : std::string(reinterpret_cast<const char*>(a.Data()), a.Size());
}

// Bytes 0..255 repeated, every value (zero included) present.
std::string Pattern(std::size_t n, unsigned seed = 0) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 7 + seed) & 0xFF);
    return s;
}

zel::Array<unsigned char> Seal(const char* key, const std::string& plain) {
    zel::Array<unsigned char> out;
    zel::BlowFish::Encrypt(key, Bytes(plain), static_cast<int>(plain.size()), out);
    return out;
}

// Deciphers a whole buffer with the library's variant, bypassing the header check.
std::string RawDecipher(const std::string& key, zel::Array<unsigned char> sealed) {
    bf::Tables t;
    bf::Schedule<bf::LibraryVariant>(t, reinterpret_cast<const unsigned char*>(key.data()),
                                     static_cast<unsigned int>(key.size()));
    bf::Process<bf::LibraryVariant, false>(t, sealed.Data(), sealed.Size());
    return Str(sealed);
}

// Enciphers a hand-made block with the library's variant.
zel::Array<unsigned char> RawEncipher(const std::string& key, const std::string& block) {
    zel::Array<unsigned char> a = Bytes(block);
    bf::Tables t;
    bf::Schedule<bf::LibraryVariant>(t, reinterpret_cast<const unsigned char*>(key.data()),
                                     static_cast<unsigned int>(key.size()));
    bf::Process<bf::LibraryVariant, true>(t, a.Data(), a.Size());
    return a;
}

std::string Header(std::uint32_t length) {
    unsigned char h[8];
    bf::StoreLittleEndian(h, 0xFACD0E37);
    bf::StoreLittleEndian(h + 4, length);
    return std::string(reinterpret_cast<const char*>(h), 8);
}

TEST(BlowFish, CipherLengths) {
    struct Case {
        std::size_t plain;
        unsigned int cipher;
    };
    const Case cases[] = {{1, 16}, {7, 16}, {8, 16}, {9, 24}, {16, 24}, {17, 32}, {1000, 1008}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.plain);
        const std::string text(c.plain, 'x');
        zel::Array<unsigned char> fromText;
        zel::BlowFish::Encrypt("key", text.c_str(), fromText);
        EXPECT_EQ(fromText.Size(), c.cipher);
        EXPECT_EQ(Seal("key", text).Size(), c.cipher);
    }
}

TEST(BlowFish, RoundTripsOfBothForms) {
    for (std::size_t n = 1; n <= 41; ++n) {
        SCOPED_TRACE(n);
        const std::string plain = Pattern(n, static_cast<unsigned>(n));
        const zel::Array<unsigned char> sealed = Seal("round trip", plain);
        zel::Array<unsigned char> bytes;
        ASSERT_TRUE(
            zel::BlowFish::Decrypt("round trip", sealed, static_cast<int>(sealed.Size()), bytes));
        EXPECT_EQ(Str(bytes), plain);

        std::string text(n, 'a');
        for (std::size_t i = 0; i < n; ++i)
            text[i] = static_cast<char>(1 + (i * 37) % 255); // every non-zero byte value
        zel::Array<unsigned char> sealedText;
        zel::BlowFish::Encrypt("round trip", text.c_str(), sealedText);
        zel::BaseString<char> back;
        ASSERT_TRUE(zel::BlowFish::Decrypt("round trip", sealedText, back));
        EXPECT_EQ(std::string(back), text);
        EXPECT_EQ(back.Length(), n);
    }
}

TEST(BlowFish, RoundTripsAcrossForms) {
    // A text read back as bytes: exactly its bytes, no terminator.
    zel::Array<unsigned char> sealed;
    zel::BlowFish::Encrypt("across", "plain text", sealed);
    zel::Array<unsigned char> bytes;
    ASSERT_TRUE(zel::BlowFish::Decrypt("across", sealed, static_cast<int>(sealed.Size()), bytes));
    EXPECT_EQ(Str(bytes), "plain text");

    // Bytes with a zero read back as a text: the text up to the zero.
    const std::string withZero("abc\0def", 7);
    zel::BaseString<char> text;
    ASSERT_TRUE(zel::BlowFish::Decrypt("across", Seal("across", withZero), text));
    EXPECT_EQ(std::string(text), "abc");
    EXPECT_EQ(text.Length(), 3u);
}

TEST(BlowFish, EqualInputsGiveEqualCipherTexts) {
    const std::string plain = Pattern(100);
    EXPECT_EQ(Str(Seal("same", plain)), Str(Seal("same", plain)));
    EXPECT_NE(Str(Seal("same", plain)), Str(Seal("Same", plain)));
}

TEST(BlowFish, SwappedFirstAndLastWordsFail) {
    for (std::size_t n : {1u, 8u, 30u}) {
        SCOPED_TRACE(n);
        zel::Array<unsigned char> sealed = Seal("swap", Pattern(n));
        const unsigned int last = sealed.Size() - 4;
        for (unsigned int i = 0; i < 4; ++i)
            std::swap(sealed[i], sealed[last + i]);
        zel::Array<unsigned char> bytes;
        EXPECT_FALSE(
            zel::BlowFish::Decrypt("swap", sealed, static_cast<int>(sealed.Size()), bytes));
        zel::BaseString<char> text;
        EXPECT_FALSE(zel::BlowFish::Decrypt("swap", sealed, text));
    }
}

TEST(BlowFish, WrongKeyOutputs) {
    const std::string plain = Pattern(21);
    const zel::Array<unsigned char> sealed = Seal("right", plain); // 32 bytes
    const std::string deciphered = RawDecipher("wrong", sealed);
    ASSERT_NE(deciphered.substr(0, 4), Header(0).substr(0, 4));

    zel::Array<unsigned char> bytes;
    EXPECT_FALSE(zel::BlowFish::Decrypt("wrong", sealed, 32, bytes));
    EXPECT_EQ(Str(bytes), deciphered.substr(8)); // the n - 8 bytes from offset 8

    zel::BaseString<char> text;
    EXPECT_FALSE(zel::BlowFish::Decrypt("wrong", sealed, text));
    ASSERT_NE(static_cast<const char*>(text), nullptr);
    EXPECT_EQ(std::string(text), deciphered.substr(0, deciphered.find('\0')));
}

TEST(BlowFish, EmptyAndNullKeys) {
    const zel::Array<unsigned char> sealed = Seal("k", "data");
    for (const char* key : {static_cast<const char*>(nullptr), ""}) {
        SCOPED_TRACE(key == nullptr ? "null" : "empty");
        zel::Array<unsigned char> out = Bytes("previous");
        zel::BlowFish::Encrypt(key, "text", out);
        EXPECT_EQ(out.Size(), 0u);
        out = Bytes("previous");
        zel::BlowFish::Encrypt(key, Bytes("text"), 4, out);
        EXPECT_EQ(out.Size(), 0u);

        out = Bytes("previous");
        EXPECT_FALSE(zel::BlowFish::Decrypt(key, sealed, 16, out));
        EXPECT_EQ(out.Size(), 0u);
        zel::BaseString<char> text("previous");
        EXPECT_FALSE(zel::BlowFish::Decrypt(key, sealed, text));
        EXPECT_EQ(static_cast<const char*>(text), nullptr);
    }
}

TEST(BlowFish, EmptyInputsAndOddCipherLengths) {
    zel::Array<unsigned char> out = Bytes("previous");
    zel::BlowFish::Encrypt("k", "", out);
    EXPECT_EQ(out.Size(), 0u);
    out = Bytes("previous");
    zel::BlowFish::Encrypt("k", static_cast<const char*>(nullptr), out);
    EXPECT_EQ(out.Size(), 0u);
    out = Bytes("previous");
    zel::BlowFish::Encrypt("k", Bytes("abc"), 0, out);
    EXPECT_EQ(out.Size(), 0u);

    const zel::Array<unsigned char> sealed = Seal("k", Pattern(20)); // 32 bytes
    for (unsigned int n : {0u, 4u, 12u, 31u}) {
        SCOPED_TRACE(n);
        zel::Array<unsigned char> part = sealed;
        part.SetSize(n);
        out = Bytes("previous");
        EXPECT_FALSE(zel::BlowFish::Decrypt("k", sealed, static_cast<int>(n), out));
        EXPECT_EQ(out.Size(), 0u);
        zel::BaseString<char> text("previous");
        EXPECT_FALSE(zel::BlowFish::Decrypt("k", part, text));
        EXPECT_EQ(static_cast<const char*>(text), nullptr);
    }
}

TEST(BlowFish, LengthArgumentsOutsideTheArrayAreRefused) {
    const zel::Array<unsigned char> plain = Bytes("12345678");
    const zel::Array<unsigned char> sealed = Seal("k", "12345678"); // 16 bytes
    for (int length : {-1, -8, -2147483647 - 1, 9, 24, 2147483647}) {
        SCOPED_TRACE(length);
        zel::Array<unsigned char> out = Bytes("previous");
        zel::BlowFish::Encrypt("k", plain, length, out);
        EXPECT_EQ(out.Size(), 0u);
        out = Bytes("previous");
        EXPECT_FALSE(zel::BlowFish::Decrypt("k", sealed, length, out));
        EXPECT_EQ(out.Size(), 0u);
    }
}

TEST(BlowFish, PrefixLengths) {
    // Encrypt takes the first `length` bytes; Decrypt deciphers the first `length`.
    const zel::Array<unsigned char> plain = Bytes("0123456789");
    zel::Array<unsigned char> sealed;
    zel::BlowFish::Encrypt("k", plain, 5, sealed);
    EXPECT_EQ(Str(sealed), Str(Seal("k", "01234")));

    const zel::Array<unsigned char> first = Seal("k", "first");
    zel::Array<unsigned char> joined = first;
    joined.Add(0xAB); // trailing bytes beyond `length` are not read
    zel::Array<unsigned char> out;
    ASSERT_TRUE(zel::BlowFish::Decrypt("k", joined, 16, out));
    EXPECT_EQ(Str(out), "first");
}

TEST(BlowFish, SameArrayForInputAndOutput) {
    zel::Array<unsigned char> a = Bytes("in place");
    zel::BlowFish::Encrypt("k", a, static_cast<int>(a.Size()), a);
    EXPECT_EQ(Str(a), Str(Seal("k", "in place")));
    ASSERT_TRUE(zel::BlowFish::Decrypt("k", a, static_cast<int>(a.Size()), a));
    EXPECT_EQ(Str(a), "in place");
}

TEST(BlowFish, HeaderLengthBeyondTheData) {
    // Hand-made blocks carrying the magic word: a length word that fits is
    // accepted, one that does not is refused and out holds what a wrong key gives.
    const std::string data = Pattern(16, 3);
    struct Case {
        std::uint32_t length;
        bool found;
    };
    const Case cases[] = {{0, true},   {15, true},          {16, true},
                          {17, false}, {0x7FFFFFFF, false}, {0xFFFFFFFF, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        const std::string block = Header(c.length) + data;
        const zel::Array<unsigned char> sealed = RawEncipher("key", block);
        zel::Array<unsigned char> bytes;
        EXPECT_EQ(zel::BlowFish::Decrypt("key", sealed, 24, bytes), c.found);
        EXPECT_EQ(Str(bytes), c.found ? data.substr(0, c.length) : data);

        zel::BaseString<char> text;
        EXPECT_EQ(zel::BlowFish::Decrypt("key", sealed, text), c.found);
        const std::string expected = c.found ? data.substr(0, c.length) : block;
        EXPECT_EQ(std::string(text), expected.substr(0, expected.find('\0')));
    }
}

TEST(BlowFish, OnlyKeyBytes4To67OfALongKeyMatter) {
    const std::string plain = Pattern(33);
    std::string key(80, 'a');
    for (std::size_t i = 0; i < key.size(); ++i)
        key[i] = static_cast<char>('!' + (i * 11) % 90);
    const std::string reference = Str(Seal(key.c_str(), plain));

    for (std::size_t i : {0u, 1u, 3u, 68u, 70u, 71u, 72u, 79u}) {
        SCOPED_TRACE(i);
        std::string other = key;
        other[i] = other[i] == 'Z' ? 'Y' : 'Z';
        EXPECT_EQ(Str(Seal(other.c_str(), plain)), reference);
        zel::Array<unsigned char> out;
        EXPECT_TRUE(zel::BlowFish::Decrypt(other.c_str(), Bytes(reference),
                                           static_cast<int>(reference.size()), out));
        EXPECT_EQ(Str(out), plain);
    }
    for (std::size_t i : {4u, 5u, 35u, 66u, 67u}) {
        SCOPED_TRACE(i);
        std::string other = key;
        other[i] = other[i] == 'Z' ? 'Y' : 'Z';
        EXPECT_NE(Str(Seal(other.c_str(), plain)), reference);
    }
    // Cut to 68 bytes it is still the same key (its repeated first bytes land in
    // the ignored last word); cut to 67 the repetition reaches a word that counts.
    EXPECT_EQ(Str(Seal(key.substr(0, 72).c_str(), plain)), reference);
    EXPECT_EQ(Str(Seal(key.substr(0, 68).c_str(), plain)), reference);
    EXPECT_NE(Str(Seal(key.substr(0, 67).c_str(), plain)), reference);

    // A short key repeats, so its first bytes come back in later words.
    std::string shortKey = "short key";
    const std::string shortReference = Str(Seal(shortKey.c_str(), plain));
    shortKey[0] = 'S';
    EXPECT_NE(Str(Seal(shortKey.c_str(), plain)), shortReference);
}

TEST(BlowFish, VeryLongKeys) {
    std::string key(70000, 'k');
    for (std::size_t i = 0; i < key.size(); ++i)
        key[i] = static_cast<char>('A' + i % 26);
    const std::string plain = "long key";
    const zel::Array<unsigned char> sealed = Seal(key.c_str(), plain);
    EXPECT_EQ(Str(sealed), Str(Seal(key.substr(0, 72).c_str(), plain)));
    zel::BaseString<char> text;
    ASSERT_TRUE(zel::BlowFish::Decrypt(key.c_str(), sealed, text));
    EXPECT_EQ(std::string(text), plain);
}

TEST(BlowFish, KeyBytesAreUnsigned) {
    // Bytes above 0x7F must not be sign-extended into the neighbouring bytes of
    // the key word: keys differing only there give different cipher texts.
    const std::string plain = "bytes";
    EXPECT_NE(Str(Seal("\xFF\x01\x01\x01", plain)), Str(Seal("\xFF\xFF\xFF\xFF", plain)));
    zel::Array<unsigned char> out;
    const zel::Array<unsigned char> sealed = Seal("\x80\xFF\xC3\xA9", plain);
    ASSERT_TRUE(zel::BlowFish::Decrypt("\x80\xFF\xC3\xA9", sealed, 16, out));
    EXPECT_EQ(Str(out), plain);
}

TEST(BlowFish, ObjectsAssignNothing) {
    zel::BlowFish a;
    zel::BlowFish b(a);
    a = b;
    a = std::move(b);
    EXPECT_EQ(sizeof(zel::BlowFish), 1u);
}

TEST(BlowFishThread, ConcurrentCallsAgree) {
    const std::string plain = Pattern(200);
    const std::string expected = Str(Seal("shared", plain));
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) {
                zel::Array<unsigned char> sealed = Seal("shared", plain);
                zel::Array<unsigned char> back;
                if (Str(sealed) != expected ||
                    !zel::BlowFish::Decrypt("shared", sealed, static_cast<int>(sealed.Size()),
                                            back) ||
                    Str(back) != plain)
                    ++failures[t];
            }
        });
    }
    for (std::thread& th : threads)
        th.join();
    for (int f : failures)
        EXPECT_EQ(f, 0);
}

} // namespace
