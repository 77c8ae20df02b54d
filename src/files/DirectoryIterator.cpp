#include "zel/Directory.h"

#include "base/LibraryAllocator.h"
#include "base/Wildcard.h"
#include "files/DirectorySort.h"
#include "files/NameOrder.h"
#include "platform/DirSearch.h"
#include "platform/FileSystem.h"
#include "zel/StringUtil.h"

#include <algorithm>
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

// The entries of `listing` whose status could not be read; `directory` is the
// path text of their directory (its separator may be left off).
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

// A second route to a folder the walk has entered already, not taken.
void NoteRepeatedFolder(const char* path) {
    if (t_skips == nullptr)
        return;
    try {
        t_skips->repeated.emplace_back(path != nullptr ? path : "");
    } catch (const std::bad_alloc&) {
        throw MemoryException();
    }
}

// An entry's last-write time as seconds since 1970 UTC.
long long FileTimeOf(const platform::DirEntry& entry) {
    if (!entry.timeKnown)
        throw Exception("vcDirectoryItem::FileTime: Error getting file time.");
    return entry.seconds;
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

bool IsDotOrDotDot(const char* name) {
    return util::compare(name, ".") || util::compare(name, "..");
}

// Appends an item, handing its name buffer to the array's slot (an item has no
// move operations; the exchange copies no name).
void Append(Array<DirectoryItem>& items, DirectoryItem&& item) {
    items.SetSize(items.Size() + 1);
    detail::SwapDirectoryItems(items.Data()[items.Size() - 1], item);
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

// What a listing makes of a trimmed path: a directory lists everything in it
// (the pattern is the directory, the separator and "*"); anything else is
// searched as it stands (a pattern, or one object).
struct SearchPlan {
    BaseString<char> pattern;
    platform::PathKind kind; // of the path less one trailing separator
};

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

bool IsBlank(char c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\t';
}

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

// Runs the search of a plan made of `path`; notes what could not be read.
void RunSearch(const BaseString<char>& path, const SearchPlan& plan, platform::DirListing& listing,
               platform::Detail detail) {
    const platform::DirStatus status = platform::Search(plan.pattern, listing, detail);
    // The entries' directory: the pattern up to its last separator.
    const int separator = plan.pattern.FindLast(PATHSEP);
    NoteUnreadableEntries(listing, plan.pattern,
                          separator < 0 ? 0 : static_cast<std::size_t>(separator) + 1);
    if (status == platform::DirStatus::Unreadable)
        NoteUnreadableDirectory(path);
}

// What a listing collects: each entry is named `prefix`, the separator and its
// bare name, or its bare name alone when `prefix` is empty.
//
// ItemSink makes the iterator's items.
class ItemSink {
public:
    ItemSink(Array<DirectoryItem>& items, bool compareByName)
        : m_items(items), m_compareByName(compareByName) {}

    // Items keep every entry's size, time and read-only flag.
    platform::Detail Detail() const { return platform::Detail::All; }

    void Add(const BaseString<char>& prefix, const char* name, const platform::DirEntry& entry,
             bool isDirectory) {
        const long long fileTime = FileTimeOf(entry);
        const char* itemName = name;
        if (prefix.Length() != 0) {
            m_scratch = prefix;
            m_scratch += PATHSEP;
            m_scratch += name;
            itemName = m_scratch;
        }
        Append(m_items, DirectoryItem(itemName, fileTime, isDirectory, entry.isReadOnly, entry.size,
                                      m_compareByName));
    }

private:
    Array<DirectoryItem>& m_items;
    bool m_compareByName;
    BaseString<char> m_scratch;
};

// One entry of a wildcard list: where its name (the name an item would have)
// lies in the list's text, and what the sort needs.
struct PathEntry {
    std::size_t offset;
    unsigned int length;
    bool isDirectory;
    long long fileTime;
};

// PathSink gathers a wildcard list: the names in one text, each followed by its
// terminator, and an entry for each. No name is made twice; the paths are made
// once the list is sorted. A list sorted by name needs nothing but the names and
// which entries are directories.
class PathSink {
public:
    PathSink(detail::LibraryVector<PathEntry>& entries, detail::LibraryString& text,
             bool compareByName)
        : m_entries(entries), m_text(text), m_compareByName(compareByName) {}

    platform::Detail Detail() const {
        return m_compareByName ? platform::Detail::Types : platform::Detail::All;
    }

    void Add(const BaseString<char>& prefix, const char* name, const platform::DirEntry& entry,
             bool isDirectory) {
        PathEntry made;
        made.fileTime = FileTimeOf(entry);
        made.isDirectory = isDirectory;
        made.offset = m_text.size();
        const std::size_t prefixLength = prefix.Length();
        if (prefixLength != 0) {
            m_text.append(static_cast<const char*>(prefix), prefixLength);
            m_text.push_back(PATHSEPCHAR);
        }
        m_text.append(name);
        const std::size_t length = m_text.size() - made.offset;
        m_text.push_back('\0');
        if (length > BaseString<char>::kMaxLength)
            throw MemoryException();
        made.length = static_cast<unsigned int>(length);
        m_entries.push_back(made);
    }

private:
    detail::LibraryVector<PathEntry>& m_entries;
    detail::LibraryString& m_text;
    bool m_compareByName;
};

// One level: every entry the search reports, in its order.
template <typename Sink> void ListOneLevel(Sink& sink, const BaseString<char>& path) {
    try {
        platform::DirListing listing;
        RunSearch(path, PlanSearch(path), listing, sink.Detail());
        const BaseString<char> none; // no prefix
        for (const platform::DirEntry& entry : listing.entries)
            sink.Add(none, listing.Name(entry), entry, entry.isDirectory);
    } catch (const std::bad_alloc&) {
        throw MemoryException();
    }
}

// A walk that starts at a pattern or at one object lists the files of the top
// level only: the names of the directories it finds, put after the pattern, name
// nothing that exists.
template <typename Sink>
void WalkPattern(Sink& sink, const BaseString<char>& path, const SearchPlan& plan) {
    platform::DirListing listing;
    RunSearch(path, plan, listing, sink.Detail());
    BaseString<char> prefix("");
    if (plan.kind == platform::PathKind::Missing) {
        prefix = path;
        DropTrailingSeparator(prefix);
    }
    for (const platform::DirEntry& entry : listing.entries) {
        if (!entry.isDirectory)
            sink.Add(prefix, listing.Name(entry), entry, false);
    }
}

struct IdHash {
    std::size_t operator()(const platform::DirectoryId& id) const {
        return static_cast<std::size_t>(id.index * 0x9E3779B97F4A7C15ull ^ id.volume);
    }
};

using IdSet = detail::LibrarySet<platform::DirectoryId, IdHash>;

// One directory of a walk in progress.
struct Frame {
    platform::OpenDir* dir = nullptr;
    platform::DirectoryId id;
    platform::DirListing listing;
    std::size_t next = 0;        // the entry to take next
    unsigned int pathLength = 0; // of its path text
    // The first directory, or one opened again only as the way to a link taken
    // later: it stays when its entries are done, until the next route needs it.
    bool onRoute = false;
    bool havePrefix = false;
    BaseString<char> prefix;
    // A walk in name order: each entry's key (its name, and a separator after a
    // directory's), and the entries in the order of their keys.
    detail::LibraryString keys;
    detail::LibraryVector<PathEntry> order;
};

// The directories from the walk's start down to the current one. Closes what is
// still open however the walk ends.
class WalkStack {
public:
    WalkStack() = default;
    WalkStack(const WalkStack&) = delete;
    WalkStack& operator=(const WalkStack&) = delete;
    ~WalkStack() {
        while (!m_frames.empty())
            Pop();
    }

    std::size_t Size() const { return m_frames.size(); }
    Frame& Top() { return m_frames.back(); }

    // The current directory or one of its ancestors.
    bool Holds(const platform::DirectoryId& id) const { return m_ancestors.count(id) != 0; }

    // Enters `dir`, which is none of the directories held. Takes `dir` over in any
    // case.
    Frame& Push(platform::OpenDir* dir, const platform::DirectoryId& id, unsigned int pathLength,
                bool onRoute) {
        try {
            m_ancestors.insert(id);
        } catch (...) {
            platform::CloseDirectory(dir);
            throw;
        }
        try {
            m_frames.emplace_back();
        } catch (...) {
            m_ancestors.erase(id);
            platform::CloseDirectory(dir);
            throw;
        }
        Frame& frame = m_frames.back();
        frame.dir = dir;
        frame.id = id;
        frame.pathLength = pathLength;
        frame.onRoute = onRoute;
        return frame;
    }

    void Pop() {
        Frame& frame = m_frames.back();
        platform::CloseDirectory(frame.dir);
        m_ancestors.erase(frame.id);
        m_frames.pop_back();
    }

private:
    detail::LibraryDeque<Frame> m_frames;
    IdSet m_ancestors;
};

// Closes a directory that is not entered.
class DirCloser {
public:
    explicit DirCloser(platform::OpenDir* dir) : m_dir(dir) {}
    DirCloser(const DirCloser&) = delete;
    DirCloser& operator=(const DirCloser&) = delete;
    ~DirCloser() { platform::CloseDirectory(m_dir); }
    platform::OpenDir* Get() const { return m_dir; }
    platform::OpenDir* Release() {
        platform::OpenDir* dir = m_dir;
        m_dir = nullptr;
        return dir;
    }

private:
    platform::OpenDir* m_dir;
};

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

// The walk of a directory tree.
//
// Each directory (its identity: device and inode, volume and file index) is
// entered at most once, whatever the number of routes or links leading to it, so
// the work is bounded by the tree: at most its directories times their entries.
// The walk is depth first, with the directories in progress on a stack of its
// own rather than the call stack, and each directory opened inside its parent, so
// neither the depth of the tree nor the length of its paths limits it.
//
// Links to directories wait until the tree of real directories is done, so a
// directory is listed under its own path when the tree holds it, and under a link
// only when no real route reaches it. The links met are then followed in order of
// their path text, the links met inside those next, and so on. A route not taken
// (a link or route to a directory entered already) is counted by DirectorySkips;
// a link leading back to the current directory or one of its ancestors is left
// out silently, as is a directory past the walk limits of the thread.
//
// A file is named with its directory's path text less every occurrence of the
// root, the separator and its name; an empty prefix gives bare names.
template <typename Sink> class TreeWalk {
public:
    TreeWalk(Sink& sink, const BaseString<char>& path, const char* root)
        : m_sink(sink), m_root(root), m_detail(sink.Detail()), m_text(path) {
        const DirectoryWalkLimits* limits = t_limits;
        if (limits != nullptr) {
            m_maxDepth = limits->MaxDepth();
            m_oneFileSystem = limits->OneFileSystem();
        }
    }

    // Walks from `directory` (written with its trailing separator); `path` is the
    // text the walk was given for it.
    void Run(const BaseString<char>& directory, const BaseString<char>& path) {
        if (m_maxDepth == 0)
            return;
        platform::OpenDir* dir = nullptr;
        platform::DirectoryId id;
        const platform::DirStatus status = platform::OpenDirectory(directory, dir, id);
        if (status != platform::DirStatus::Done) {
            if (status == platform::DirStatus::Unreadable)
                NoteUnreadableDirectory(path);
            return;
        }
        m_volume = id.volume;
        // A start that cannot be identified (Windows) has no volume to keep to.
        if (id == platform::DirectoryId())
            m_oneFileSystem = false;
        DirCloser closer(dir);
        m_visited.insert(id);
        Read(m_stack.Push(closer.Release(), id, m_text.Length(), true));
        for (;;) {
            Frame& frame = m_stack.Top();
            if (frame.next == frame.listing.entries.size()) {
                if (!frame.onRoute)
                    m_stack.Pop();
                else if (!TakeNextRoute())
                    return;
                continue;
            }
            const platform::DirEntry& entry = frame.listing.entries[frame.next++];
            const char* name = frame.listing.Name(entry);
            m_text.Truncate(frame.pathLength);
            if (!entry.isDirectory) {
                if (!frame.havePrefix) {
                    frame.prefix = RemoveOccurrences(m_text, m_root);
                    frame.havePrefix = true;
                }
                m_sink.Add(frame.prefix, name, entry, false);
                continue;
            }
            if (IsDotOrDotDot(name))
                continue;
            // Its files would lie one level below the subdirectory.
            if (m_maxDepth > 0 && m_stack.Size() + 1 > static_cast<unsigned long>(m_maxDepth))
                continue;
            AppendName(name);
            if (entry.isLink)
                m_routes.emplace_back(static_cast<const char*>(m_text), m_text.Length());
            else
                Enter(frame.dir, name);
        }
    }

private:
    void AppendName(const char* name) {
        if (!EndsWithSeparator(m_text))
            m_text += PATHSEP;
        m_text += name;
    }

    // Reads the directory of the frame just entered; notes what could not be read.
    void Read(Frame& frame) {
        const platform::DirStatus status =
            platform::ReadDirectory(frame.dir, frame.listing, m_detail);
        NoteUnreadableEntries(frame.listing, m_text, m_text.Length());
        if (status != platform::DirStatus::Done)
            NoteUnreadableDirectory(m_text);
    }

    // Enters the subdirectory `name` of `parent` (the current directory), whose
    // path is the text, unless the walk has been there.
    void Enter(platform::OpenDir* parent, const char* name) {
        platform::DirectoryId id;
        DirCloser closer(OpenNewDirectory(parent, name, m_text, m_stack, m_visited, m_oneFileSystem,
                                          m_volume, id));
        if (closer.Get() == nullptr)
            return;
        m_visited.insert(id);
        Read(m_stack.Push(closer.Release(), id, m_text.Length(), false));
    }

    // Goes to the next link waiting and follows it: the directories on its way are
    // opened again (those it shares with the route before are kept). False when no
    // link is left.
    bool TakeNextRoute() {
        if (m_nextRoute == m_generationEnd) {
            if (m_generationEnd == m_routes.size())
                return false;
            // The links met while following the ones before, in order of their text.
            std::sort(m_routes.begin() + static_cast<std::ptrdiff_t>(m_generationEnd),
                      m_routes.end());
            m_generationEnd = m_routes.size();
        }
        m_route = m_routes[m_nextRoute++];
        // Back to the deepest directory on the way.
        while (m_stack.Size() > 1) {
            const unsigned int length = m_stack.Top().pathLength;
            if (length < m_route.size() && m_route[length] == PATHSEPCHAR &&
                m_route.compare(0, length, static_cast<const char*>(m_text), length) == 0)
                break;
            m_stack.Pop();
        }
        std::size_t at = m_stack.Top().pathLength;
        for (;;) {
            if (at < m_route.size() && m_route[at] == PATHSEPCHAR)
                ++at;
            const std::size_t end = m_route.find(PATHSEPCHAR, at);
            m_name.assign(m_route, at,
                          end == detail::LibraryString::npos ? detail::LibraryString::npos
                                                             : end - at);
            Frame& top = m_stack.Top();
            m_text.Truncate(top.pathLength);
            AppendName(m_name.c_str());
            if (end == detail::LibraryString::npos) {
                Enter(top.dir, m_name.c_str());
                return true;
            }
            // A directory on the way, entered before; the tree may have changed since.
            platform::OpenDir* dir = nullptr;
            platform::DirectoryId id;
            if (platform::OpenSubdirectory(top.dir, m_name.c_str(), dir, id) !=
                platform::DirStatus::Done) {
                NoteUnreadableDirectory(m_text);
                return true;
            }
            DirCloser closer(dir);
            if (m_stack.Holds(id))
                return true;
            m_stack.Push(closer.Release(), id, m_text.Length(), true);
            at = end;
        }
    }

    Sink& m_sink;
    const char* m_root;
    platform::Detail m_detail;
    long m_maxDepth = -1;
    bool m_oneFileSystem = false;
    unsigned long long m_volume = 0;
    // The path text of the current directory: the path as given, then a separator
    // and a name for each level down.
    BaseString<char> m_text;
    WalkStack m_stack;
    IdSet m_visited;
    // The path texts of the links to directories met, to follow once the tree
    // before them is done; [m_nextRoute, m_generationEnd) are in order.
    detail::LibraryVector<detail::LibraryString> m_routes;
    std::size_t m_nextRoute = 0;
    std::size_t m_generationEnd = 0;
    detail::LibraryString m_route;
    detail::LibraryString m_name;
};

template <typename Sink>
void WalkTree(Sink& sink, const BaseString<char>& path, const SearchPlan& plan, const char* root) {
    // The pattern less its "*": the directory, written with a trailing separator.
    BaseString<char> directory(plan.pattern);
    directory.Truncate(directory.Length() - 1);
    TreeWalk<Sink> walk(sink, path, root);
    walk.Run(directory, path);
}

// A recursive listing of a trimmed path.
template <typename Sink> void BuildTree(Sink& sink, const char* path, const char* root) {
    if (path == nullptr)
        return;
    try {
        const BaseString<char> start(path);
        const SearchPlan plan = PlanSearch(start);
        if (plan.kind == platform::PathKind::Directory)
            WalkTree(sink, start, plan, root);
        else if (t_limits == nullptr || t_limits->MaxDepth() != 0)
            WalkPattern(sink, start, plan);
    } catch (const std::bad_alloc&) {
        throw MemoryException();
    }
}

// What the iterator's constructor lists, in the order of the platform.
template <typename Sink>
void BuildList(Sink& sink, const char* path, bool recursive, const char* root) {
    if (path == nullptr)
        return;
    BaseString<char> trimmed(path);
    trimmed.TrimLeft();
    trimmed.TrimRight();
    if (recursive)
        BuildTree(sink, trimmed, root);
    else
        ListOneLevel(sink, trimmed);
}

// The order of the iterator's items, for the entries of a wildcard list.
struct PathLess {
    const char* text;
    bool byName;
    bool operator()(const PathEntry& a, const PathEntry& b) const {
        if (!byName)
            return a.fileTime > b.fileTime; // newer first
        return detail::CaseBlindOrder(text + a.offset, a.length, text + b.offset, b.length) < 0;
    }
};

// The two wildcard lists: the files of a one-level listing or of a whole tree,
// each behind the directory part of `pattern`.
//
// The names are gathered and sorted as the iterator gathers and sorts its items,
// then each path (the directory part and the name) is made in its slot of
// `files`, in order.
bool CollectFiles(const BaseString<char>& given, Array<BaseString<char>>& files, bool compareByName,
                  bool recursive) {
    // Paths stored so far.
    unsigned int stored = 0;
    try {
        files.SetSize(0);
        // A folder named in another letter case takes its own letters, in the
        // directory part too, so that the paths stored name its files.
        BaseString<char> pattern(given);
        try {
            MatchFolderCase(pattern);
        } catch (const std::bad_alloc&) {
            throw MemoryException();
        }
        BaseString<char> directoryPart;
        const int separator = pattern.FindLast(PATHSEP);
        if (separator >= 0) {
            directoryPart = pattern;
            directoryPart.Resize(static_cast<unsigned int>(separator) + 1, false);
        }
        detail::LibraryVector<PathEntry> entries;
        detail::LibraryString text;
        try {
            PathSink sink(entries, text, compareByName);
            BuildList(sink, pattern, recursive,
                      recursive ? static_cast<const char*>(pattern) : nullptr);
        } catch (const std::bad_alloc&) {
            throw MemoryException();
        }
        detail::SortList(entries.data(), static_cast<unsigned int>(entries.size()),
                         PathLess{text.data(), compareByName});
        const unsigned int leadLength = directoryPart.Length();
        for (const PathEntry& entry : entries) {
            if (entry.isDirectory)
                continue;
            const std::size_t length = std::size_t(leadLength) + entry.length;
            if (length > BaseString<char>::kMaxLength)
                throw MemoryException();
            files.SetSize(stored + 1);
            // Written in place: a slot keeps its buffer from an earlier list.
            BaseString<char>& path = files[stored];
            path.Resize(static_cast<unsigned int>(length), true);
            if (path.m_buffer != nullptr) { // null only for an empty path
                if (leadLength != 0)
                    std::memcpy(path.m_buffer, static_cast<const char*>(directoryPart), leadLength);
                std::memcpy(path.m_buffer + leadLength, text.data() + entry.offset, entry.length);
                path.m_length = static_cast<unsigned int>(length);
            }
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

// The deepest a link's folder is looked for below the start of a walk in name
// order: one open for each level, for each link to a folder.
const long kMostLevelsLookedUp = 4096;

// A walk of a tree that hands out its files one at a time, in name order of
// their paths (ASCII case ignored), as the name-sorted flat wildcard list has them.
//
// A folder's files all share its path and a separator, and no name holds a
// separator, so that order is each folder's entries sorted by key (a file's
// name; a folder's name and the separator), each folder's files taking its place:
// the walk reads a folder, sorts it, and goes down into each folder where it comes
// in that order. Paths are the start as given (white space dropped), then the
// names below it.
//
// Links to folders: the flat walk follows them once the real folders are done, so
// that a folder is listed under its own path when the tree holds it. Here, where a
// link comes in the order, its folder is looked up through the folders that hold
// it: when it lies inside the tree of real folders (within the walk's limits) it
// is listed there and the link is noted as a route not taken, as the flat walk
// notes it; otherwise it is walked where the link stands.
class NameOrderWalk {
public:
    explicit NameOrderWalk(const BaseString<char>& given) {
        const DirectoryWalkLimits* limits = t_limits;
        if (limits != nullptr) {
            m_maxDepth = limits->MaxDepth();
            m_oneFileSystem = limits->OneFileSystem();
        }
        BaseString<char> start(given);
        MatchFolderCase(start);
        start.TrimLeft();
        start.TrimRight();
        const SearchPlan plan = PlanSearch(start);
        if (plan.kind != platform::PathKind::Directory) {
            // A pattern or one object: the top level's files, listed at once.
            m_listed = true;
            if (m_maxDepth != 0)
                CollectFiles(given, m_files, true, true);
            return;
        }
        if (m_maxDepth == 0)
            return;
        BaseString<char> directory(plan.pattern);
        directory.Truncate(directory.Length() - 1); // less its "*"
        m_text = start;
        platform::OpenDir* dir = nullptr;
        const platform::DirStatus status = platform::OpenDirectory(directory, dir, m_startId);
        if (status != platform::DirStatus::Done) {
            if (status == platform::DirStatus::Unreadable)
                NoteUnreadableDirectory(start);
            return;
        }
        m_volume = m_startId.volume;
        if (m_startId == platform::DirectoryId())
            m_oneFileSystem = false;
        DirCloser closer(dir);
        m_visited.insert(m_startId);
        Read(m_stack.Push(closer.Release(), m_startId, m_text.Length(), false));
    }

    // A walk that failed once (out of memory) fails again rather than go on
    // with a part of a folder left out.
    bool Next(BaseString<char>& path) {
        if (m_failed)
            throw MemoryException();
        m_failed = true;
        const bool more = Step(path);
        m_failed = false;
        return more;
    }

private:
    bool Step(BaseString<char>& path) {
        if (m_listed) {
            if (m_nextFile >= m_files.Size())
                return false;
            path = m_files[m_nextFile++];
            return true;
        }
        while (m_stack.Size() != 0) {
            Frame& frame = m_stack.Top();
            if (frame.next == frame.order.size()) {
                m_stack.Pop();
                continue;
            }
            const PathEntry& key = frame.order[frame.next++];
            const platform::DirEntry& entry = frame.listing.entries[key.offset];
            const char* name = frame.listing.Name(entry);
            m_text.Truncate(frame.pathLength);
            if (!entry.isDirectory) {
                MakePath(path, name);
                return true;
            }
            // Its files would lie one level below the subdirectory.
            if (m_maxDepth > 0 && m_stack.Size() + 1 > static_cast<unsigned long>(m_maxDepth))
                continue;
            if (!EndsWithSeparator(m_text))
                m_text += PATHSEP;
            m_text += name;
            Enter(frame.dir, name, entry.isLink);
        }
        return false;
    }

    // The path of a file of the current directory: the directory's path text,
    // the separator and the name.
    void MakePath(BaseString<char>& path, const char* name) const {
        const unsigned int lead = m_text.Length();
        const bool separator = !EndsWithSeparator(m_text);
        const std::size_t nameLength = std::strlen(name);
        const std::size_t length = std::size_t(lead) + (separator ? 1 : 0) + nameLength;
        if (length > BaseString<char>::kMaxLength)
            throw MemoryException();
        path.Resize(static_cast<unsigned int>(length), true);
        if (path.m_buffer == nullptr)
            return; // an empty path
        std::memcpy(path.m_buffer, static_cast<const char*>(m_text), lead);
        if (separator)
            path.m_buffer[lead] = PATHSEPCHAR;
        std::memcpy(path.m_buffer + lead + (separator ? 1 : 0), name, nameLength);
        path.m_length = static_cast<unsigned int>(length);
    }

    // Reads the directory just entered and puts its entries in name order.
    void Read(Frame& frame) {
        const platform::DirStatus status =
            platform::ReadDirectory(frame.dir, frame.listing, platform::Detail::Types);
        NoteUnreadableEntries(frame.listing, m_text, m_text.Length());
        if (status != platform::DirStatus::Done)
            NoteUnreadableDirectory(m_text);
        const platform::DirListing& listing = frame.listing;
        frame.order.reserve(listing.entries.size());
        for (std::size_t i = 0; i < listing.entries.size(); ++i) {
            const platform::DirEntry& entry = listing.entries[i];
            const char* name = listing.Name(entry);
            if (entry.isDirectory && IsDotOrDotDot(name))
                continue;
            PathEntry key;
            key.offset = frame.keys.size();
            frame.keys.append(name);
            if (entry.isDirectory)
                frame.keys.push_back(PATHSEPCHAR);
            const std::size_t length = frame.keys.size() - key.offset;
            frame.keys.push_back('\0');
            if (length > BaseString<char>::kMaxLength)
                throw MemoryException();
            key.length = static_cast<unsigned int>(length);
            key.isDirectory = entry.isDirectory;
            key.fileTime = static_cast<long long>(i);
            frame.order.push_back(key);
        }
        detail::SortList(frame.order.data(), static_cast<unsigned int>(frame.order.size()),
                         PathLess{frame.keys.data(), true});
        // The sort is done with the keys: each entry now names its listing entry.
        for (PathEntry& key : frame.order)
            key.offset = static_cast<std::size_t>(key.fileTime);
        frame.keys = detail::LibraryString();
    }

    void Enter(platform::OpenDir* parent, const char* name, bool isLink) {
        platform::DirectoryId id;
        DirCloser closer(OpenNewDirectory(parent, name, m_text, m_stack, m_visited, m_oneFileSystem,
                                          m_volume, id));
        if (closer.Get() == nullptr)
            return;
        if (isLink && InRealTree(closer.Get())) {
            NoteRepeatedFolder(m_text); // listed under its own path
            return;
        }
        m_visited.insert(id);
        Read(m_stack.Push(closer.Release(), id, m_text.Length(), false));
    }

    // Whether the walk enters `dir` through real folders: it lies below the start,
    // within the depth limit and on the walk's volume where it keeps to one.
    bool InRealTree(platform::OpenDir* dir) const {
        long most = kMostLevelsLookedUp;
        // A folder n levels down holds files of level n + 1.
        if (m_maxDepth > 0 && m_maxDepth - 1 < most)
            most = m_maxDepth - 1;
        return platform::LevelsBelow(dir, m_startId, most, m_oneFileSystem, m_volume) > 0;
    }

    long m_maxDepth = -1;
    bool m_oneFileSystem = false;
    unsigned long long m_volume = 0;
    platform::DirectoryId m_startId;
    // The path text of the current directory: the start, then a separator and a
    // name for each level down.
    BaseString<char> m_text;
    WalkStack m_stack;
    IdSet m_visited;
    // A start that is no folder: its list, made at once.
    bool m_listed = false;
    Array<BaseString<char>> m_files;
    unsigned int m_nextFile = 0;
    bool m_failed = false;
};

} // namespace

DirectoryIterator::DirectoryIterator(const char* path, bool recursive, const char* root,
                                     bool compareByName)
    : m_items(), m_current(0) {
    if (path == nullptr)
        return;
    BaseString<char> trimmed(path);
    trimmed.TrimLeft();
    trimmed.TrimRight();
    try {
        MatchFolderCase(trimmed);
    } catch (const std::bad_alloc&) {
        throw MemoryException();
    }
    if (recursive) {
        BuildRecursive(trimmed, root, compareByName);
    } else {
        ItemSink sink(m_items, compareByName);
        ListOneLevel(sink, trimmed);
    }
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
    ItemSink sink(m_items, compareByName);
    BuildTree(sink, path, root);
}

bool DirectoryIterator::GetWildCardFiles(const BaseString<char>& pattern,
                                         Array<BaseString<char>>& files, bool compareByName) {
    return CollectFiles(pattern, files, compareByName, false);
}

bool DirectoryIterator::GetWildCardFilesFlat(const BaseString<char>& pattern,
                                             Array<BaseString<char>>& files, bool compareByName) {
    return CollectFiles(pattern, files, compareByName, true);
}

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

DirectoryWalk::DirectoryWalk(const char* folder) : m_walk(nullptr) {
    try {
        m_walk = detail::MakeObject<NameOrderWalk>(BaseString<char>(folder));
    } catch (const std::bad_alloc&) {
        throw MemoryException();
    }
}

DirectoryWalk::~DirectoryWalk() {
    detail::DeleteObject(static_cast<NameOrderWalk*>(m_walk));
}

bool DirectoryWalk::Next(BaseString<char>& path) {
    try {
        return static_cast<NameOrderWalk*>(m_walk)->Next(path);
    } catch (const std::bad_alloc&) {
        throw MemoryException();
    }
}

} // namespace zel
