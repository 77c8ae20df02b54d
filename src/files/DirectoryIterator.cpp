// DirectoryIterator and the wildcard lists: a listing read whole, then sorted.
#include "zel/Directory.h"

#include "base/LibraryAllocator.h"
#include "files/DirectorySort.h"
#include "files/NameOrder.h"
#include "files/WalkParts.h"
#include "platform/DirSearch.h"
#include "platform/FileSystem.h"
#include "zel/StringUtil.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace zel {

using namespace walk; // the parts the listings share

namespace {

// An entry's last-write time as seconds since 1970 UTC.
long long FileTimeOf(const platform::DirEntry& entry) {
    if (!entry.timeKnown)
        throw Exception("vcDirectoryItem::FileTime: Error getting file time.");
    return entry.seconds;
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
        const DirectoryWalkLimits* limits = CurrentLimits();
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
        platform::DirectoryId id;
        Frame* start = EnterStart(directory, path, m_stack, m_visited, true, id, m_oneFileSystem);
        if (start == nullptr)
            return;
        m_volume = id.volume;
        Read(*start);
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
    void Read(Frame& frame) { ReadFrame(frame, m_text, m_detail); }

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
        else if (CurrentLimits() == nullptr || CurrentLimits()->MaxDepth() != 0)
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

} // namespace

namespace walk {

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

} // namespace walk

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

} // namespace zel
