// File mappings that processes of every account share by name, and their views.
//
// Handles are closed with CloseKernelHandle.
#pragma once

#include <cstddef>
#include <string>

namespace zel {
namespace platform {

// Page protections of a new mapping and access to a mapping or a view (the values
// of the Win32 constants).
const unsigned long kPageReadOnly = 0x02;
const unsigned long kPageReadWrite = 0x04;
const unsigned long kPageWriteCopy = 0x08;
const unsigned long kPageExecuteRead = 0x20;
const unsigned long kPageExecuteReadWrite = 0x40;
const unsigned long kPageExecuteWriteCopy = 0x80;
const unsigned long kMapCopy = 0x0001;
const unsigned long kMapWrite = 0x0002;
const unsigned long kMapRead = 0x0004;

// True when `path` names an existing file or folder.
bool PathExists(const char* path);
// Opens `path` for reading and writing, creating it (world read and write) when
// missing; null on failure. `existed` tells whether it was there before. Never
// through a link or reparse point of another account, and only a regular file
// with one link.
void* OpenSharedFile(const char* path, void* attributes, bool& existed);
void CloseSharedFile(void* file);

// Named mapping over `file`: created, or the existing one of that name (existed).
// `refusal` receives why an existing mapping of that name was not trusted, if so.
void* CreateNamedMapping(void* file, void* attributes, unsigned long protection,
                         unsigned long sizeHigh, unsigned long sizeLow, const char* name,
                         bool& existed, std::string& refusal);
// Opens the existing mapping `name`; null when there is none or (with `refusal`
// set) when what is registered under the name is not to be trusted.
void* OpenNamedMapping(unsigned long access, const char* name, std::string& refusal);

// Whether the `size` bytes at `record` are a mapping record that describes the
// file with this device, inode and size (the reader the named mappings use;
// Windows keeps no records: false).
bool MappingRecordAccepted(const void* record, std::size_t size, unsigned long long device,
                           unsigned long long inode, long long fileSize);

void* MapView(void* mapping, unsigned long access, unsigned long long offset, unsigned long bytes);
bool UnmapView(void* view);

} // namespace platform
} // namespace zel
