// Both Decrypt forms with an arbitrary key and cipher text: the first input byte
// gives the key length, the following bytes the key, the rest the cipher text
// (also tried with a length argument taken from the key length byte).
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
    const std::size_t keyLength = key.size();
    data = input.data;
    size = input.size;

    zel::Array<unsigned char> in;
    in.SetSize(static_cast<unsigned int>(size));
    if (size != 0)
        std::memcpy(in.Data(), data, size);

    zel::BaseString<char> text;
    const bool textFound = zel::BlowFish::Decrypt(key.c_str(), in, text);
    const char* t = text;
    if (t != nullptr && std::strlen(t) > size)
        __builtin_trap();

    zel::Array<unsigned char> bytes;
    const bool bytesFound = zel::BlowFish::Decrypt(key.c_str(), in, static_cast<int>(size), bytes);
    if (textFound != bytesFound || bytes.Size() > size)
        __builtin_trap();

    // Lengths below, at and above the count, negative ones included.
    const int lengths[] = {static_cast<int>(size) - 8, static_cast<int>(size) + 8,
                           -static_cast<int>(keyLength) - 1};
    for (int length : lengths) {
        const bool found = zel::BlowFish::Decrypt(key.c_str(), in, length, bytes);
        if (length < 0 || length > static_cast<int>(size)) {
            if (found || bytes.Size() != 0)
                __builtin_trap();
        }
    }
    return 0;
}
