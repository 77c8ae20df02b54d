// Splitting a directory search pattern into the folder to open and the
// pattern to match, against a plain reference. Input: one byte choosing the
// separator ('/' or '\\'), then the pattern text (up to its first NUL).
// Checks: the pattern lies inside the text and holds no separator; folder,
// separator and pattern give back the text; the folder is the root for a text
// that starts with its only separator, and "none" for a text without one.
#include "base/SearchPattern.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

struct Parts {
    std::string folder; // "." when the text names no folder
    std::string pattern;
};

Parts Reference(const std::string& query, char separator) {
    std::size_t last = std::string::npos;
    for (std::size_t i = 0; i < query.size(); ++i)
        if (query[i] == separator)
            last = i;
    if (last == std::string::npos)
        return {".", query};
    return {last == 0 ? std::string(1, separator) : query.substr(0, last), query.substr(last + 1)};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const char separator = (data[0] & 1) != 0 ? '\\' : '/';
    // Exactly as long as the text plus its NUL, so that an overread trips ASan.
    const std::size_t length = strnlen(reinterpret_cast<const char*>(data + 1), size - 1);
    char* query = new char[length + 1];
    std::memcpy(query, data + 1, length);
    query[length] = '\0';

    std::size_t folderLength = 99;
    const char* pattern = zel::base::SplitSearchPattern(query, separator, folderLength);
    Check(pattern >= query && pattern <= query + length);
    Check(std::strchr(pattern, separator) == nullptr);
    Check(folderLength <= length);
    const Parts parts = Reference(std::string(query, length), separator);
    Check(parts.pattern == pattern);
    const std::string folder = folderLength == 0 ? "." : std::string(query, folderLength);
    Check(parts.folder == folder);
    // Nothing is lost: the folder (none, or the root) and the pattern give back the text.
    if (folderLength == 0)
        Check(pattern == query);
    else
        Check(pattern[-1] == separator &&
              (static_cast<std::size_t>(pattern - query) == folderLength + 1 ||
               (pattern == query + 1 && folderLength == 1)));
    delete[] query;
    return 0;
}
