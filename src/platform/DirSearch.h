// Directory listing as tasks: read the matches of a search pattern, or every
// entry of a directory, into portable entries (name, flags, 64-bit size, calendar
// seconds); and open a subdirectory inside a directory already open, so that a
// walk of a tree needs no path text longer than one name (on Linux, where calls
// take a directory descriptor; Windows calls take whole paths and meet their
// length limit).
//
// Allocation failures: the calls free what they hold and let std::bad_alloc
// through; the directory code turns it into MemoryException. No listing is ever
// cut short for want of memory. Everything they allocate comes from the
// library's allocation functions (base/LibraryAllocator.h), so a test can fail
// any of those allocations on every platform.
#pragma once

#include "base/LibraryAllocator.h"

#include <cstddef>

namespace zel {
namespace platform {

// One entry of a listing.
// Read with Detail::Types, an entry that is no link carries only its name and
// type: size 0, time 0, not read-only.
struct DirEntry {
    std::size_t nameOffset; // of the bare name in DirListing::names
    bool isDirectory;       // links followed
    bool isLink;            // the entry is a link (symbolic link, junction)
    bool isReadOnly;
    bool timeKnown;    // false: the last-write time could not be converted
    long long size;    // bytes; 0 for a directory
    long long seconds; // last write, seconds since 1970-01-01 00:00:00 UTC
};

// What a listing has to know of each entry.
enum class Detail {
    All,  // size, time and read-only flag too
    Types // names, whether each is a directory and whether it is a link; a status
          // call only where the directory entry does not tell (links, unknown types)
};

// The entries of one search or directory, in the order the platform reports them.
// Reused from one read to the next, so its storage is kept.
struct DirListing {
    detail::LibraryString names; // the names, each followed by a NUL
    detail::LibraryVector<DirEntry> entries;
    // Entries left out because their status could not be read (a dangling link,
    // an entry removed meanwhile), each with its name in `names`.
    struct Unreadable {
        std::size_t nameOffset;
        int error;   // the system's error number
        bool isLink; // a link whose target could not be read
    };
    detail::LibraryVector<Unreadable> unreadable;

    const char* Name(const DirEntry& entry) const { return names.data() + entry.nameOffset; }
    const char* Name(const Unreadable& entry) const { return names.data() + entry.nameOffset; }
    void Clear() {
        names.clear();
        entries.clear();
        unreadable.clear();
    }
};

// How a search or the opening or reading of a directory ended.
enum class DirStatus {
    Done,      // the listing holds what was found (maybe nothing)
    Missing,   // nothing of that name (or the pattern's directory does not exist)
    Unreadable // it exists but cannot be read (permission, a path too long, ...)
};

// What identifies a directory on its volume: device and inode, or volume serial
// number and file index. Links are followed.
struct DirectoryId {
    unsigned long long volume = 0;
    unsigned long long index = 0;
    bool operator==(const DirectoryId& o) const { return volume == o.volume && index == o.index; }
};

// Runs one search and fills `listing` (cleared first). `pattern` is a directory,
// the separator and a last component that may hold * and ? (matched without
// regard to ASCII case; "." and ".." included), or the path of one object, which
// finds just that object. Throws std::bad_alloc only.
DirStatus Search(const char* pattern, DirListing& listing, Detail detail = Detail::All);

// An open directory of a walk. Directories of one walk form a chain: each is
// opened inside its parent and closed before it. The number of system resources
// a chain holds stays bounded however deep it grows.
struct OpenDir;

// Opens `directory` (its path, written with a trailing separator or without) as
// the first directory of a walk. On Done, `dir` is set and `id` filled (all zero
// when the directory cannot be identified). These two throw std::bad_alloc only,
// with nothing left open.
DirStatus OpenDirectory(const char* directory, OpenDir*& dir, DirectoryId& id);
// Opens the subdirectory `name` of `parent`, the last directory of its chain.
// Links are followed. On Done, `dir` is set and `id` filled.
DirStatus OpenSubdirectory(OpenDir* parent, const char* name, OpenDir*& dir, DirectoryId& id);
// Every entry of `dir` into `listing` (cleared first); "." and ".." may be left
// out (Linux leaves them out and spares their status calls). Throws
// std::bad_alloc only.
DirStatus ReadDirectory(OpenDir* dir, DirListing& listing, Detail detail = Detail::All);
// Closes `dir`, the last directory of its chain; null is ignored.
void CloseDirectory(OpenDir* dir);

// How many levels `dir` lies below the directory `top` through the directories
// that hold it (never through a link): 1 for a subdirectory of `top`, and so on.
// -1 when it does not lie below `top`, lies more than `most` levels below it, or
// when a directory on the way cannot be opened, or is on a volume other than
// `volume` while `sameVolume` is set. Looking up costs one open per level.
// Throws std::bad_alloc only.
long LevelsBelow(OpenDir* dir, const DirectoryId& top, long most, bool sameVolume,
                 unsigned long long volume);

} // namespace platform
} // namespace zel
