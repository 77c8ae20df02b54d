// The parts the directory listings share: what a walk notes of what it could
// not read, how a path becomes a search, and the folders a walk holds open.
#pragma once

#include "zel/Array.h"
#include "zel/BaseString.h"
#include "zel/Directory.h"
#include "zel/StringUtil.h"

#include "base/LibraryAllocator.h"
#include "files/NameOrder.h"
#include "platform/DirSearch.h"
#include "platform/FileSystem.h"

#include <cstddef>

namespace zel {
namespace walk {

// What the listings of the calling thread could not read, noted for its
// innermost DirectorySkips (nothing is noted while none lives). Each throws
// MemoryException when the note cannot be kept.
//
// The entries of `listing` whose status could not be read; `directory` is the
// path text of their directory (its separator may be left off).
void NoteUnreadableEntries(const platform::DirListing& listing, const char* directory,
                           std::size_t directoryLength);
// A directory that could not be opened or read.
void NoteUnreadableDirectory(const char* path);
// A second route to a folder the walk has entered already, not taken.
void NoteRepeatedFolder(const char* path);

// The innermost DirectoryWalkLimits of the calling thread; null when none lives.
const DirectoryWalkLimits* CurrentLimits();

inline bool EndsWithSeparator(const BaseString<char>& text) {
    const unsigned int length = text.Length();
    return length > 0 && static_cast<const char*>(text)[length - 1] == PATHSEPCHAR;
}

// Removes one trailing separator, if there is one.
inline void DropTrailingSeparator(BaseString<char>& text) {
    if (EndsWithSeparator(text))
        text.Truncate(text.Length() - 1);
}

inline bool IsDotOrDotDot(const char* name) {
    return util::compare(name, ".") || util::compare(name, "..");
}

// What a listing makes of a trimmed path: a directory lists everything in it
// (the pattern is the directory, the separator and "*"); anything else is
// searched as it stands (a pattern, or one object).
struct SearchPlan {
    BaseString<char> pattern;
    platform::PathKind kind; // of the path less one trailing separator
};

SearchPlan PlanSearch(const BaseString<char>& path);

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
void MatchFolderCase(BaseString<char>& path);

// One entry of a wildcard list: where its name (the name an item would have)
// lies in the list's text, and what the sort needs.
struct PathEntry {
    std::size_t offset;
    unsigned int length;
    bool isDirectory;
    long long fileTime;
};

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
                                    unsigned long long volume, platform::DirectoryId& id);

// Reads the directory of `frame`, just entered, whose path text is `path`;
// notes what could not be read.
void ReadFrame(Frame& frame, const BaseString<char>& path, platform::Detail detail);

// Opens `directory` (written with its trailing separator) as the first directory
// of a walk and enters it on `stack`, its path text `path`, and marks it
// visited. Null when it cannot be opened (noted when it exists but cannot be
// read). `id` gets its identity; `oneFileSystem` is cleared for a start that
// cannot be identified (Windows), which has no volume to keep to.
Frame* EnterStart(const BaseString<char>& directory, const BaseString<char>& path, WalkStack& stack,
                  IdSet& visited, bool onRoute, platform::DirectoryId& id, bool& oneFileSystem);

// The two wildcard lists: the files of a one-level listing or of a whole tree,
// each behind the directory part of `pattern`.
//
// The names are gathered and sorted as the iterator gathers and sorts its items,
// then each path (the directory part and the name) is made in its slot of
// `files`, in order.
bool CollectFiles(const BaseString<char>& given, Array<BaseString<char>>& files, bool compareByName,
                  bool recursive);

} // namespace walk
} // namespace zel
