// Generic POSIX code only: the shared-access descriptor (nothing to build), the
// administrator test, and names decoded from UTF-8.
#include "platform/AccessControl.h"

#include <cstdint>
#include <unistd.h>

namespace zel {
namespace platform {

// ---- The descriptor: nothing to build here ----

SharedDescriptor::SharedDescriptor()
    : m_sid(nullptr), m_acl(nullptr), m_descriptor(), m_attributes() {}
SharedDescriptor::~SharedDescriptor() {
    Release();
}
bool SharedDescriptor::CreateWorldSid() {
    return true;
}
SharedDescriptor::Step SharedDescriptor::BuildRest() {
    return Done;
}
void SharedDescriptor::Release() {}
void* SharedDescriptor::Attributes() {
    return nullptr;
}

bool IsAdministrator() {
    return geteuid() == 0;
}

std::wstring WideFromNarrow(const char* text) {
    std::wstring out;
    if (text == nullptr)
        return out;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        unsigned char c = *p;
        int extra = c >= 0xF0 && c <= 0xF4 ? 3
                    : c >= 0xE0            ? (c <= 0xEF ? 2 : -1)
                    : c >= 0xC2            ? 1
                    : c < 0x80             ? 0
                                           : -1;
        std::uint32_t cp = extra == 0   ? c
                           : extra == 1 ? (c & 0x1F)
                           : extra == 2 ? (c & 0x0F)
                                        : (c & 0x07);
        bool ok = extra >= 0;
        for (int i = 1; ok && i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (p[i] & 0x3F);
        }
        if (ok && ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
                   (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))))
            ok = false;
        if (!ok) { // a byte outside UTF-8 stands for itself
            out += static_cast<wchar_t>(c);
            ++p;
            continue;
        }
        out += static_cast<wchar_t>(cp);
        p += extra + 1;
    }
    return out;
}

} // namespace platform
} // namespace zel
