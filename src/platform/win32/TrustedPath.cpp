// Win32 code only: the explicit descriptors of the log folder and of a mapping's
// backing file, the owner check of the log folder, and opening a backing file
// without following another account's reparse points, at its name or on the way.
// See TrustedPath.h for the rule.
#include "platform/TrustedPath.h"

#include "platform/AccessControl.h"

#include <cstring>
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

namespace zel {
namespace platform {
namespace trust {

namespace {

// The log folder: protected from ProgramData's inherited entries. SYSTEM and
// Administrators in full control of it and of everything in it. Every account
// may list it, traverse it and add files (not folders, so no junction): a log
// that is missing is made by whoever writes first. In the files every account
// may read and append, and nothing else: reading also lets it take the byte
// locks that serialise appends, while rewriting what is written (WRITE_DATA),
// changing attributes (WRITE_ATTRIBUTES: a read-only log refuses every writer),
// deleting, renaming and re-permissioning are not needed to append, and only
// the administrators rotate. No creator-owner entry: a file a standard account
// made gets the same rights (its owner keeps only what Windows gives an owner,
// and an elevated process moves such a log aside).
const char kLogFolderSddl[] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200A3;;;WD)"
                              "(A;OIIO;0x12008D;;;WD)";
// A mapping's backing file: every account reads and writes it (the object is
// shared by name), none but SYSTEM and Administrators may delete it or change its
// access rules or owner.
const char kBackingFileSddl[] = "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x12019F;;;WD)";

// Security attributes holding the descriptor of `sddl`, freed with LocalFree.
class Attributes {
public:
    explicit Attributes(const char* sddl) : m_sa() {
        m_sa.nLength = sizeof m_sa;
        m_sa.bInheritHandle = FALSE;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(
                sddl, SDDL_REVISION_1, &m_sa.lpSecurityDescriptor, nullptr))
            m_sa.lpSecurityDescriptor = nullptr;
    }
    ~Attributes() {
        if (m_sa.lpSecurityDescriptor != nullptr)
            LocalFree(m_sa.lpSecurityDescriptor);
    }
    Attributes(const Attributes&) = delete;
    Attributes& operator=(const Attributes&) = delete;
    SECURITY_ATTRIBUTES* get() { return m_sa.lpSecurityDescriptor != nullptr ? &m_sa : nullptr; }

private:
    SECURITY_ATTRIBUTES m_sa;
};

// True when `owner` is SYSTEM, the Administrators group or this process's user.
bool TrustedOwnerSid(PSID owner) {
    if (owner == nullptr)
        return false;
    if (IsWellKnownSid(owner, WinLocalSystemSid) ||
        IsWellKnownSid(owner, WinBuiltinAdministratorsSid))
        return true;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    bool same = false;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size > 0) {
        void* buffer = LocalAlloc(LPTR, size);
        if (buffer != nullptr) {
            if (GetTokenInformation(token, TokenUser, buffer, size, &size))
                same = EqualSid(owner, static_cast<TOKEN_USER*>(buffer)->User.Sid) != FALSE;
            LocalFree(buffer);
        }
    }
    CloseHandle(token);
    return same;
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// The length of the first `parts` names of `path` with the separator after each.
std::size_t SkipNames(const char* path, std::size_t length, int parts) {
    std::size_t i = 0;
    for (int seen = 0; i < length && seen < parts; ++i)
        seen += IsSeparator(path[i]) ? 1 : 0;
    return i;
}

// Where the folders of `path` begin: after "C:\\", "\\\\server\\share\\", a
// leading separator, or any of these behind "\\\\?\\" or "\\\\.\\" (with
// "UNC\\server\\share\\"); 0 for a relative path.
std::size_t RootLength(const char* path, std::size_t length) {
    const bool twoSeparators = length >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
    if (twoSeparators && length >= 4 && (path[2] == '?' || path[2] == '.') &&
        IsSeparator(path[3])) {
        const char* rest = path + 4;
        const std::size_t left = length - 4;
        if (left >= 4 && _strnicmp(rest, "UNC", 3) == 0 && IsSeparator(rest[3]))
            return 8 + SkipNames(rest + 4, left - 4, 2);
        return 4 + RootLength(rest, left);
    }
    if (twoSeparators)
        return 2 + SkipNames(path + 2, length - 2, 2);
    if (length >= 2 && path[1] == ':')
        return length >= 3 && IsSeparator(path[2]) ? 3 : 2;
    return length >= 1 && IsSeparator(path[0]) ? 1 : 0;
}

// The folders on the way to a file, each opened as itself (a reparse point is not
// followed) and held open without delete sharing, so that none of them can be
// renamed, removed or replaced by a junction until the file is open. A reparse
// point on the way is passed only when SYSTEM, the Administrators or this
// account own it (their intent); one of another account fails the walk with
// ERROR_CANT_ACCESS_FILE. Nothing is allocated.
class PinnedWay {
public:
    PinnedWay() = default;
    PinnedWay(const PinnedWay&) = delete;
    PinnedWay& operator=(const PinnedWay&) = delete;
    ~PinnedWay() {
        while (m_count > 0)
            CloseHandle(m_pinned[--m_count]);
    }

    bool Pin(const char* path) {
        const std::size_t length = std::strlen(path);
        if (length >= MAX_PATH) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return false;
        }
        char prefix[MAX_PATH];
        std::memcpy(prefix, path, length + 1);
        for (std::size_t i = RootLength(path, length); i < length; ++i) {
            if (!IsSeparator(path[i]) || i == 0 || IsSeparator(path[i - 1]))
                continue;
            prefix[i] = '\0';
            const bool passed = PinFolder(prefix);
            prefix[i] = path[i];
            if (!passed)
                return false;
        }
        return true;
    }

private:
    static HANDLE OpenAsItself(const char* folder, DWORD access) {
        return CreateFileA(folder, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                           nullptr);
    }

    bool PinFolder(const char* folder) {
        HANDLE h = OpenAsItself(folder, FILE_READ_ATTRIBUTES | READ_CONTROL);
        if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED)
            h = OpenAsItself(folder, FILE_READ_ATTRIBUTES);
        if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
            // A folder this account may pass through (traverse checking is
            // bypassed by default) but not open: left unpinned when it is a
            // plain folder, as nothing else can be learned of it.
            const DWORD attributes = GetFileAttributesA(folder);
            if (attributes != INVALID_FILE_ATTRIBUTES &&
                (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
                return true;
            SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
        if (h == INVALID_HANDLE_VALUE)
            return false;
        BY_HANDLE_FILE_INFORMATION info;
        bool passed = GetFileInformationByHandle(h, &info) != FALSE;
        if (passed && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            PSID owner = nullptr;
            PSECURITY_DESCRIPTOR descriptor = nullptr;
            passed = GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                     nullptr, nullptr, &descriptor) == ERROR_SUCCESS &&
                     TrustedOwnerSid(owner);
            if (descriptor != nullptr)
                LocalFree(descriptor);
            if (!passed)
                SetLastError(ERROR_CANT_ACCESS_FILE);
        }
        if (!passed || m_count == kMaxPinned) {
            DWORD error = passed ? ERROR_FILENAME_EXCED_RANGE : GetLastError();
            CloseHandle(h);
            SetLastError(error);
            return false;
        }
        m_pinned[m_count++] = h;
        return true;
    }

    static const std::size_t kMaxPinned = MAX_PATH / 2;
    HANDLE m_pinned[kMaxPinned];
    std::size_t m_count = 0;
};

} // namespace

void ForceComponentWalk(bool) {}

bool TrustedLogFolder(const std::string& path, std::string& why) {
    why.clear();
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return false;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        why = "it is a reparse point";
        return false;
    }
    if (!IsAdministrator())
        return true; // a standard account's log: whoever made the folder
    // An elevated process never logs into a folder a standard account made or owns.
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                              nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        why = "its owner cannot be read";
        return false;
    }
    bool trusted = TrustedOwnerSid(owner);
    LocalFree(descriptor);
    if (!trusted)
        why = "a standard account owns it and this process is elevated";
    return trusted;
}

bool CreateLogFolder(const std::string& path) {
    Attributes attributes(kLogFolderSddl);
    if (attributes.get() == nullptr)
        return false;
    return CreateDirectoryA(path.c_str(), attributes.get()) != 0;
}

void* OpenBackingFile(const char* path, bool& existed) {
    Attributes attributes(kBackingFileSddl);
    if (attributes.get() == nullptr)
        return nullptr;
    PinnedWay way;
    if (!way.Pin(path))
        return nullptr;
    SetLastError(ERROR_SUCCESS);
    // A reparse point at the name is opened as itself, never followed.
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           attributes.get(), OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return nullptr;
    existed = GetLastError() == ERROR_ALREADY_EXISTS;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info)) {
        DWORD error = GetLastError();
        CloseHandle(h);
        SetLastError(error);
        return nullptr;
    }
    if ((info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
        info.nNumberOfLinks != 1) {
        CloseHandle(h);
        SetLastError(info.nNumberOfLinks != 1 ? ERROR_TOO_MANY_LINKS : ERROR_CANT_ACCESS_FILE);
        return nullptr;
    }
    return h;
}

bool TrustedFileOwner(const char* path) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(path, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                              nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    const bool trusted = TrustedOwnerSid(owner);
    LocalFree(descriptor);
    return trusted;
}

bool TrustedFileOwner(void* handle) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(static_cast<HANDLE>(handle), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                        &owner, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    const bool trusted = TrustedOwnerSid(owner);
    LocalFree(descriptor);
    return trusted;
}

} // namespace trust
} // namespace platform
} // namespace zel
