// The stored format of BlowFish against answers that do not come from the code
// under test: the initial tables against pi computed here, the block function
// (with the variant's three differences switched off) against the published
// Blowfish test vectors, and whole cipher texts against an independent
// implementation of the format.
#include "zel/BlowFish.h"

#include "crypto/BlowFishCore.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

namespace bf = zel::detail::blowfish;

std::vector<unsigned char> FromHex(const std::string& hex) {
    std::vector<unsigned char> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<unsigned char>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

std::string ToHex(const unsigned char* p, std::size_t n) {
    std::string s;
    char digits[3];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(digits, sizeof digits, "%02X", p[i]);
        s += digits;
    }
    return s;
}

std::string ToHex(const zel::Array<unsigned char>& a) {
    return ToHex(a.Data(), a.Size());
}

zel::Array<unsigned char> ToArray(const std::vector<unsigned char>& bytes) {
    zel::Array<unsigned char> a;
    a.SetSize(static_cast<unsigned int>(bytes.size()));
    for (std::size_t i = 0; i < bytes.size(); ++i)
        a[static_cast<unsigned int>(i)] = bytes[i];
    return a;
}

// Pi in base 2^16 fixed point by Machin's formula, pi = 16 atan(1/5) - 4 atan(1/239):
// digit[0] is the integer part, digit[i] the i-th 16-bit fraction digit. 16-bit
// digits keep every division within 32 bits.
using Fixed = std::vector<std::uint32_t>;

// dst = src / d for the digits from `from` on (the digits before are zero in src).
void Divide(const Fixed& src, Fixed& dst, std::uint32_t d, std::size_t from) {
    std::uint32_t rem = 0;
    for (std::size_t i = 0; i < from; ++i)
        dst[i] = 0;
    for (std::size_t i = from; i < src.size(); ++i) {
        const std::uint32_t cur = (rem << 16) | src[i];
        dst[i] = cur / d;
        rem = cur % d;
    }
}

void AddOrSubtract(Fixed& acc, const Fixed& x, bool subtract) {
    std::int64_t carry = 0;
    for (std::size_t i = acc.size(); i-- > 0;) {
        std::int64_t v = std::int64_t(acc[i]) + (subtract ? -std::int64_t(x[i]) : x[i]) + carry;
        carry = 0;
        while (v < 0) {
            v += 0x10000;
            --carry;
        }
        while (v >= 0x10000) {
            v -= 0x10000;
            ++carry;
        }
        acc[i] = static_cast<std::uint32_t>(v);
    }
}

void Multiply(Fixed& x, std::uint32_t m) {
    std::uint32_t carry = 0;
    for (std::size_t i = x.size(); i-- > 0;) {
        const std::uint32_t v = x[i] * m + carry;
        x[i] = v & 0xFFFF;
        carry = v >> 16;
    }
}

Fixed ArcTanOfInverse(std::uint32_t n, std::size_t digits) {
    Fixed sum(digits), power(digits), term(digits);
    power[0] = 1;
    Divide(power, power, n, 0);
    std::size_t first = 0;
    for (std::uint32_t k = 0;; ++k) {
        while (first < digits && power[first] == 0)
            ++first;
        if (first == digits)
            break;
        Divide(power, term, 2 * k + 1, first);
        AddOrSubtract(sum, term, k % 2 == 1);
        Divide(power, power, n * n, first);
    }
    return sum;
}

// The first `words` 32-bit words of the fractional hexadecimal digits of pi.
std::vector<std::uint32_t> PiWords(std::size_t words) {
    const std::size_t digits = 1 + 2 * words + 6; // integer part, fraction, guard digits
    Fixed pi = ArcTanOfInverse(5, digits);
    Multiply(pi, 4);
    AddOrSubtract(pi, ArcTanOfInverse(239, digits), true);
    Multiply(pi, 4);
    EXPECT_EQ(pi[0], 3u);
    std::vector<std::uint32_t> result(words);
    for (std::size_t i = 0; i < words; ++i)
        result[i] = (pi[1 + 2 * i] << 16) | pi[2 + 2 * i];
    return result;
}

TEST(BlowFishFormat, InitialTablesAreTheHexDigitsOfPi) {
    const std::vector<std::uint32_t> pi = PiWords(18 + 4 * 256);
    ASSERT_EQ(pi[0], 0x243F6A88u); // the computation itself
    for (int i = 0; i < 18; ++i)
        EXPECT_EQ(bf::kInitialP[i], pi[i]) << "P[" << i << "]";
    for (int s = 0; s < 4; ++s)
        for (int i = 0; i < 256; ++i)
            EXPECT_EQ(bf::kInitialS[s][i], pi[18 + 256 * s + i]) << "S" << s + 1 << "[" << i << "]";
}

// Runs one 8-byte block through the published algorithm (the variant's three
// differences off), with the block read big-endian as published.
std::string PublishedBlock(const std::vector<unsigned char>& key, const std::string& plainHex,
                           bool encipher) {
    bf::Tables t;
    bf::Schedule<bf::PublishedVariant>(t, key.data(), static_cast<unsigned int>(key.size()));
    const std::vector<unsigned char> p = FromHex(plainHex);
    std::uint32_t l =
        std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
    std::uint32_t r =
        std::uint32_t(p[4]) << 24 | std::uint32_t(p[5]) << 16 | std::uint32_t(p[6]) << 8 | p[7];
    if (encipher)
        bf::Encipher<bf::PublishedVariant>(t, l, r);
    else
        bf::Decipher<bf::PublishedVariant>(t, l, r);
    char out[17];
    std::snprintf(out, sizeof out, "%08lX%08lX", static_cast<unsigned long>(l),
                  static_cast<unsigned long>(r));
    return out;
}

// Eric Young's Blowfish ECB test vectors (key, plain, cipher).
TEST(BlowFishFormat, PublishedVariantMatchesPublishedVectors) {
    struct Case {
        const char* key;
        const char* plain;
        const char* cipher;
    };
    const Case cases[] = {
        {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
        {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
        {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
        {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
        {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
        {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
        {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
        {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
        {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
        {"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
        {"3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB"},
        {"04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A"},
        {"0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918"},
        {"0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98"},
        {"43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5"},
        {"07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79"},
        {"04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3"},
        {"37D06BB516CB7546", "164D5E404F275232", "5F99D04F5B163969"},
        {"1F08260D1AC2465E", "6B056E18759F5CCA", "4A057A3B24D3977B"},
        {"584023641ABA6176", "004BD6EF09176062", "452031C1E4FADA8E"},
        {"025816164629B007", "480D39006EE762F2", "7555AE39F59B87BD"},
        {"49793EBC79B3258F", "437540C8698F3CFA", "53C55F9CB49FC019"},
        {"4FB05E1515AB73A7", "072D43A077075292", "7A8E7BFA937E89A3"},
        {"49E95D6D4CA229BF", "02FE55778117F12A", "CF9C5D7A4986ADB5"},
        {"018310DC409B26D6", "1D9D5C5018F728C2", "D1ABB290658BC778"},
        {"1C587F1C13924FEF", "305532286D6F295A", "55CB3774D13EF201"},
        {"0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2"},
        {"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE"},
        {"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"},
        {"0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4"},
        {"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
        {"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
        {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("key ") + c.key + " plain " + c.plain);
        EXPECT_EQ(PublishedBlock(FromHex(c.key), c.plain, true), c.cipher);
        EXPECT_EQ(PublishedBlock(FromHex(c.key), c.cipher, false), c.plain);
    }
}

// The published variable-length key vectors: prefixes of one key, lengths that
// are not multiples of 4 included, so the key repeats with a shift.
TEST(BlowFishFormat, PublishedVariantMatchesVariableKeyVectors) {
    const std::vector<unsigned char> key =
        FromHex("F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677");
    struct Case {
        std::size_t length;
        const char* cipher;
    };
    const Case cases[] = {
        {1, "F9AD597C49DB005E"}, {2, "E91D21C1D961A6D6"}, {3, "E9C2B70A1BC65CF3"},
        {4, "BE1E639408640F05"}, {5, "B39E44481BDB1E6E"}, {6, "9457AA83B1928C0D"},
        {7, "8BB77032F960629D"}, {8, "E87A244E2CC85E82"}, {24, "05044B62FA52D080"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        const std::vector<unsigned char> prefix(key.begin(), key.begin() + c.length);
        EXPECT_EQ(PublishedBlock(prefix, "FEDCBA9876543210", true), c.cipher);
    }
}

// Whole cipher texts of the library, computed by a separate implementation of
// the format written from its description (and checked against the published
// vectors the same way). These must never change.
struct Pinned {
    std::string key;
    std::string plain;
    const char* cipher;
};

const std::vector<Pinned>& PinnedCases() {
    static const std::vector<Pinned> cases = {
        {"secret", "hello", "DEE0067CFAD37CD09D826072AA225F00"},
        {"K", "12345678", "68FB5E33D5B29F8E4A44333BB7B2DB64"},
        {"ZELBase key", "abcdefghi", "D3B0EC19222E642AFD0A4D33E13CE20B0CACA2FDAE29D3A1"},
        {"0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ!#$%&()*+,-./:;<=>?@[]^_",
         "sixteen bytes!!!", "E53885643967674B8BB39918BA1DF74E1EA7E255010B1B7F"},
        {"\xC3\xA9t\xC3\xA9\xFF\x80",
         std::string("\x00\x01\x02\x03\x04\x05\x06\x07", 8) +
             "\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F\x10\x11\x12\x13\x14"
             "\x15\x16\x17\x18\x19\x1A\x1B\x1C\x1D\x1E\x1F",
         "DC6DFDA0EABB429CC6A0B944FE7BC4AA54715152976E2358159BACD6730C3B48001400FA1703435D"},
        {"fox", "The quick brown fox jumps over the lazy dog",
         "E4000ED4747B86143ACA5815CB2956C880DF9858B6CC0A772EABFEC5CE098CDAFC1B4D63B6B6384CAAC8A354"
         "D35CABA030074091E44D1A2E"},
    };
    return cases;
}

TEST(BlowFishFormat, PinnedCipherTexts) {
    for (const Pinned& c : PinnedCases()) {
        SCOPED_TRACE(c.cipher);
        const std::vector<unsigned char> plain(c.plain.begin(), c.plain.end());
        zel::Array<unsigned char> out;
        zel::BlowFish::Encrypt(c.key.c_str(), ToArray(plain), static_cast<int>(plain.size()), out);
        EXPECT_EQ(ToHex(out), c.cipher);
        if (c.plain.find('\0') == std::string::npos) {
            zel::Array<unsigned char> fromText;
            zel::BlowFish::Encrypt(c.key.c_str(), c.plain.c_str(), fromText);
            EXPECT_EQ(ToHex(fromText), c.cipher);
        }

        const zel::Array<unsigned char> sealed = ToArray(FromHex(c.cipher));
        zel::Array<unsigned char> bytes;
        ASSERT_TRUE(
            zel::BlowFish::Decrypt(c.key.c_str(), sealed, static_cast<int>(sealed.Size()), bytes));
        EXPECT_EQ(ToHex(bytes), ToHex(plain.data(), plain.size()));
    }
}

// A wrong key: "DEE0...5F00" deciphered under "Secret" is, by the independent
// implementation, 27F9C2CD98732C32 28F7C9432B0AAD75 (no zero byte, no magic word).
TEST(BlowFishFormat, WrongKeyOutputs) {
    const zel::Array<unsigned char> sealed = ToArray(FromHex("DEE0067CFAD37CD09D826072AA225F00"));
    zel::Array<unsigned char> bytes;
    EXPECT_FALSE(zel::BlowFish::Decrypt("Secret", sealed, 16, bytes));
    EXPECT_EQ(ToHex(bytes), "28F7C9432B0AAD75");

    zel::BaseString<char> text;
    EXPECT_FALSE(zel::BlowFish::Decrypt("Secret", sealed, text));
    ASSERT_EQ(text.Length(), 16u);
    EXPECT_EQ(ToHex(reinterpret_cast<const unsigned char*>(static_cast<const char*>(text)), 16),
              "27F9C2CD98732C3228F7C9432B0AAD75");
}

// Blocks enciphered under "k" by the independent implementation: the magic word,
// a length word, then "ABCDEFGH".
TEST(BlowFishFormat, HeaderLengthWord) {
    struct Case {
        std::uint32_t length;
        const char* cipher;
        bool found;
        std::string bytes;
        std::string text;
    };
    const std::string header9("\x37\x0E\xCD\xFA\x09", 5);
    const std::string header255("\x37\x0E\xCD\xFA\xFF\xFF\xFF\xFF", 8);
    const Case cases[] = {
        {0, "8AD1166C4A062144B73D2FEDE85B56BA", true, "", ""},
        {8, "8AD1166CC639780082C34A18E85B56BA", true, "ABCDEFGH", "ABCDEFGH"},
        // More than the data holds: refused like a wrong key.
        {9, "8AD1166CDF3392047CC946D0E85B56BA", false, "ABCDEFGH", header9},
        {0xFFFFFFFF, "8AD1166C3FD565578561BB52E85B56BA", false, "ABCDEFGH", header255 + "ABCDEFGH"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        const zel::Array<unsigned char> sealed = ToArray(FromHex(c.cipher));
        zel::Array<unsigned char> bytes;
        EXPECT_EQ(zel::BlowFish::Decrypt("k", sealed, 16, bytes), c.found);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.Data()), bytes.Size()), c.bytes);

        zel::BaseString<char> text;
        EXPECT_EQ(zel::BlowFish::Decrypt("k", sealed, text), c.found);
        ASSERT_NE(static_cast<const char*>(text), nullptr);
        EXPECT_EQ(std::string(text), c.text);
    }
}

} // namespace
