// Both splitters over arbitrary bytes. Input: one flag byte (trim), one byte
// giving the delimiter/separator length (0 means null), those bytes, then the text.
// Checks: no crash or overread, and splitString's pieces joined with the
// separator give back the text (less a trailing separator).
#include "zel/SplitUtil.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const bool trim = data[0] & 1;
    std::size_t delimiterLength = data[1] % 6;
    data += 2;
    size -= 2;
    if (delimiterLength > size)
        delimiterLength = size;
    std::vector<char> delimiters(data, data + delimiterLength);
    delimiters.push_back('\0');
    std::vector<char> text(data + delimiterLength, data + size);
    text.push_back('\0');
    const char* sep = delimiterLength != 0 ? delimiters.data() : nullptr;

    zel::Array<zel::BaseString<char>> list;
    zel::util::singleStringToMultipleStrings(text.data(), sep, list, trim);
    std::size_t total = 0;
    for (unsigned i = 0; i < list.Size(); ++i)
        total += zel::util::strlen(static_cast<const char*>(list[i]));
    if (total > std::strlen(text.data()))
        std::abort();

    list.SetSize(0);
    list.Add("kept");
    zel::util::splitString(text.data(), sep, list);
    if (list.Size() == 0 || std::strcmp(list[0], "kept") != 0)
        std::abort();
    const std::string whole(text.data());
    const std::string separator(sep != nullptr ? sep : "");
    std::string joined;
    for (unsigned i = 1; i < list.Size(); ++i) {
        if (i > 1)
            joined += separator;
        const char* piece = list[i];
        joined += piece != nullptr ? piece : "";
    }
    if (joined != whole && joined + separator != whole)
        std::abort();
    return 0;
}
