// ZELBase files and directories: DirectoryItem, DirectoryIterator, the
// wildcard file lists and DirectoryWalk.
//
// A DirectoryIterator reads a whole listing when it is constructed, either one
// directory level as the platform's file search returns it, or a whole tree walked
// depth-first and flattened into a list of files, sorts it (by name ignoring ASCII
// case, or newest first) and then hands out copies of its DirectoryItems one at a
// time without touching the file system again. The two statics
// GetWildCardFiles / GetWildCardFilesFlat turn a search pattern into a list
// of full file paths.
//
// Search patterns: the last component may hold the wildcards "*" (any run
// of characters, none included) and "?" (exactly one character), matched without
// regard to ASCII case; "*.*" matches every name. A path naming an existing
// directory, with or without one trailing separator, lists everything in it.
//
// Platforms:
//   - Windows: PATHSEP is "\", the search is FindFirstFileA/FindNextFileA, times
//     go through the local calendar time and _mktime64 (a time before 1970 gives -1).
//     A folder written with two trailing separators lists nothing (the runtime's
//     status call refuses the one left); Linux lists the folder.
//   - Linux: PATHSEP is "/". Only the last component is matched with wildcards; the
//     others are taken literally. A last name that names nothing exactly is looked
//     up without regard to case; when it finds one folder, the path names that
//     folder, so "d/SUB/" lists what is in d/Sub as on Windows (and the wildcard
//     lists store d/Sub/...). Folders on the way are taken as written. Attributes come from stat
//     (links followed); an entry is read-only when its owner has no write permission; a directory's
//     size is reported as 0 (as on Windows); times are st_mtime, seconds since 1970 UTC. Entries
//     whose status cannot be read (vanished files, dangling links) are left out. Windows also
//     matches 8.3 short names; Linux has none. "/" alone lists nothing (its one separator is
//     dropped); "/*" lists the root.
//   - Both: a recursive walk enters each directory at most once, whatever the
//     number of routes or links to it (directories are told apart by device and
//     inode, or by volume serial number and file index), so its work is bounded
//     by the tree. It follows links (and junctions) to directories after the tree
//     of real directories is done, so a directory is listed under its own path
//     and under a link only when nothing else reaches it. A route not taken (a
//     link or other route to a directory already walked) is counted, with its
//     path, by DirectorySkips as a repeated folder; a link leading back to the
//     current directory or one of its ancestors is left out without a count.
//     Linux walks by directory descriptor and without recursion, so neither the
//     depth of a tree nor the length of its paths limits it; Windows calls take
//     whole paths, and a directory whose path is too long for them is skipped as
//     unreadable. DirectorySkips counts what a listing had to leave out;
//     DirectoryWalkLimits bounds the depth of the walks or keeps them on one
//     file system.
//
// Example (a folder /data holding a.txt, B.txt and a subfolder sub with c.txt):
//   zel::DirectoryIterator it("/data", false, nullptr, true);
//   it.NumMatches();                       // 5: ".", "..", "a.txt", "B.txt", "sub"
//   zel::DirectoryIterator all("/data/", true, "/data/", true);
//   // a.txt, B.txt, sub/c.txt
//   zel::Array<zel::BaseString<char>> files;
//   zel::DirectoryIterator::GetWildCardFiles("/data/*.txt", files, true);
//   // true; files: /data/a.txt, /data/B.txt
#pragma once

#include "zel/Array.h"
#include "zel/BaseString.h"
#include "zel/Export.h"
#include "zel/PathSeparator.h"

namespace zel {

class DirectoryItem;
namespace detail {
void SwapDirectoryItems(DirectoryItem& a, DirectoryItem& b) noexcept;
} // namespace detail

// One entry of a directory listing: name, size, last-write time, directory and
// read-only flags, and the key (name or time) its comparison operators use.
//
// Comparisons look only at the left-hand item's key:
//   - by name: zel::util::strcasecmp order; a null name sorts before every name.
//   - by time: a is less than b when a is newer (a larger m_fileTime), so an
//     ascending sort puts the most recent entry first; equal times are equal.
// Copying or appending to the name may throw MemoryException; the name is then
// left as it was. There are no move operations: std::move copies, and the item
// moved from keeps its name and everything else.
// Thread safety: none; a plain value used by one thread at a time.
//
// Example:
//   zel::DirectoryItem a("Readme.TXT", 100, false, false, 5, true);
//   zel::DirectoryItem b("README.txt", 200, false, true, 9, true);
//   a == b;               // true (by name, ASCII case ignored)
//   zel::DirectoryItem t("x", 200, false, false, 0, false);
//   t < a;                // true: by time, 200 is newer than 100
//   zel::DirectoryItem s("sub", 0, true, false, 0, true);
//   s.AppendToName("\\x.txt");   // "sub\x.txt"
class ZEL_API DirectoryItem {
public:
    // Size 0, time 0, flags false, name the empty text (not null), compares by name.
    DirectoryItem();
    // Note the argument order: time first, size after the flags. A null name gives
    // the null string. Throws MemoryException when the name cannot be copied.
    DirectoryItem(const char* name, long long fileTime, bool isDirectory, bool isReadOnly,
                  long long size, bool compareByName);
    DirectoryItem(const DirectoryItem& other);
    DirectoryItem& operator=(const DirectoryItem& other);
    ~DirectoryItem();

    bool operator==(const DirectoryItem& other) const;
    bool operator<(const DirectoryItem& other) const;

    // Appends text to the name; null changes nothing. Throws MemoryException.
    void AppendToName(const char* text);

    // The name; null for an item constructed from a null name.
    const char* Name() const;
    long long Size() const;
    // Seconds since 1970-01-01 00:00:00 UTC.
    long long FileTime() const;
    bool IsDirectory() const;
    bool IsReadOnly() const;

private:
    // The library's listings exchange items without copying names (not exported).
    friend void detail::SwapDirectoryItems(DirectoryItem& a, DirectoryItem& b) noexcept;

    long long m_size;
    long long m_fileTime;
    bool m_isDirectory;
    bool m_isReadOnly;
    BaseString<char> m_name;
    bool m_compareByName;
};

namespace detail {
// An item is a string and scalars: an array moves it to new storage by a byte
// copy, as it moves strings, so growing a list copies no names.
template <> struct ArrayRelocatable<DirectoryItem> : std::true_type {};
} // namespace detail

// The sorted entries matching a path, read once at construction.
//
// DirectoryIterator(path, recursive, root, compareByName):
//   - path is trimmed of leading and trailing white space; one trailing separator
//     is dropped; a path naming a directory lists everything in it, any other path
//     is the search pattern itself (a file name, or a pattern).
//   - recursive false: one level, every entry the search reports (subdirectories
//     and "." and ".." included), bare names.
//   - recursive true: every file of the tree (never a directory item, never "." or
//     ".."); names are the directory path with every occurrence of `root` removed
//     (ASCII case ignored), the separator and the file name. With root equal to the
//     starting directory written with its trailing separator, names come out
//     relative to it: a.txt, sub/b.txt (sub\b.txt on Windows). Each directory is
//     walked once, under its own path where the tree holds it (above); the
//     DirectoryWalkLimits of the constructing thread apply.
//   - compareByName true sorts by name (ASCII case ignored), false newest first;
//     the order of entries comparing equal is not defined.
// A path that is null, matches nothing or cannot be read gives an empty list;
// entries that vanish or cannot be read during the walk are skipped (and counted
// by a DirectorySkips of the constructing thread); the walk goes on. Throws
// MemoryException, or Exception("vcDirectoryItem::FileTime: Error getting file
// time.") for a file time that cannot be converted (Windows only).
// Thread safety: none inside; construction reads the file system without locking.
//
// Example:
//   zel::DirectoryIterator it("/data/*.txt", false, nullptr, true);
//   zel::DirectoryItem item;
//   while (it.GetNextItem(item))
//       std::puts(item.Name());            // a.txt, B.txt
//   it.Reset();                            // starts again at a.txt
class ZEL_API DirectoryIterator {
public:
    DirectoryIterator(const char* path, bool recursive, const char* root, bool compareByName);
    DirectoryIterator(const DirectoryIterator& other);
    DirectoryIterator& operator=(const DirectoryIterator& other);
    ~DirectoryIterator();

    // Copies the next item into `item` and returns true; false at the end (item
    // unchanged). Throws MemoryException when the copy fails (the cursor has moved).
    bool GetNextItem(DirectoryItem& item);
    // The next GetNextItem starts again at the first item.
    void Reset();
    long NumMatches();

    // Fills `files` (emptied first) with the full path of every file a one-level
    // listing of `path` finds: the directory part of `path` (up to its last
    // separator, as passed) followed by each file name. Directories, "." and ".."
    // are left out. True when at least one path was stored.
    // Failures arrive as an Exception whose last message is
    // "DirectoryIterator::GetWildCardFiles: Exception caught" (an Exception of the
    // family passed through) or "DirectoryIterator::GetWildCardFiles: Severe error
    // caught" (anything else); `files` then holds the paths stored before.
    // Example: GetWildCardFiles("/data/*.txt", files, true)  ->  /data/a.txt, /data/B.txt
    static bool GetWildCardFiles(const BaseString<char>& path, Array<BaseString<char>>& files,
                                 bool compareByName);
    // The same for a recursive walk of `path` (its own root): every file of the
    // tree. Use a directory written with its trailing separator.
    // Example: GetWildCardFilesFlat("/data/", files, true)
    //          ->  /data/a.txt, /data/B.txt, /data/sub/c.txt
    // Failure messages name "GetWildCardFiles" as well.
    static bool GetWildCardFilesFlat(const BaseString<char>& path, Array<BaseString<char>>& files,
                                     bool compareByName);

private:
    void BuildRecursive(const char* path, const char* root, bool compareByName);

    Array<DirectoryItem> m_items;
    unsigned int m_current;
};

// The files of a tree one at a time, in the order of
// GetWildCardFilesFlat(folder, files, true), read a folder at a time as the walk
// goes: the first path comes once the folders on its way are read, and what the
// walk holds grows with the depth of the tree and the size of its folders, not
// with the number of its files. Only names are read: a status call is made only
// for links and entries whose type the directory does not give.
//
// DirectoryWalk(folder): `folder` names a directory, written with a trailing
// separator or without, white space around it dropped; a last name in another
// letter case is taken as the lists take it. Paths are that folder, a separator
// where it has none, then the path below it: the paths of
// GetWildCardFilesFlat(folder written with its trailing separator). A path that
// is no directory (a pattern, one file, nothing) gives that list's files, read at
// once. The DirectoryWalkLimits of the constructing thread apply; what cannot be
// read is counted by the DirectorySkips of the thread calling Next, when Next
// reads it.
//
// The files and their order are the flat list's, but for two rare cases:
//   - folders whose names differ only in ASCII case (Linux): the files of one come
//     before the other's, where the flat list mixes them by the rest of the path;
//   - links to folders outside the tree: each is followed where it comes in the
//     name order, so of several routes to one such folder the first in that order
//     is taken, where the flat list takes links met in the real folders before
//     links met below other links. A link to a folder inside the tree is a route
//     not taken, as there: the folder is listed under its own path.
// Next(path): stores the next path and returns true; false at the end. Throws
// MemoryException; a walk that threw once throws again at every Next, so that it
// never goes on with part of a folder left out. A constructor that fails throws
// as GetWildCardFilesFlat does.
// Thread safety: none inside; one thread at a time.
//
// Example:
//   zel::DirectoryWalk walk("/data/");
//   zel::BaseString<char> path;
//   while (walk.Next(path))
//       std::puts(path);                   // /data/a.txt, /data/B.txt, /data/sub/c.txt
class ZEL_API DirectoryWalk {
public:
    explicit DirectoryWalk(const char* folder);
    ~DirectoryWalk();
    DirectoryWalk(const DirectoryWalk&) = delete;
    DirectoryWalk& operator=(const DirectoryWalk&) = delete;

    bool Next(BaseString<char>& path);

private:
    void* m_walk;
};

// Counts, while it lives, what the listings of the thread that made it leave out
// because they could not read it: directories that could not be opened or listed
// (no permission, removed meanwhile, on Windows a path longer than the calls
// take), and entries whose status could not be read (a dangling link, a file
// removed meanwhile; Linux only: the Windows search gives every entry's data),
// each with the system's reason. Apart from those, it names the routes a walk did not take
// because they lead to a directory it had walked already (RepeatedFolders): no
// error, the directory's files are listed once, under the route taken. A link
// leading back up a walk, and what DirectoryWalkLimits keeps a walk from, are
// left out by design and not counted. Objects nest: the innermost one counts.
// Every DirectoryIterator and wildcard list built on the thread meanwhile adds
// to it.
// Throws MemoryException when it cannot be made.
// Thread safety: serves the thread that made it; read it on that thread.
//
// Example:
//   zel::DirectorySkips skips;
//   zel::DirectoryIterator::GetWildCardFilesFlat("/data/", files, true);
//   for (unsigned long i = 0; i < skips.Directories(); ++i)
//       std::fprintf(stderr, "cannot read %s\n", skips.Directory(i));
//   // With /data/sub and a link /data/link -> sub: sub's files are listed once,
//   // as /data/sub/..., and skips.RepeatedFolder(0) is "/data/link".
class ZEL_API DirectorySkips {
public:
    DirectorySkips();
    ~DirectorySkips();
    DirectorySkips(const DirectorySkips&) = delete;
    DirectorySkips& operator=(const DirectorySkips&) = delete;

    // Every entry left out, the directories included.
    unsigned long Entries() const;
    // The directories left out, with everything below them.
    unsigned long Directories() const;
    // The path of the index-th directory left out, as the walk wrote it (the
    // path given, then the names below it); null when index is past the end.
    const char* Directory(unsigned long index) const;
    // The entries left out that are no directories, named: the first
    // kNamedEntriesMost of them (Entries() - Directories() counts them all).
    static constexpr unsigned long kNamedEntriesMost = 10000;
    unsigned long NamedEntries() const;
    // The path of the index-th one, as the walk wrote it (its directory's path,
    // the separator and its name); null when index is past the end.
    const char* Entry(unsigned long index) const;
    // Why its status could not be read: the system's error number (errno), as
    // ENOENT for a dangling link or an entry removed meanwhile; 0 past the end.
    int EntryError(unsigned long index) const;
    // Whether it is a link whose target could not be read (with ENOENT, a
    // dangling link); false for an entry whose own status could not be read.
    bool EntryIsLink(unsigned long index) const;
    // The routes not taken because they lead to a directory the walk had
    // entered already (not counted in Entries).
    unsigned long RepeatedFolders() const;
    // The path of the index-th route not taken, as the walk wrote it (the path
    // given, then the names below it, the link's name last); null when index is
    // past the end.
    const char* RepeatedFolder(unsigned long index) const;

private:
    void* m_record;
    void* m_outer;
};

// Limits that the recursive walks of the thread that made it obey while it lives
// (DirectoryIterator with recursive true, GetWildCardFilesFlat); one-level
// listings ignore them. Objects nest: the innermost one applies.
//   - maxDepth: the deepest level whose files are listed, counted as find's
//     -maxdepth counts: 1 lists the files directly in the starting directory, 2
//     those one directory below as well, and so on; 0 lists nothing; a negative
//     value sets no limit.
//   - oneFileSystem: the walk stays on the file system (device; on Windows the
//     volume) of its starting directory, as find's -xdev: a directory on another
//     one, a mount point or a link leading there, is not entered.
// What the limits keep a walk from is left out silently (no DirectorySkips count).
// Never throws.
// Thread safety: serves the thread that made it.
//
// Example:
//   zel::DirectoryWalkLimits limits(2, true);   // two levels, this file system
//   zel::DirectoryIterator::GetWildCardFilesFlat("/", files, true);
//   // /a.txt, /etc/hosts, ... but not /etc/ssl/openssl.cnf nor anything in /proc
class ZEL_API DirectoryWalkLimits {
public:
    explicit DirectoryWalkLimits(long maxDepth, bool oneFileSystem = false);
    ~DirectoryWalkLimits();
    DirectoryWalkLimits(const DirectoryWalkLimits&) = delete;
    DirectoryWalkLimits& operator=(const DirectoryWalkLimits&) = delete;

    // The depth limit; -1 for none.
    long MaxDepth() const;
    bool OneFileSystem() const;

private:
    long m_maxDepth;
    bool m_oneFileSystem;
    const DirectoryWalkLimits* m_outer;
};

} // namespace zel
