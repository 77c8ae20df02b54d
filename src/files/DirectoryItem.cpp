#include "zel/Directory.h"

#include "zel/StringUtil.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

namespace zel {

namespace {

inline int FoldSigned(char c) {
    return (c >= 'A' && c <= 'Z') ? c + 0x20 : static_cast<signed char>(c);
}

// Eight bytes with 'A' to 'Z' turned into 'a' to 'z' and every other byte kept.
inline std::uint64_t FoldWord(std::uint64_t x) {
    const std::uint64_t ones = 0x0101010101010101ull;
    const std::uint64_t high = 0x8080808080808080ull;
    const std::uint64_t low7 = x & ~high;
    // High bit of each byte: at least 'A', then above 'Z' (ASCII bytes only).
    const std::uint64_t atLeastA = low7 + (0x80 - 'A') * ones;
    const std::uint64_t aboveZ = low7 + (0x80 - 'Z' - 1) * ones;
    const std::uint64_t upper = atLeastA & ~aboveZ & ~x & high;
    return x | (upper >> 2);
}

// The order of util::strcasecmp for two names whose lengths are known (an item's
// name never holds a NUL before its end). Sorting a walk compares names that share
// long folder prefixes: those are passed eight folded bytes at a time, within the
// names, before the first difference is looked for byte by byte.
int CaseBlindOrder(const BaseString<char>& left, const BaseString<char>& right) {
    const char* a = left;
    const char* b = right;
    if (a == nullptr || b == nullptr)
        return util::strcasecmp(a, b);
    const unsigned int la = left.Length();
    const unsigned int lb = right.Length();
    const unsigned int n = la < lb ? la : lb;
    unsigned int i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x != y && FoldWord(x) != FoldWord(y))
            break;
    }
    // Up to and including the shorter name's terminator.
    for (; i <= n; ++i) {
        const int x = FoldSigned(a[i]);
        const int y = FoldSigned(b[i]);
        if (x != y || x == 0)
            return x - y;
    }
    return 0;
}

} // namespace

DirectoryItem::DirectoryItem()
    : m_size(0), m_fileTime(0), m_isDirectory(false), m_isReadOnly(false), m_name(""),
      m_compareByName(true) {}

DirectoryItem::DirectoryItem(const char* name, long long fileTime, bool isDirectory,
                             bool isReadOnly, long long size, bool compareByName)
    : m_size(size), m_fileTime(fileTime), m_isDirectory(isDirectory), m_isReadOnly(isReadOnly),
      m_name(name), m_compareByName(compareByName) {}

DirectoryItem::DirectoryItem(const DirectoryItem& other)
    : m_size(other.m_size), m_fileTime(other.m_fileTime), m_isDirectory(other.m_isDirectory),
      m_isReadOnly(other.m_isReadOnly), m_name(other.m_name),
      m_compareByName(other.m_compareByName) {}

DirectoryItem::DirectoryItem(DirectoryItem&& other) noexcept
    : m_size(other.m_size), m_fileTime(other.m_fileTime), m_isDirectory(other.m_isDirectory),
      m_isReadOnly(other.m_isReadOnly), m_name(std::move(other.m_name)),
      m_compareByName(other.m_compareByName) {}

DirectoryItem& DirectoryItem::operator=(const DirectoryItem& other) {
    if (this == &other)
        return *this;
    // The name first: when its copy throws, the item stays as it was.
    m_name = other.m_name;
    m_size = other.m_size;
    m_fileTime = other.m_fileTime;
    m_isDirectory = other.m_isDirectory;
    m_isReadOnly = other.m_isReadOnly;
    m_compareByName = other.m_compareByName;
    return *this;
}

DirectoryItem& DirectoryItem::operator=(DirectoryItem&& other) noexcept {
    if (this == &other)
        return *this;
    // BaseString has no move assignment: hand the buffer over by rebuilding the member.
    m_name.~BaseString<char>();
    new (&m_name) BaseString<char>(std::move(other.m_name));
    m_size = other.m_size;
    m_fileTime = other.m_fileTime;
    m_isDirectory = other.m_isDirectory;
    m_isReadOnly = other.m_isReadOnly;
    m_compareByName = other.m_compareByName;
    return *this;
}

DirectoryItem::~DirectoryItem() {}

bool DirectoryItem::operator==(const DirectoryItem& other) const {
    if (!m_compareByName)
        return m_fileTime == other.m_fileTime;
    return CaseBlindOrder(m_name, other.m_name) == 0;
}

bool DirectoryItem::operator<(const DirectoryItem& other) const {
    if (!m_compareByName)
        return m_fileTime > other.m_fileTime; // newer first
    return CaseBlindOrder(m_name, other.m_name) < 0;
}

void DirectoryItem::AppendToName(const char* text) {
    m_name += text;
}

const char* DirectoryItem::Name() const {
    return m_name;
}
long long DirectoryItem::Size() const {
    return m_size;
}
long long DirectoryItem::FileTime() const {
    return m_fileTime;
}
bool DirectoryItem::IsDirectory() const {
    return m_isDirectory;
}
bool DirectoryItem::IsReadOnly() const {
    return m_isReadOnly;
}

} // namespace zel
