// Escaping of text from others (names in messages, text in log lines): the first
// input byte chooses whether well-formed UTF-8 characters stay, the rest is the
// text. The result holds no control byte (C0, DEL, C1 in UTF-8 or raw), and reading
// every "%XX" as its byte gives the text back.
#include "testing/TestHooks.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The result must decode: '%' only ever starts "%XX", upper-case digits.
bool Decode(const std::string& escaped, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] != '%') {
            out += escaped[i];
            continue;
        }
        if (i + 2 >= escaped.size())
            return false;
        const int high = HexValue(escaped[i + 1]), low = HexValue(escaped[i + 2]);
        if (high < 0 || low < 0)
            return false;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

// Every byte is printable ASCII or part of a well-formed UTF-8 character from
// U+00A0 up: so no C0, DEL, C1 in UTF-8 (C2 80 to C2 9F) nor raw C1 byte.
bool HasControl(const std::string& text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t i = 0; i < text.size();) {
        if (p[i] >= 0x20 && p[i] <= 0x7E) {
            ++i;
            continue;
        }
        std::size_t length = (p[i] & 0xE0) == 0xC0 ? 2 : (p[i] & 0xF0) == 0xE0 ? 3
                             : (p[i] & 0xF8) == 0xF0                        ? 4
                                                                            : 0;
        if (length == 0 || i + length > text.size())
            return true;
        std::uint32_t value = p[i] & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return true;
            value = (value << 6) | (p[i + k] & 0x3F);
        }
        const std::uint32_t least[] = {0, 0, 0xA0, 0x800, 0x10000};
        if (value < least[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return true;
        i += length;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 4096)
        return 0;
    const bool keep = (data[0] & 1) != 0;
    // An exact copy, so that a read past the text is caught.
    std::vector<char> text(data + 1, data + size);
    const char* start = text.empty() ? "" : text.data();
    const std::size_t length =
        zel::detail::EscapeTextForTesting(start, text.size(), keep, nullptr, 0);
    std::vector<char> room(length);
    if (zel::detail::EscapeTextForTesting(start, text.size(), keep, room.data(), room.size()) !=
        length)
        std::abort();
    const std::string escaped(room.begin(), room.end());
    std::string decoded;
    if (HasControl(escaped) || !Decode(escaped, decoded) ||
        decoded != std::string(text.begin(), text.end()))
        std::abort();
    if (!keep) {
        for (char c : escaped)
            if (static_cast<unsigned char>(c) > 0x7E)
                std::abort(); // only printable ASCII without the characters kept
    }
    return 0;
}
