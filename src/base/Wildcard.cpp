#include "base/Wildcard.h"

namespace zel {
namespace detail {

namespace {
inline char Fold(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
} // namespace

bool HasWildcard(const char* pattern) {
    if (pattern == nullptr)
        return false;
    for (; *pattern != '\0'; ++pattern) {
        if (*pattern == '*' || *pattern == '?')
            return true;
    }
    return false;
}

bool MatchWildcard(const char* pattern, const char* name) {
    if (pattern == nullptr || name == nullptr)
        return false;
    if (pattern[0] == '*' && pattern[1] == '.' && pattern[2] == '*' && pattern[3] == '\0')
        return true;

    // Greedy scan with one resume point: when a character fails, the most recent
    // "*" absorbs one more character of the name and the text after it is tried
    // again. Earlier stars never need revisiting: whatever a later star could
    // match, matching the text between the stars as early as possible leaves the
    // most name for the rest.
    const char* p = pattern;
    const char* n = name;
    const char* starPattern = nullptr; // just after the most recent '*'
    const char* starName = nullptr;    // where the text after it was tried
    while (*n != '\0') {
        if (*p == '*') {
            while (*p == '*')
                ++p;
            if (*p == '\0')
                return true; // a trailing star takes the rest
            starPattern = p;
            starName = n;
        } else if (*p != '\0' && (*p == '?' || Fold(*p) == Fold(*n))) {
            ++p;
            ++n;
        } else if (starPattern != nullptr) {
            p = starPattern;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (*p == '*')
        ++p;
    return *p == '\0';
}

} // namespace detail
} // namespace zel
