// Win32 code only: FindFirstFileA / FindNextFileA, file-time conversion and file identities.
#include "platform/DirSearch.h"

#include "zel/Directory.h"

#include <windows.h>
#include <new>
#include <time.h>

namespace zel {

namespace platform {

namespace {

void Store(const WIN32_FIND_DATAA& data, FoundEntry& entry) {
    entry.name.assign(data.cFileName);
    entry.attributes = data.dwFileAttributes;
    entry.sizeHigh = data.nFileSizeHigh;
    entry.sizeLow = data.nFileSizeLow;
    entry.lastWrite.value =
        (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
        data.ftLastWriteTime.dwLowDateTime;
}

} // namespace

SearchHandle FindFirst(const char* pattern, FoundEntry& entry) {
    if (pattern == nullptr)
        return nullptr;
    WIN32_FIND_DATAA data;
    HANDLE handle = FindFirstFileA(pattern, &data);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    try {
        Store(data, entry);
    } catch (const std::bad_alloc&) {
        ::FindClose(handle);
        return nullptr;
    }
    return handle;
}

bool FindNext(SearchHandle search, FoundEntry& entry) {
    if (search == nullptr)
        return false;
    WIN32_FIND_DATAA data;
    if (!FindNextFileA(static_cast<HANDLE>(search), &data))
        return false;
    try {
        Store(data, entry);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void FindClose(SearchHandle search) {
    if (search != nullptr)
        ::FindClose(static_cast<HANDLE>(search));
}

bool FileStampToSeconds(const FileStamp& stamp, long long& seconds) {
    FILETIME fileTime;
    fileTime.dwLowDateTime = static_cast<DWORD>(stamp.value & 0xFFFFFFFFu);
    fileTime.dwHighDateTime = static_cast<DWORD>(stamp.value >> 32);
    SYSTEMTIME utc;
    if (!FileTimeToSystemTime(&fileTime, &utc))
        return false;
    SYSTEMTIME local;
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        // No local calendar time: convert the file time exactly instead, with
        // _mktime64's answer (-1) for times before 1970.
        const long long ticks = static_cast<long long>(stamp.value) - 116444736000000000LL;
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

bool IdentifyDirectory(const char* path, DirectoryId& id) {
    if (path == nullptr)
        return false;
    // Backup semantics open directories; junctions and links are followed.
    HANDLE handle = CreateFileA(path, FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
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

} // namespace platform
} // namespace zel
