// Decrypt(Encrypt(x)) gives back x for every key and x, in both forms: the first
// input byte gives the key length, the following bytes the key, the rest x.
#include "zel/BlowFish.h"

#include "CipherInput.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CipherInput input;
    if (!input.Read(data, size))
        return 0;
    const std::string& key = input.key;
    data = input.data;
    size = input.size;
    const bool keyUsable = !key.empty() && key[0] != '\0';

    zel::Array<unsigned char> plain;
    plain.SetSize(static_cast<unsigned int>(size));
    if (size != 0)
        std::memcpy(plain.Data(), data, size);

    // Byte form.
    zel::Array<unsigned char> sealed;
    zel::BlowFish::Encrypt(key.c_str(), plain, static_cast<int>(size), sealed);
    if (!keyUsable || size == 0) {
        if (sealed.Size() != 0)
            __builtin_trap();
        return 0;
    }
    if (sealed.Size() != ((size + 7) & ~std::size_t(7)) + 8)
        __builtin_trap();
    zel::Array<unsigned char> back;
    if (!zel::BlowFish::Decrypt(key.c_str(), sealed, static_cast<int>(sealed.Size()), back) ||
        back.Size() != size || std::memcmp(back.Data(), data, size) != 0)
        __builtin_trap();

    // The bytes read back as a text: x up to its first zero byte.
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string expected = text.substr(0, text.find('\0'));
    zel::BaseString<char> textBack;
    if (!zel::BlowFish::Decrypt(key.c_str(), sealed, textBack) ||
        expected != static_cast<const char*>(textBack))
        __builtin_trap();

    // Text form.
    zel::BlowFish::Encrypt(key.c_str(), text.c_str(), sealed);
    const bool found = zel::BlowFish::Decrypt(key.c_str(), sealed, textBack);
    if (expected.empty()) {
        if (sealed.Size() != 0 || found)
            __builtin_trap();
    } else if (!found || expected != static_cast<const char*>(textBack)) {
        __builtin_trap();
    }
    return 0;
}
