// Security descriptors, named mutexes, file mappings and the administrator test.
//
// The shared-access descriptor and the named objects are exposed step by step so
// that the order of the work, its messages and its exceptions stay in one place
// (src/security) for both platforms.
#pragma once

#include <string>

namespace zel {
namespace platform {

// The descriptor that lets every account use an object but change neither its
// access list nor its owner. Windows: Everyone (S-1-1-0) denied WRITE_DAC |
// WRITE_OWNER, then allowed GENERIC_ALL. Elsewhere nothing needs building: the
// object functions below create objects with mode 0666 themselves.
class SharedDescriptor {
public:
    enum Step {
        Done,
        StepAllocateSid,
        StepLocalAllocAcl,
        StepInitializeAcl,
        StepAddDeniedAce,
        StepAddAllowedAce,
        StepInitializeDescriptor,
        StepSetDacl
    };

    SharedDescriptor();
    // Releases whatever is still held.
    ~SharedDescriptor();
    SharedDescriptor(const SharedDescriptor&) = delete;
    SharedDescriptor& operator=(const SharedDescriptor&) = delete;

    // The Everyone identifier; false (with the last error code set) on failure.
    bool CreateWorldSid();
    // The list buffer, its two entries and the descriptor; the failing step, or Done.
    Step BuildRest();
    // Frees the list buffer and the identifier, each at most once.
    void Release();
    // The security attributes for creating calls (null where not used).
    void* Attributes();

private:
    // Used by the Win32 backend only; the POSIX one has no descriptor to build.
    [[maybe_unused]] void* m_sid;
    [[maybe_unused]] void* m_acl;
    [[maybe_unused]] alignas(8) unsigned char m_descriptor[48];
    [[maybe_unused]] alignas(8) unsigned char m_attributes[32];
};

// Named mutex. Create: create or open (existed tells which); Open: open only.
void* CreateNamedMutex(void* attributes, bool initialOwner, const char* name, bool& existed);
void* OpenNamedMutex(const char* name);

// True when `path` names an existing file or folder.
bool PathExists(const char* path);
// Opens `path` for reading and writing, creating it (world read and write) when
// missing; null on failure. `existed` tells whether it was there before.
void* OpenSharedFile(const char* path, void* attributes, bool& existed);
void CloseSharedFile(void* file);
// Named mapping over `file`: created, or the existing one of that name (existed).
void* CreateNamedMapping(void* file, void* attributes, unsigned long protection,
                         unsigned long sizeHigh, unsigned long sizeLow, const char* name,
                         bool& existed);
void* OpenNamedMapping(unsigned long access, const char* name);

// Companions.
int WaitNamedMutex(void* mutex, unsigned int milliseconds); // an AccessableWaitResult
bool ReleaseNamedMutex(void* mutex);
void* MapView(void* mapping, unsigned long access, unsigned long long offset, unsigned long bytes);
bool UnmapView(void* view);
bool CloseObject(void* handle);

bool IsAdministrator();

// `text` decoded from the system's narrow character set (the ANSI code page on
// Windows; UTF-8 elsewhere, a byte that is not part of UTF-8 standing for itself).
std::wstring WideFromNarrow(const char* text);

} // namespace platform
} // namespace zel
