// DirectoryWalk: the files of a tree in name order, read a folder at a time.
#include "zel/Directory.h"

#include "base/LibraryAllocator.h"
#include "files/DirectorySort.h"
#include "files/WalkParts.h"
#include "platform/DirSearch.h"

#include <cstring>
#include <new>

namespace zel {

using namespace walk; // the parts the listings share

namespace {

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
        const DirectoryWalkLimits* limits = CurrentLimits();
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
        Frame* first =
            EnterStart(directory, m_text, m_stack, m_visited, false, m_startId, m_oneFileSystem);
        if (first == nullptr)
            return;
        m_volume = m_startId.volume;
        Read(*first);
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
        ReadFrame(frame, m_text, platform::Detail::Types);
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
