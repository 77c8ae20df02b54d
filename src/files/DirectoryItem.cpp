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

} // namespace zel
