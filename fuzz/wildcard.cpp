// Wildcard matching against a plain dynamic-programming matcher: the input is a
// pattern and a name separated by the first NUL byte.
#include "base/Wildcard.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

char fold(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool reference(const std::string& p, const std::string& n) {
    if (p == "*.*")
        return true;
    // can[j]: the pattern so far matches the first j characters of the name.
    std::vector<char> can(n.size() + 1, 0), next(n.size() + 1, 0);
    can[0] = 1;
    for (char pc : p) {
        if (pc == '*') {
            next[0] = can[0];
            for (std::size_t j = 1; j <= n.size(); ++j)
                next[j] = next[j - 1] || can[j];
        } else {
            next[0] = 0;
            for (std::size_t j = 1; j <= n.size(); ++j)
                next[j] = can[j - 1] && (pc == '?' || fold(pc) == fold(n[j - 1]));
        }
        can.swap(next);
    }
    return can[n.size()] != 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 512)
        return 0;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    if (split == std::string::npos)
        return 0;
    const std::string pattern = input.substr(0, split);
    std::string name = input.substr(split + 1);
    name = name.substr(0, name.find('\0'));
    if (zel::detail::MatchWildcard(pattern.c_str(), name.c_str()) != reference(pattern, name))
        std::abort();
    return 0;
}
