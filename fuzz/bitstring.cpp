// BitString::FromString against a plain model of its rule. Input: one byte for
// the bit count (0..79), one byte for the starting bits, then the text (up to
// its first NUL). Checks: the result and every bit after the call match the
// model, the bit count never changes, and a text the string accepted reads back
// through AsString as the model's bits.
#include "zel/BitString.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

// The rule, written out: "0" clears every bit; a text in brackets has two more
// characters than bits, any other text exactly as many; inside, '[' and ']' keep
// their bit, '1' sets it and anything else clears it.
bool Reference(std::vector<bool>& bits, const std::string& text) {
    if (text == "0") {
        bits.assign(bits.size(), false);
        return true;
    }
    const bool bracketed = text.size() >= 2 && text.front() == '[' && text.back() == ']';
    if (text.size() != bits.size() + (bracketed ? 2 : 0))
        return false;
    for (std::size_t i = 0; i < bits.size(); ++i) {
        const char c = text[bracketed ? i + 1 : i];
        if (c != '[' && c != ']')
            bits[i] = c == '1';
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const int numBits = data[0] % 80;
    const unsigned seed = data[1];
    const std::string text(reinterpret_cast<const char*>(data + 2),
                           strnlen(reinterpret_cast<const char*>(data + 2), size - 2));

    zel::BitString bits(numBits);
    std::vector<bool> model(static_cast<std::size_t>(numBits));
    for (int i = 0; i < numBits; ++i) {
        const bool on = ((seed >> (i % 8)) & 1) != 0;
        bits.SetBit(i, on);
        model[static_cast<std::size_t>(i)] = on;
    }
    const bool accepted = bits.FromString(zel::BaseString<char>(text.c_str()));
    Check(accepted == Reference(model, text));
    Check(bits.NumBits() == numBits);
    for (int i = 0; i < numBits; ++i)
        Check(bits.IsBitOn(i) == model[static_cast<std::size_t>(i)]);

    zel::BaseString<char> shown;
    bits.AsString(shown);
    std::string expected = "[";
    for (bool on : model)
        expected += on ? '1' : '0';
    expected += ']';
    Check(std::strcmp(shown, expected.c_str()) == 0);
    // What AsString wrote is always accepted, and changes nothing.
    Check(bits.FromString(shown));
    for (int i = 0; i < numBits; ++i)
        Check(bits.IsBitOn(i) == model[static_cast<std::size_t>(i)]);
    return 0;
}
