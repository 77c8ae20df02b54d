// Win32 code only: named file mappings with the shared-access attributes, and views.
#include "platform/NamedMapping.h"
#include "platform/TrustedPath.h"

#include <windows.h>

namespace zel {
namespace platform {

bool PathExists(const char* path) {
    return path != nullptr && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// The file gets its own descriptor (TrustedPath.h), not the mapping's: the
// mapping's grants DELETE, WRITE_DAC and WRITE_OWNER of a file to Everyone.
void* OpenSharedFile(const char* path, void*, bool& existed) {
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    return trust::OpenBackingFile(path, existed);
}

void CloseSharedFile(void* file) {
    if (file != nullptr)
        CloseHandle(file);
}

namespace {

// Whether a mapping of this protection may grow its file to the size asked for.
bool MayGrowFile(unsigned long protection) {
    return protection == PAGE_READWRITE || protection == PAGE_EXECUTE_READWRITE;
}

// Whether `sizeHigh`:`sizeLow` asks for more than `file` holds.
bool LargerThanFile(HANDLE file, unsigned long sizeHigh, unsigned long sizeLow) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size))
        return false;
    const unsigned long long asked = (static_cast<unsigned long long>(sizeHigh) << 32) |
                                     static_cast<unsigned long long>(sizeLow);
    return asked > static_cast<unsigned long long>(size.QuadPart);
}

} // namespace

// The kernel keeps the mapping itself; there is no record to refuse here.
void* CreateNamedMapping(void* file, void* attributes, unsigned long protection,
                         unsigned long sizeHigh, unsigned long sizeLow, const char* name,
                         bool& existed, std::string&) {
    SetLastError(ERROR_SUCCESS);
    HANDLE h = CreateFileMappingA(file, static_cast<SECURITY_ATTRIBUTES*>(attributes), protection,
                                  sizeHigh, sizeLow, name);
    existed = h != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
    // A mapping that may not write its file, asked to be larger than the file, is
    // refused as "section too big", which the system reports with the code of
    // exhausted memory. No memory ran out: say that it may not grow the file, as
    // the POSIX backend does.
    if (h == nullptr) {
        DWORD code = GetLastError();
        if (code == ERROR_NOT_ENOUGH_MEMORY && !MayGrowFile(protection) &&
            LargerThanFile(file, sizeHigh, sizeLow))
            code = ERROR_ACCESS_DENIED;
        SetLastError(code);
    }
    return h;
}

void* OpenNamedMapping(unsigned long access, const char* name, std::string&) {
    return OpenFileMappingA(access, FALSE, name);
}

void* MapView(void* mapping, unsigned long access, unsigned long long offset, unsigned long bytes) {
    return MapViewOfFile(mapping, access, static_cast<DWORD>(offset >> 32),
                         static_cast<DWORD>(offset & 0xFFFFFFFFu), bytes);
}

bool UnmapView(void* view) {
    return view != nullptr && UnmapViewOfFile(view) != FALSE;
}

bool MappingRecordAccepted(const void*, std::size_t, unsigned long long, unsigned long long,
                           long long) {
    return false;
}

} // namespace platform
} // namespace zel
