// Wildcard matching of one name against the last component of a search
// pattern: "*" matches any run of characters (none included), "?" exactly one,
// every other character itself without regard to ASCII case. "*.*" matches every
// name, as on Windows. Pure logic in the leaf folder, so that the POSIX directory
// search (which has no matcher of the system's) and the tests share one matcher;
// exported only so that the test programs can reach it.
#pragma once

#include "zel/Export.h"

namespace zel {
namespace detail {

// True when `name` matches `pattern`. Null arguments match nothing. Takes at most
// about length(name) x length(pattern) steps: a "*" is never retried once a later
// one has matched, so patterns such as "a*a*a*a*b" cannot blow up.
ZEL_API bool MatchWildcard(const char* pattern, const char* name);

// True when `pattern` holds a "*" or a "?".
ZEL_API bool HasWildcard(const char* pattern);

} // namespace detail
} // namespace zel
