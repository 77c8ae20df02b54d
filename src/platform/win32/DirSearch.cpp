// Win32 code only: FindFirstFileA / FindNextFileA, file-time conversion and file identities.
#include "platform/DirSearch.h"

#include <windows.h>
#include <time.h>

namespace zel {
namespace platform {

// The calls take whole paths: an open directory is its path text.
struct OpenDir {
    detail::LibraryString path; // ends with a separator
};

namespace {

// Seconds since 1970 UTC of a file time, through the local calendar time and
// _mktime64 (-1 before 1970). False when it is no calendar time.
bool FileTimeToSeconds(const FILETIME& fileTime, long long& seconds) {
    SYSTEMTIME utc;
    if (!FileTimeToSystemTime(&fileTime, &utc))
        return false;
    SYSTEMTIME local;
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        // No local calendar time: convert the file time exactly instead, with
        // _mktime64's answer (-1) for times before 1970.
        const long long value = static_cast<long long>(
            (static_cast<unsigned long long>(fileTime.dwHighDateTime) << 32) |
            fileTime.dwLowDateTime);
        const long long ticks = value - 116444736000000000LL;
        seconds = ticks < 0 ? -1 : ticks / 10000000LL;
        return true;
    }
    struct tm t = {};
    t.tm_sec = local.wSecond;
    t.tm_min = local.wMinute;
    t.tm_hour = local.wHour;
    t.tm_mday = local.wDay;
    t.tm_mon = local.wMonth - 1;
    t.tm_year = local.wYear - 1900;
    t.tm_isdst = -1;
    seconds = static_cast<long long>(_mktime64(&t));
    return true;
}

void Add(DirListing& listing, const WIN32_FIND_DATAA& data) {
    DirEntry entry;
    entry.nameOffset = listing.names.size();
    listing.names.append(data.cFileName);
    listing.names.push_back('\0');
    entry.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    entry.isReadOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    entry.size = static_cast<long long>(
        (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) + data.nFileSizeLow);
    entry.seconds = 0;
    entry.timeKnown = FileTimeToSeconds(data.ftLastWriteTime, entry.seconds);
    listing.entries.push_back(entry);
}

// What a failed FindFirstFileA means.
DirStatus StatusOfError(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_NO_MORE_FILES:
        return DirStatus::Done; // nothing matches
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
        return DirStatus::Missing;
    default:
        return DirStatus::Unreadable; // access denied, a path too long, ...
    }
}

DirStatus FindAll(const char* pattern, DirListing& listing) {
    WIN32_FIND_DATAA data;
    HANDLE handle = FindFirstFileA(pattern, &data);
    if (handle == INVALID_HANDLE_VALUE)
        return StatusOfError(GetLastError());
    try {
        do {
            Add(listing, data);
        } while (FindNextFileA(handle, &data));
    } catch (...) {
        ::FindClose(handle);
        throw;
    }
    ::FindClose(handle);
    return DirStatus::Done;
}

// Opens `path` (a directory or file; one trailing separator is dropped) for its
// attributes only. Backup semantics open directories; junctions and links are
// followed. INVALID_HANDLE_VALUE when it cannot be opened.
HANDLE OpenAttributes(const detail::LibraryString& path) {
    detail::LibraryString target(path);
    if (target.size() > 1 && target[target.size() - 1] == '\\' && target[target.size() - 2] != ':')
        target.resize(target.size() - 1);
    return CreateFileA(target.c_str(), FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool Identify(const detail::LibraryString& path, DirectoryId& id) {
    HANDLE handle = OpenAttributes(path);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    const BOOL ok = GetFileInformationByHandle(handle, &info);
    CloseHandle(handle);
    if (!ok || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return false;
    id.volume = info.dwVolumeSerialNumber;
    id.index = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

DirStatus Make(detail::LibraryString&& path, OpenDir*& dir) {
    dir = detail::MakeObject<OpenDir>();
    dir->path = std::move(path);
    return DirStatus::Done;
}

} // namespace

// The search gives every entry's data in one call: the detail asked for changes nothing.
DirStatus Search(const char* pattern, DirListing& listing, Detail) {
    listing.Clear();
    if (pattern == nullptr)
        return DirStatus::Missing;
    return FindAll(pattern, listing);
}

DirStatus OpenDirectory(const char* directory, OpenDir*& dir, DirectoryId& id) {
    dir = nullptr;
    if (directory == nullptr || directory[0] == '\0')
        return DirStatus::Missing;
    detail::LibraryString path(directory);
    if (path[path.size() - 1] != '\\')
        path += '\\';
    id = DirectoryId();
    Identify(path, id);
    return Make(std::move(path), dir);
}

DirStatus OpenSubdirectory(OpenDir* parent, const char* name, OpenDir*& dir, DirectoryId& id) {
    dir = nullptr;
    detail::LibraryString path(parent->path);
    path += name;
    path += '\\';
    // A directory that cannot be identified (gone, refused, its path too long
    // for the calls) cannot be walked either.
    if (!Identify(path, id))
        return DirStatus::Unreadable;
    return Make(std::move(path), dir);
}

DirStatus ReadDirectory(OpenDir* dir, DirListing& listing, Detail) {
    listing.Clear();
    const detail::LibraryString pattern = dir->path + "*";
    const DirStatus status = FindAll(pattern.c_str(), listing);
    return status == DirStatus::Missing ? DirStatus::Unreadable : status;
}

void CloseDirectory(OpenDir* dir) {
    detail::DeleteObject(dir);
}

long LevelsBelow(OpenDir* dir, const DirectoryId& top, long most, bool sameVolume,
                 unsigned long long volume) {
    // The directory's own path, links and junctions resolved; then the folders
    // that hold it, by taking off one name at a time.
    HANDLE handle = OpenAttributes(dir->path);
    if (handle == INVALID_HANDLE_VALUE)
        return -1;
    char buffer[MAX_PATH * 2];
    const DWORD length = GetFinalPathNameByHandleA(handle, buffer, sizeof buffer,
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(handle);
    if (length == 0 || length >= sizeof buffer)
        return -1;
    detail::LibraryString up(buffer, length);
    long levels = 0;
    while (levels < most) {
        const std::size_t cut = up.find_last_of('\\');
        // "\\?\C:\" is the last folder that holds anything.
        if (cut == detail::LibraryString::npos || cut + 1 >= up.size() || cut < 4)
            return -1;
        up.resize(up[cut - 1] == ':' ? cut + 1 : cut);
        DirectoryId id;
        if (!Identify(up, id))
            return -1;
        ++levels;
        if (id == top)
            return levels;
        if (sameVolume && id.volume != volume)
            return -1;
        if (up[up.size() - 1] == '\\')
            return -1; // the root of the volume, and not `top`
    }
    return -1;
}

} // namespace platform
} // namespace zel
