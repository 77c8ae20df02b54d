// Win32 code only: the shared-access descriptor, the administrator test with
// AccessCheck, and names from the ANSI code page.
#include "platform/AccessControl.h"

#include <windows.h>

namespace zel {
namespace platform {

// ---- The shared-access descriptor ----

SharedDescriptor::SharedDescriptor()
    : m_sid(nullptr), m_acl(nullptr), m_descriptor(), m_attributes() {
    static_assert(sizeof(SECURITY_DESCRIPTOR) <= sizeof m_descriptor, "descriptor storage");
    static_assert(sizeof(SECURITY_ATTRIBUTES) <= sizeof m_attributes, "attributes storage");
}

SharedDescriptor::~SharedDescriptor() {
    Release();
}

bool SharedDescriptor::CreateWorldSid() {
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY; // 0,0,0,0,0,1
    PSID sid = nullptr;
    if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &sid))
        return false;
    m_sid = sid;
    return true;
}

SharedDescriptor::Step SharedDescriptor::BuildRest() {
    DWORD aclSize = 2 * GetLengthSid(m_sid) + 32;
    m_acl = LocalAlloc(LPTR, aclSize); // fixed and zero-filled
    if (m_acl == nullptr)
        return StepLocalAllocAcl;
    PACL acl = static_cast<PACL>(m_acl);
    if (!InitializeAcl(acl, aclSize, ACL_REVISION))
        return StepInitializeAcl;
    // The denial comes first, so it wins over the grant for these two rights.
    if (!AddAccessDeniedAce(acl, ACL_REVISION, WRITE_DAC | WRITE_OWNER, m_sid))
        return StepAddDeniedAce;
    if (!AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, m_sid))
        return StepAddAllowedAce;
    PSECURITY_DESCRIPTOR sd = m_descriptor;
    if (!InitializeSecurityDescriptor(sd, SECURITY_DESCRIPTOR_REVISION))
        return StepInitializeDescriptor;
    if (!SetSecurityDescriptorDacl(sd, TRUE, acl, FALSE))
        return StepSetDacl;
    SECURITY_ATTRIBUTES* sa = reinterpret_cast<SECURITY_ATTRIBUTES*>(m_attributes);
    sa->nLength = sizeof(SECURITY_ATTRIBUTES);
    sa->lpSecurityDescriptor = sd;
    sa->bInheritHandle = FALSE;
    return Done;
}

void SharedDescriptor::Release() {
    if (m_acl != nullptr) {
        LocalFree(m_acl);
        m_acl = nullptr;
    }
    if (m_sid != nullptr) {
        FreeSid(m_sid);
        m_sid = nullptr;
    }
}

void* SharedDescriptor::Attributes() {
    return m_attributes;
}

// ---- Administrator test ----

bool IsAdministrator() {
    if (!ImpersonateSelf(SecurityImpersonation))
        return false;
    HANDLE token = nullptr;
    PSID admins = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PACL acl = nullptr;
    BOOL status = FALSE;
    bool answer = false;
    do {
        if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, FALSE, &token)) {
            token = nullptr;
            if (GetLastError() != ERROR_NO_TOKEN)
                break;
            if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
                token = nullptr;
                break;
            }
        }
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY; // 0,0,0,0,0,5
        if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS,
                                      0, 0, 0, 0, 0, 0, &admins)) {
            admins = nullptr;
            break;
        }
        descriptor = LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH);
        if (descriptor == nullptr ||
            !InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION))
            break;
        DWORD aclSize = GetLengthSid(admins) + 16;
        acl = static_cast<PACL>(LocalAlloc(LPTR, aclSize));
        if (acl == nullptr || !InitializeAcl(acl, aclSize, ACL_REVISION2))
            break;
        const DWORD kRead = 1, kWrite = 2;
        if (!AddAccessAllowedAce(acl, ACL_REVISION2, kRead | kWrite, admins))
            break;
        if (!SetSecurityDescriptorDacl(descriptor, TRUE, acl, FALSE))
            break;
        SetSecurityDescriptorGroup(descriptor, admins, FALSE);
        SetSecurityDescriptorOwner(descriptor, admins, FALSE);
        if (!IsValidSecurityDescriptor(descriptor))
            break;
        GENERIC_MAPPING mapping = {kRead, kWrite, 0, kRead | kWrite};
        DWORD privileges[5] = {}; // a 20-byte PRIVILEGE_SET
        DWORD privilegesLength = sizeof privileges;
        DWORD granted = 0;
        if (!AccessCheck(descriptor, token, kRead, &mapping,
                         reinterpret_cast<PPRIVILEGE_SET>(privileges), &privilegesLength, &granted,
                         &status))
            break;
        answer = status != FALSE;
    } while (false);
    // Ends the impersonation on every path, not only after a successful check, so
    // the thread never keeps a token it did not ask for.
    RevertToSelf();
    if (acl != nullptr)
        LocalFree(acl);
    if (descriptor != nullptr)
        LocalFree(descriptor);
    if (admins != nullptr)
        FreeSid(admins);
    if (token != nullptr)
        CloseHandle(token);
    return answer;
}

std::wstring WideFromNarrow(const char* text) {
    if (text == nullptr || *text == '\0')
        return std::wstring();
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (n <= 1)
        return std::wstring();
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &out[0], n);
    out.resize(static_cast<std::size_t>(n - 1));
    return out;
}

} // namespace platform
} // namespace zel
