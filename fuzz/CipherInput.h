// The input layout of the cipher fuzz targets: the first byte gives the key
// length, the following bytes the key (zeros allowed, so a key may end early),
// and the rest is the data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct CipherInput {
    std::string key;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;

    // False for an empty input, which the targets skip.
    bool Read(const std::uint8_t* input, std::size_t inputSize) {
        if (inputSize == 0)
            return false;
        std::size_t keyLength = input[0];
        ++input;
        --inputSize;
        if (keyLength > inputSize)
            keyLength = inputSize;
        key.assign(reinterpret_cast<const char*>(input), keyLength);
        data = input + keyLength;
        size = inputSize - keyLength;
        return true;
    }
};
