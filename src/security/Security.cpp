// Accessible mutex and file mapping, the administrator test and their companions.
#include "zel/Security.h"

#include "base/ObjectName.h"
#include "platform/Errors.h"
#include "platform/AccessControl.h"
#include "platform/CallDeadline.h"
#include "platform/KernelHandle.h"
#include "platform/NamedMapping.h"
#include "platform/NamedMutex.h"
#include "zel/Exception.h"

#include <cstdio>
#include <cwchar>
#include <type_traits>
#include <string>

namespace zel {
namespace util {

namespace {

// The most that obtaining a shared object waits, all its steps and retries
// together, when other processes hold or keep replacing its name.
const unsigned int kObjectCallMs = 1000;

// A name as wide text that "%ls" always prints, and prints safely: control bytes
// (C0, DEL, C1 in UTF-8 or raw), '%' and bytes outside well-formed UTF-8 are
// written as %XX first, as all text of others is (base::EscapedText); characters
// the C library's current locale cannot convert would make the whole message
// fail, so they are written as \uXXXX escapes (\UXXXXXXXX above U+FFFF). Never
// throws.
std::wstring MessageName(const char* name) noexcept {
    try {
        if (name == nullptr)
            return L"(null)";
        std::wstring wide = platform::WideFromNarrow(base::EscapedText(name, true).c_str());
        std::wstring out;
        out.reserve(wide.size());
        for (wchar_t c : wide) {
            char bytes[16];
            std::mbstate_t state{};
            // NOLINTNEXTLINE(concurrency-mt-unsafe) // its own state object: no shared state
            if (std::wcrtomb(bytes, c, &state) != static_cast<std::size_t>(-1)) {
                out += c;
                continue;
            }
            // Eight digits beyond U+FFFF (wchar_t holds those on Linux; on
            // Windows they come as two \u escapes of a surrogate pair), so that
            // a digit after the character never reads as part of its escape.
            const unsigned long code =
                static_cast<std::make_unsigned<wchar_t>::type>(c); // never negative here
            wchar_t escape[16];
            (void)std::swprintf(escape, 16, code > 0xFFFF ? L"\\U%08lX" : L"\\u%04lX", code);
            out += escape;
        }
        return out;
    } catch (...) {
        return std::wstring();
    }
}

int LastError() {
    return static_cast<int>(platform::LastErrorCode());
}

const char* DescriptorStepMessage(platform::SharedDescriptor::Step step) {
    switch (step) {
    case platform::SharedDescriptor::StepLocalAllocAcl:
        return "ObtainAccessableMutex: LocalAlloc Failed: %d";
    case platform::SharedDescriptor::StepInitializeAcl:
        return "ObtainAccessableMutex: InitializeAcl Failed: %d";
    case platform::SharedDescriptor::StepAddDeniedAce:
        return "ObtainAccessableMutex: AddAccessDeniedAce Failed: %d";
    case platform::SharedDescriptor::StepAddAllowedAce:
        return "ObtainAccessableMutex: AddAccessAllowedAce Failed: %d";
    case platform::SharedDescriptor::StepInitializeDescriptor:
        return "ObtainAccessableMutex: InitializeSecurityDescriptor Failed: %d";
    case platform::SharedDescriptor::StepSetDacl:
        return "ObtainAccessableMutex: SetSecurityDescriptorDacl Failed: %d";
    default:
        return "ObtainAccessableMutex: AllocateAndInitialzieSid Failed: %d";
    }
}

// Writes to the log why the mapping registered under `name` was not trusted, once.
void ReportRefusal(const char* name, std::string& refusal) {
    if (refusal.empty())
        return;
    Exception::error("ObtainAccessableFileMapping: refused the mapping %ls: %s",
                     MessageName(name).c_str(), refusal.c_str());
    refusal.clear();
}

} // namespace

void* ObtainAccessableMutex(int initialOwner, const char* name, int* created) {
    platform::CallDeadline bound(kObjectCallMs);
    platform::SharedDescriptor descriptor;
    try {
        if (!descriptor.CreateWorldSid()) {
            Exception::error(DescriptorStepMessage(platform::SharedDescriptor::StepAllocateSid),
                             LastError());
            return nullptr;
        }
        platform::SharedDescriptor::Step failed = descriptor.BuildRest();
        if (failed != platform::SharedDescriptor::Done) {
            int code = LastError();
            descriptor.Release();
            Exception::error(DescriptorStepMessage(failed), code);
            return nullptr;
        }

        bool existed = false;
        void* handle =
            platform::CreateNamedMutex(descriptor.Attributes(), initialOwner != 0, name, existed);
        if (handle != nullptr) {
            if (created != nullptr)
                *created = existed ? 0 : 1;
        } else {
            handle = platform::OpenNamedMutex(name);
            if (handle != nullptr) {
                if (created != nullptr)
                    *created = 0;
            } else {
                // Whoever held the name may have closed it in the meantime.
                handle = platform::CreateNamedMutex(descriptor.Attributes(), initialOwner != 0,
                                                    name, existed);
                if (handle != nullptr) {
                    if (created != nullptr)
                        *created = existed ? 0 : 1;
                } else {
                    int code = LastError();
                    Exception::error("Error ObtainAccessableMutex:CreateMutex %ls, %d",
                                     MessageName(name).c_str(), code);
                }
            }
        }
        descriptor.Release();
        return handle;
    } catch (...) {
        int code = LastError();
        descriptor.Release();
        try {
            Exception::error("Error ObtainAccessableMutex %ls, %d", MessageName(name).c_str(),
                             code);
        } catch (...) {
        }
        return nullptr;
    }
}

namespace {

// The shared descriptor denies every account WRITE_DAC and WRITE_OWNER, so a
// request that includes them (AccessableMapAllAccess does) can never be granted,
// not even to the creator. Such a request is retried without those two rights:
// the handle then carries every right the object can give.
void* OpenExistingMapping(unsigned long access, const char* name, std::string& refusal) {
    const unsigned long kDenied = 0x000C0000; // WRITE_DAC | WRITE_OWNER
    void* mapping = platform::OpenNamedMapping(access, name, refusal);
    if (mapping == nullptr && refusal.empty() && (access & kDenied) != 0)
        mapping = platform::OpenNamedMapping(access & ~kDenied, name, refusal);
    return mapping;
}

} // namespace

void* ObtainAccessableFileMapping(const char* fileName, unsigned long protection,
                                  unsigned long access, unsigned long sizeHigh,
                                  unsigned long sizeLow, const char* mappingName, int* created) {
    if (created != nullptr)
        *created = 0;
    platform::CallDeadline bound(kObjectCallMs);
    platform::SharedDescriptor descriptor;
    if (!descriptor.CreateWorldSid())
        return nullptr;
    try {
        if (descriptor.BuildRest() != platform::SharedDescriptor::Done)
            throw Exception("Long API failed %d", LastError());

        // With a size given and no file yet, there is nothing an existing mapping
        // could be backed by: go straight to creating the file.
        bool newFile = (sizeHigh != 0 || sizeLow != 0) && !platform::PathExists(fileName);
        std::string refusal;
        if (!newFile) {
            void* mapping = OpenExistingMapping(access, mappingName, refusal);
            ReportRefusal(mappingName, refusal);
            if (mapping != nullptr) {
                descriptor.Release();
                return mapping;
            }
        }

        bool existed = false;
        void* file = platform::OpenSharedFile(fileName, descriptor.Attributes(), existed);
        if (file == nullptr) {
            descriptor.Release();
            throw Exception("Unable to create file: %ls", MessageName(fileName).c_str());
        }
        if (created != nullptr)
            *created = existed ? 0 : 1;

        bool mappingExisted = false;
        void* mapping =
            platform::CreateNamedMapping(file, descriptor.Attributes(), protection, sizeHigh,
                                         sizeLow, mappingName, mappingExisted, refusal);
        int code = LastError();
        platform::CloseSharedFile(file);
        ReportRefusal(mappingName, refusal);
        if (mapping == nullptr) {
            // Out of memory is not a name someone else holds: no second try.
            if (platform::IsOutOfMemory(static_cast<unsigned long>(code)))
                throw MemoryException();
            // Another process may have made the mapping meanwhile: open it. When
            // there is none, why creating it failed (a full disk, a file that may
            // not grow) says more than that there is none.
            const int createCode = code;
            mapping = OpenExistingMapping(access, mappingName, refusal);
            code = LastError();
            ReportRefusal(mappingName, refusal);
            if (mapping == nullptr)
                throw Exception("Open failed %d",
                                platform::IsNotFound(static_cast<unsigned long>(code)) ? createCode
                                                                                       : code);
        }
        descriptor.Release();
        return mapping;
    } catch (MemoryException&) {
        descriptor.Release();
        throw;
    } catch (Exception& e) {
        descriptor.Release();
        e.rethrow();
    } catch (...) {
        descriptor.Release();
        throw Exception("Severe Error ObtainAccessableFileMappingEx: %ls",
                        MessageName(fileName).c_str());
    }
    return nullptr;
}

bool IsAdmin() {
    try {
        return platform::IsAdministrator();
    } catch (...) {
        return false;
    }
}

int WaitAccessableMutex(void* mutex, unsigned int milliseconds) {
    static_assert(AccessableInfinite == platform::kWaitForever, "the wait without limit");
    switch (platform::WaitNamedMutex(mutex, milliseconds)) {
    case platform::MutexWait::Acquired:
        return AccessableWaitAcquired;
    case platform::MutexWait::Abandoned:
        return AccessableWaitAbandoned;
    case platform::MutexWait::Timeout:
        return AccessableWaitTimeout;
    default:
        return AccessableWaitFailed;
    }
}

bool ReleaseAccessableMutex(void* mutex) {
    return platform::ReleaseNamedMutex(mutex);
}

// The platform layer names the same Win32 values itself.
static_assert(AccessablePageReadOnly == platform::kPageReadOnly &&
                  AccessablePageReadWrite == platform::kPageReadWrite &&
                  AccessablePageWriteCopy == platform::kPageWriteCopy &&
                  AccessablePageExecuteRead == platform::kPageExecuteRead &&
                  AccessablePageExecuteReadWrite == platform::kPageExecuteReadWrite,
              "page protections");
static_assert(AccessableMapCopy == platform::kMapCopy &&
                  AccessableMapWrite == platform::kMapWrite &&
                  AccessableMapRead == platform::kMapRead,
              "mapping access");

void* MapAccessableView(void* mapping, unsigned long access, unsigned long long offset,
                        unsigned long bytes) {
    return platform::MapView(mapping, access, offset, bytes);
}

bool UnmapAccessableView(void* view) {
    return platform::UnmapView(view);
}

bool CloseAccessableHandle(void* handle) {
    return platform::CloseKernelHandle(handle);
}

} // namespace util
} // namespace zel
