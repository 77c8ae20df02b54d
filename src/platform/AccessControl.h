// Access to kernel objects across accounts: the shared-access security
// descriptor, the administrator test, and names in the system's character set.
//
// The descriptor is built step by step so that the order of the work, its
// messages and its exceptions stay in one place (src/security) for both platforms.
#pragma once

#include <string>

namespace zel {
namespace platform {

// The descriptor that lets every account use an object but change neither its
// access list nor its owner. Windows: Everyone (S-1-1-0) denied WRITE_DAC |
// WRITE_OWNER, then allowed GENERIC_ALL. Elsewhere nothing needs building: the
// object functions give their files the modes they need themselves.
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

// Whether the calling thread runs with administrator rights.
bool IsAdministrator();

// `text` decoded from the system's narrow character set (the ANSI code page on
// Windows; UTF-8 elsewhere, a byte that is not part of UTF-8 standing for itself).
std::wstring WideFromNarrow(const char* text);

} // namespace platform
} // namespace zel
