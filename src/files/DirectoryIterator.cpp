#include "zel/Directory.h"

#include "files/DirectorySort.h"
#include "platform/DirSearch.h"
#include "platform/FileSystem.h"
#include "zel/StringUtil.h"

#include <new>
#include <set>
#include <utility>

namespace zel {

namespace {

// An entry's last-write time as seconds since 1970 UTC.
long long ConvertFileTime(const platform::FileStamp& stamp) {
    long long seconds = 0;
    if (!platform::FileStampToSeconds(stamp, seconds))
        throw Exception("vcDirectoryItem::FileTime: Error getting file time.");
    return seconds;
}

long long EntrySize(const platform::FoundEntry& entry) {
    return static_cast<long long>((static_cast<unsigned long long>(entry.sizeHigh) << 32) +
                                  entry.sizeLow);
}

bool EndsWithSeparator(const BaseString<char>& text) {
    const unsigned int length = text.Length();
    return length > 0 && static_cast<const char*>(text)[length - 1] == PATHSEPCHAR;
}

// Removes one trailing separator, if there is one.
void DropTrailingSeparator(BaseString<char>& text) {
    if (EndsWithSeparator(text))
        text.Truncate(text.Length() - 1);
}

// Turns a trimmed path into the search pattern the search runs: a directory lists
// everything in it; anything else is searched as it stands.
void MakeSearchPattern(BaseString<char>& pattern) {
    DropTrailingSeparator(pattern);
    if (platform::StatPath(pattern) == platform::PathKind::Directory) {
        if (!EndsWithSeparator(pattern))
            pattern += PATHSEP;
        pattern += "*";
    }
}

// Ends a search however the scope is left.
class SearchScope {
public:
    explicit SearchScope(platform::SearchHandle handle) : m_handle(handle) {}
    ~SearchScope() { platform::FindClose(m_handle); }
    SearchScope(const SearchScope&) = delete;
    SearchScope& operator=(const SearchScope&) = delete;
    platform::SearchHandle get() const { return m_handle; }

private:
    platform::SearchHandle m_handle;
};

// Appends an item, handing its name buffer to the array's slot.
void Append(Array<DirectoryItem>& items, DirectoryItem&& item) {
    items.SetSize(items.Size() + 1);
    items.Data()[items.Size() - 1] = std::move(item);
}

// `text` with every occurrence of `root` removed, ASCII case ignored, searching
// on after each removed occurrence.
BaseString<char> RemoveOccurrences(const BaseString<char>& text, const char* root) {
    const unsigned int rootLength = util::strlen(root);
    if (rootLength == 0)
        return text;
    BaseString<char> result("");
    const char* rest = text;
    while (const char* found = util::strstrNoCase(rest, root)) {
        result.Append(rest, static_cast<unsigned int>(found - rest));
        rest = found + rootLength;
    }
    result += rest;
    return result;
}

// The text put in front of the names of the files found under `path` in a
// recursive walk (empty: bare names).
BaseString<char> NamePrefix(const BaseString<char>& path, const char* root) {
    BaseString<char> stripped(path);
    DropTrailingSeparator(stripped);
    switch (platform::StatPath(stripped)) {
    case platform::PathKind::Directory:
        return RemoveOccurrences(path, root);
    case platform::PathKind::Other:
        return BaseString<char>("");
    case platform::PathKind::Missing:
    default:
        return stripped;
    }
}

// The state of one recursive walk.
struct Walk {
    Array<DirectoryItem>& items;
    const char* root;
    bool compareByName;
    // Directories entered so far; a directory reached again through a link is skipped.
    std::set<platform::DirectoryId> visited;
};

// Notes a directory as entered; false when it was entered before.
bool Visit(Walk& walk, const platform::DirectoryId& id) {
    try {
        return walk.visited.insert(id).second;
    } catch (const std::bad_alloc&) {
        throw MemoryException();
    }
}

// The directory the walk starts in: `path` itself, or the folder of its pattern.
void MarkStart(Walk& walk, const BaseString<char>& path) {
    BaseString<char> directory(path);
    DropTrailingSeparator(directory);
    if (platform::StatPath(directory) != platform::PathKind::Directory) {
        const int separator = directory.FindLast(PATHSEP);
        if (separator < 0)
            directory = ".";
        else
            directory.Truncate(static_cast<unsigned int>(separator > 0 ? separator : 1));
    }
    platform::DirectoryId id;
    if (platform::IdentifyDirectory(directory, id))
        Visit(walk, id);
}

void WalkDirectory(Walk& walk, const BaseString<char>& path) {
    BaseString<char> pattern(path);
    MakeSearchPattern(pattern);
    platform::FoundEntry entry;
    SearchScope search(platform::FindFirst(pattern, entry));
    if (search.get() == nullptr)
        return;

    // Every file here gets the same prefix: work it out once, at the first file.
    bool havePrefix = false;
    BaseString<char> prefix;
    BaseString<char> name;
    do {
        if (entry.attributes & platform::kAttributeDirectory) {
            if (util::compare(entry.name.c_str(), ".") || util::compare(entry.name.c_str(), ".."))
                continue;
            BaseString<char> child(path);
            if (!EndsWithSeparator(child))
                child += PATHSEP;
            child += entry.name.c_str();
            // A directory that cannot be identified any more (gone, unreadable) is
            // skipped like one that was entered before.
            platform::DirectoryId id;
            if (!platform::IdentifyDirectory(child, id) || !Visit(walk, id))
                continue;
            WalkDirectory(walk, child);
        } else {
            const long long fileTime = ConvertFileTime(entry.lastWrite);
            if (!havePrefix) {
                prefix = NamePrefix(path, walk.root);
                havePrefix = true;
            }
            const char* itemName = entry.name.c_str();
            if (prefix.Length() != 0) {
                name = prefix;
                name += PATHSEP;
                name += entry.name.c_str();
                itemName = name;
            }
            Append(walk.items, DirectoryItem(itemName, fileTime, false,
                                             (entry.attributes & platform::kAttributeReadOnly) != 0,
                                             EntrySize(entry), walk.compareByName));
        }
    } while (platform::FindNext(search.get(), entry));
}

// One level: every entry the search reports, in its order.
void ListOneLevel(Array<DirectoryItem>& items, const BaseString<char>& path, bool compareByName) {
    BaseString<char> pattern(path);
    MakeSearchPattern(pattern);
    platform::FoundEntry entry;
    SearchScope search(platform::FindFirst(pattern, entry));
    if (search.get() == nullptr)
        return;
    do {
        const long long fileTime = ConvertFileTime(entry.lastWrite);
        Append(items, DirectoryItem(entry.name.c_str(), fileTime,
                                    (entry.attributes & platform::kAttributeDirectory) != 0,
                                    (entry.attributes & platform::kAttributeReadOnly) != 0,
                                    EntrySize(entry), compareByName));
    } while (platform::FindNext(search.get(), entry));
}

// The two wildcard lists: the files of a one-level listing or of a whole tree,
// each behind the directory part of `pattern`.
bool CollectFiles(const BaseString<char>& pattern, Array<BaseString<char>>& files,
                  bool compareByName, bool recursive) {
    // Paths stored so far; a failing Add may leave one more, unfilled, element.
    unsigned int stored = 0;
    try {
        files.SetSize(0);
        BaseString<char> directoryPart;
        const int separator = pattern.FindLast(PATHSEP);
        if (separator >= 0) {
            directoryPart = pattern;
            directoryPart.Resize(static_cast<unsigned int>(separator) + 1, false);
        }
        DirectoryIterator iterator(pattern, recursive,
                                   recursive ? static_cast<const char*>(pattern) : nullptr,
                                   compareByName);
        DirectoryItem item;
        BaseString<char> path;
        while (iterator.GetNextItem(item)) {
            if (item.IsDirectory())
                continue;
            path = directoryPart;
            path += item.Name();
            files.Add(path);
            stored = files.Size();
        }
        return stored != 0;
    } catch (Exception& e) {
        files.SetSize(stored);
        e.appendMessage("%s::%s: Exception caught", "DirectoryIterator", "GetWildCardFiles");
        e.rethrow();
    } catch (...) {
        files.SetSize(stored);
        throw Exception("%s::%s: Severe error caught", "DirectoryIterator", "GetWildCardFiles");
    }
    return false; // rethrow() always throws
}

} // namespace

DirectoryIterator::DirectoryIterator(const char* path, bool recursive, const char* root,
                                     bool compareByName)
    : m_items(), m_current(0) {
    if (path == nullptr)
        return;
    BaseString<char> trimmed(path);
    trimmed.TrimLeft();
    trimmed.TrimRight();
    if (recursive)
        BuildRecursive(trimmed, root, compareByName);
    else
        ListOneLevel(m_items, trimmed, compareByName);
    detail::SortDirectoryItems(m_items.Data(), m_items.Size());
}

DirectoryIterator::DirectoryIterator(const DirectoryIterator& other)
    : m_items(other.m_items), m_current(other.m_current) {}

DirectoryIterator& DirectoryIterator::operator=(const DirectoryIterator& other) {
    if (this == &other)
        return *this;
    m_items = other.m_items;
    m_current = other.m_current;
    return *this;
}

DirectoryIterator::~DirectoryIterator() {}

bool DirectoryIterator::GetNextItem(DirectoryItem& item) {
    if (m_current >= m_items.Size())
        return false;
    const unsigned int index = m_current++;
    item = m_items[index];
    return true;
}

void DirectoryIterator::Reset() {
    m_current = 0;
}

long DirectoryIterator::NumMatches() {
    return static_cast<long>(m_items.Size());
}

void DirectoryIterator::BuildRecursive(const char* path, const char* root, bool compareByName) {
    if (path == nullptr)
        return;
    Walk walk{m_items, root, compareByName, {}};
    BaseString<char> start(path);
    MarkStart(walk, start);
    WalkDirectory(walk, start);
}

bool DirectoryIterator::GetWildCardFiles(const BaseString<char>& pattern,
                                         Array<BaseString<char>>& files, bool compareByName) {
    return CollectFiles(pattern, files, compareByName, false);
}

bool DirectoryIterator::GetWildCardFilesFlat(const BaseString<char>& pattern,
                                             Array<BaseString<char>>& files, bool compareByName) {
    return CollectFiles(pattern, files, compareByName, true);
}

} // namespace zel
