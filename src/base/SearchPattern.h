// The two parts of a search pattern such as "dir/sub/x?.txt": the folder
// to open and the pattern its entries are matched against. Pure text work, shared
// by the POSIX directory search and the tests.
#pragma once

#include <cstddef>
#include <cstring>

namespace zel {
namespace base {

// The pattern is what follows the last `separator` (the whole text when there is
// none). The folder is the text before that separator: returned as its length
// in `query`, and 1 (the separator itself, the root) when the separator is the
// first character; 0 means there is no separator and the folder is the current
// one. An empty pattern (a text ending in the separator) is the caller's to
// refuse. `query` must not be null.
inline const char* SplitSearchPattern(const char* query, char separator,
                                      std::size_t& folderLength) {
    const char* last = std::strrchr(query, separator);
    if (last == nullptr) {
        folderLength = 0;
        return query;
    }
    folderLength = last == query ? 1 : static_cast<std::size_t>(last - query);
    return last + 1;
}

} // namespace base
} // namespace zel
