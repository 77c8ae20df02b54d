// Every number parser over arbitrary bytes: no crash, no read outside the text,
// no signed overflow, end pointers inside the text, and the writers bounded.
#include "zel/NumberUtil.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void CheckEnd(const char* text, std::size_t length, const char* end) {
    if (end < text || end > text + length)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The text exactly as long as the input plus its NUL, so any overread trips ASan.
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    const char* t = text.data();
    const std::size_t length = std::strlen(t);
    char* end = nullptr;

    const int i = zel::util::stringToInteger(t, &end);
    CheckEnd(t, length, end);
    const long long l = zel::util::stringToInt64(t, &end);
    CheckEnd(t, length, end);
    const double d = zel::util::stringToDouble(t, &end);
    CheckEnd(t, length, end);
    zel::util::stringToBoolean(t, &end);
    CheckEnd(t, length, end);
    zel::util::canCoerceToInteger(t, false);
    zel::util::canCoerceToInteger(t, true);
    zel::util::isnumeric(t);

    // atoh reads exactly `size` bytes (NULs included) into ceil(size / 2) + 1.
    std::vector<char> hex(data, data + size);
    std::vector<char> out(size / 2 + 2);
    const int n = zel::util::atoh(hex.data(), static_cast<int>(size), out.data());
    if (n != static_cast<int>((size + 1) / 2) || out[static_cast<std::size_t>(n)] != '\0')
        std::abort();

    // The writers with every small size: always terminated within the size.
    char buffer[400];
    const unsigned sizes[] = {1, 2, 5, 21, sizeof buffer};
    for (unsigned s : sizes) {
        std::vector<char> small(s);
        zel::util::Int64ToStr(s % 2 ? l : i, small.data(), s);
        if (small[s - 1] != '\0')
            std::abort();
        zel::util::doubleToString(d, small.data(), s);
        if (small[s - 1] != '\0')
            std::abort();
    }
    return 0;
}
