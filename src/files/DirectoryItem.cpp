#include "zel/Directory.h"

#include "files/NameOrder.h"

#include <new>
#include <utility>

namespace zel {

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

DirectoryItem::~DirectoryItem() {}

bool DirectoryItem::operator==(const DirectoryItem& other) const {
    if (!m_compareByName)
        return m_fileTime == other.m_fileTime;
    return detail::CaseBlindOrder(m_name, other.m_name) == 0;
}

bool DirectoryItem::operator<(const DirectoryItem& other) const {
    if (!m_compareByName)
        return m_fileTime > other.m_fileTime; // newer first
    return detail::CaseBlindOrder(m_name, other.m_name) < 0;
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

namespace detail {

void SwapDirectoryItems(DirectoryItem& a, DirectoryItem& b) noexcept {
    if (&a == &b)
        return;
    std::swap(a.m_size, b.m_size);
    std::swap(a.m_fileTime, b.m_fileTime);
    std::swap(a.m_isDirectory, b.m_isDirectory);
    std::swap(a.m_isReadOnly, b.m_isReadOnly);
    std::swap(a.m_compareByName, b.m_compareByName);
    // BaseString has a move constructor but no move assignment: the names change
    // places by rebuilding the members, which hands the buffers over.
    BaseString<char> name(std::move(a.m_name));
    a.m_name.~BaseString<char>();
    new (&a.m_name) BaseString<char>(std::move(b.m_name));
    b.m_name.~BaseString<char>();
    new (&b.m_name) BaseString<char>(std::move(name));
}

} // namespace detail
} // namespace zel
