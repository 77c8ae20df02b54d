// What the listings note of what they could not read, the walk limits of a
// thread, and the steps every walk shares.
#include "files/WalkParts.h"

#include "base/Wildcard.h"

#include <cstring>
#include <new>
#include <utility>

namespace zel {

namespace {

// What the listings of one thread could not read, while a DirectorySkips lives.
struct SkippedEntry {
    detail::LibraryString path;
    int error;
    bool isLink;
};
struct SkipRecord {
    unsigned long entries = 0;
    detail::LibraryVector<detail::LibraryString> directories;
    detail::LibraryVector<detail::LibraryString> repeated;
    detail::LibraryVector<SkippedEntry> named;
};
thread_local SkipRecord* t_skips = nullptr;

// The limits the walks of one thread obey, while a DirectoryWalkLimits lives.
thread_local const DirectoryWalkLimits* t_limits = nullptr;

} // namespace

namespace walk {

void NoteUnreadableEntries(const platform::DirListing& listing, const char* directory,
                           std::size_t directoryLength) {
    SkipRecord* record = t_skips;
    if (record == nullptr || listing.unreadable.empty())
        return;
    record->entries += static_cast<unsigned long>(listing.unreadable.size());
    try {
        for (const platform::DirListing::Unreadable& entry : listing.unreadable) {
            if (record->named.size() >= DirectorySkips::kNamedEntriesMost)
                break;
            SkippedEntry named{detail::LibraryString(directory, directoryLength), entry.error,
                               entry.isLink};
            if (directoryLength != 0 && directory[directoryLength - 1] != PATHSEPCHAR)
                named.path.push_back(PATHSEPCHAR);
            named.path.append(listing.Name(entry));
            record->named.push_back(std::move(named));
        }
    } catch (const std::bad_alloc&) {
        throw MemoryException();
    }
}

void NoteUnreadableDirectory(const char* path) {
    if (t_skips == nullptr)
        return;
    ++t_skips->entries;
    try {
        t_skips->directories.emplace_back(path != nullptr ? path : "");
    } catch (const std::bad_alloc&) {
        throw MemoryException();
    }
}

void NoteRepeatedFolder(const char* path) {
    if (t_skips == nullptr)
        return;
    try {
        t_skips->repeated.emplace_back(path != nullptr ? path : "");
    } catch (const std::bad_alloc&) {
        throw MemoryException();
    }
}

const DirectoryWalkLimits* CurrentLimits() {
    return t_limits;
}

SearchPlan PlanSearch(const BaseString<char>& path) {
    SearchPlan plan{path, platform::PathKind::Missing};
    DropTrailingSeparator(plan.pattern);
    plan.kind = platform::StatPath(plan.pattern);
    if (plan.kind == platform::PathKind::Directory) {
        if (!EndsWithSeparator(plan.pattern))
            plan.pattern += PATHSEP;
        plan.pattern += "*";
    }
    return plan;
}

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\t';
}

} // namespace

// A folder named in another letter case. Where the file system tells cases apart
// (Linux), a path whose last name (before one trailing separator) spells a folder
// in other letters names nothing, and its search would find that folder as one
// entry, the last name being looked up without regard to case. When the path
// names nothing as written, its last name holds no wildcard, and that lookup
// finds exactly one entry, a folder, the name's letters become the folder's own
// (only ASCII case differs, so the length stays): the path then lists what is in
// the folder, as on Windows, and paths made from it name existing files. Blanks
// around the path stay. Windows finds such a folder by itself: its status call
// ignores case, so nothing is looked up there.
void MatchFolderCase(BaseString<char>& path) {
    const char* text = path;
    if (text == nullptr)
        return;
    unsigned int begin = 0;
    unsigned int end = path.Length();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    if (end > begin && text[end - 1] == PATHSEPCHAR)
        --end;
    if (end == begin)
        return;
    const BaseString<char> named(detail::LibraryString(text + begin, end - begin).c_str());
    if (platform::StatPath(named) != platform::PathKind::Missing)
        return;
    const int separator = named.FindLast(PATHSEP);
    const unsigned int nameAt = separator < 0 ? 0 : static_cast<unsigned int>(separator) + 1;
    const char* name = static_cast<const char*>(named) + nameAt;
    if (*name == '\0' || detail::HasWildcard(name))
        return;
    platform::DirListing listing;
    if (platform::Search(named, listing, platform::Detail::Types) != platform::DirStatus::Done ||
        listing.entries.size() != 1 || !listing.entries[0].isDirectory)
        return;
    const char* found = listing.Name(listing.entries[0]);
    const std::size_t length = std::strlen(found);
    if (length != end - begin - nameAt ||
        !util::nCompareNoCase(found, name, static_cast<unsigned int>(length)))
        return;
    std::memcpy(path.m_buffer + begin + nameAt, found, length);
}

// Opens the subdirectory `name` of `parent` (the walk's current directory, at
// the top of `stack`), whose path is `path`, for a walk to enter: null when it
// must not be entered. A directory that cannot be opened is noted as unreadable,
// one entered already as a route not taken; a link back up, and another volume
// where the walk keeps to one, are left out silently.
platform::OpenDir* OpenNewDirectory(platform::OpenDir* parent, const char* name,
                                    const BaseString<char>& path, const WalkStack& stack,
                                    const IdSet& visited, bool oneFileSystem,
                                    unsigned long long volume, platform::DirectoryId& id) {
    platform::OpenDir* child = nullptr;
    if (platform::OpenSubdirectory(parent, name, child, id) != platform::DirStatus::Done) {
        NoteUnreadableDirectory(path); // refused, or gone meanwhile
        return nullptr;
    }
    DirCloser closer(child);
    if (stack.Holds(id))
        return nullptr; // a link back up: following it would never end
    if (oneFileSystem && id.volume != volume)
        return nullptr;
    if (visited.count(id) != 0) {
        NoteRepeatedFolder(path);
        return nullptr;
    }
    return closer.Release();
}

void ReadFrame(Frame& frame, const BaseString<char>& path, platform::Detail detail) {
    const platform::DirStatus status = platform::ReadDirectory(frame.dir, frame.listing, detail);
    NoteUnreadableEntries(frame.listing, path, path.Length());
    if (status != platform::DirStatus::Done)
        NoteUnreadableDirectory(path);
}

Frame* EnterStart(const BaseString<char>& directory, const BaseString<char>& path, WalkStack& stack,
                  IdSet& visited, bool onRoute, platform::DirectoryId& id, bool& oneFileSystem) {
    platform::OpenDir* dir = nullptr;
    const platform::DirStatus status = platform::OpenDirectory(directory, dir, id);
    if (status != platform::DirStatus::Done) {
        if (status == platform::DirStatus::Unreadable)
            NoteUnreadableDirectory(path);
        return nullptr;
    }
    if (id == platform::DirectoryId())
        oneFileSystem = false;
    DirCloser closer(dir);
    visited.insert(id);
    return &stack.Push(closer.Release(), id, path.Length(), onRoute);
}

} // namespace walk

DirectorySkips::DirectorySkips() : m_record(nullptr), m_outer(t_skips) {
    SkipRecord* record = nullptr;
    try {
        record = detail::MakeObject<SkipRecord>();
    } catch (const std::bad_alloc&) {
        throw MemoryException();
    }
    m_record = record;
    t_skips = record;
}

DirectorySkips::~DirectorySkips() {
    if (t_skips == m_record)
        t_skips = static_cast<SkipRecord*>(m_outer);
    detail::DeleteObject(static_cast<SkipRecord*>(m_record));
}

unsigned long DirectorySkips::Entries() const {
    return static_cast<const SkipRecord*>(m_record)->entries;
}

unsigned long DirectorySkips::Directories() const {
    return static_cast<unsigned long>(static_cast<const SkipRecord*>(m_record)->directories.size());
}

const char* DirectorySkips::Directory(unsigned long index) const {
    const SkipRecord* record = static_cast<const SkipRecord*>(m_record);
    return index < record->directories.size() ? record->directories[index].c_str() : nullptr;
}

unsigned long DirectorySkips::RepeatedFolders() const {
    return static_cast<unsigned long>(static_cast<const SkipRecord*>(m_record)->repeated.size());
}

unsigned long DirectorySkips::NamedEntries() const {
    return static_cast<unsigned long>(static_cast<const SkipRecord*>(m_record)->named.size());
}

const char* DirectorySkips::Entry(unsigned long index) const {
    const SkipRecord* record = static_cast<const SkipRecord*>(m_record);
    return index < record->named.size() ? record->named[index].path.c_str() : nullptr;
}

int DirectorySkips::EntryError(unsigned long index) const {
    const SkipRecord* record = static_cast<const SkipRecord*>(m_record);
    return index < record->named.size() ? record->named[index].error : 0;
}

bool DirectorySkips::EntryIsLink(unsigned long index) const {
    const SkipRecord* record = static_cast<const SkipRecord*>(m_record);
    return index < record->named.size() && record->named[index].isLink;
}

const char* DirectorySkips::RepeatedFolder(unsigned long index) const {
    const SkipRecord* record = static_cast<const SkipRecord*>(m_record);
    return index < record->repeated.size() ? record->repeated[index].c_str() : nullptr;
}

DirectoryWalkLimits::DirectoryWalkLimits(long maxDepth, bool oneFileSystem)
    : m_maxDepth(maxDepth < 0 ? -1 : maxDepth), m_oneFileSystem(oneFileSystem), m_outer(t_limits) {
    t_limits = this;
}

DirectoryWalkLimits::~DirectoryWalkLimits() {
    if (t_limits == this)
        t_limits = static_cast<const DirectoryWalkLimits*>(m_outer);
}

long DirectoryWalkLimits::MaxDepth() const {
    return m_maxDepth;
}

bool DirectoryWalkLimits::OneFileSystem() const {
    return m_oneFileSystem;
}

} // namespace zel
