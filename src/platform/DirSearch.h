// Directory search: find-first / find-next / close over one search pattern,
// the conversion of an entry's last-write time, and directory identities.
#pragma once

#include <string>

namespace zel {
namespace platform {

// Attribute bits of a found entry (the Windows values).
const unsigned kAttributeReadOnly = 0x01;
const unsigned kAttributeDirectory = 0x10;

// A last-write time as the search delivers it: a Windows FILETIME (100 ns units
// since 1601, UTC) or, elsewhere, signed seconds since 1970 UTC.
struct FileStamp {
    unsigned long long value;
};

// One entry of a search. The search reuses the object, so the name's storage is
// kept from one entry to the next.
struct FoundEntry {
    std::string name; // bare name, no directory part
    unsigned attributes;
    unsigned int sizeHigh;
    unsigned int sizeLow;
    FileStamp lastWrite;
};

// An open search; null means none.
using SearchHandle = void*;

// Starts a search for `pattern` (a directory, the separator and a last component
// that may hold * and ?; or the name of one object) and stores the first entry.
// Null when nothing matches or the directory cannot be read. Never throws.
SearchHandle FindFirst(const char* pattern, FoundEntry& entry);
// The next entry; false at the end.
bool FindNext(SearchHandle search, FoundEntry& entry);
// Ends a search; a null handle is ignored.
void FindClose(SearchHandle search);

// Seconds since 1970-01-01 00:00:00 UTC of a stamp. Windows goes through the
// local calendar time and _mktime64 (-1 before 1970). False when the stamp
// cannot be converted to a calendar time.
bool FileStampToSeconds(const FileStamp& stamp, long long& seconds);

// What identifies a directory on its volume: device and inode, or volume serial
// number and file index. Links are followed.
struct DirectoryId {
    unsigned long long volume;
    unsigned long long index;
    bool operator<(const DirectoryId& o) const {
        return volume != o.volume ? volume < o.volume : index < o.index;
    }
};
// False when `path` cannot be opened or identified.
bool IdentifyDirectory(const char* path, DirectoryId& id);

} // namespace platform
} // namespace zel
