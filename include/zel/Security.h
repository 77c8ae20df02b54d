// ZELBase kernel objects that every account of the machine may open, and the
// administrator test (namespace zel::util).
//
// `ObtainAccessableMutex` and `ObtainAccessableFileMapping` create a named mutex or
// a named file mapping, or open the existing one, so that processes of any user
// account and services share it. `IsAdmin` tells whether the caller runs with
// administrator rights. The companions after them (wait, release, map, unmap,
// close) use the returned handles the same way on every platform.
//
// Windows: the objects get a security descriptor built from the Everyone
// identifier (S-1-1-0) that first denies WRITE_DAC | WRITE_OWNER and then allows
// GENERIC_ALL: every account may use the object, nobody may change its access
// list or owner. Handles are ordinary kernel handles; the companions are thin
// forwards to WaitForSingleObject, ReleaseMutex, MapViewOfFile, UnmapViewOfFile
// and CloseHandle, and a host may as well call those directly.
//
// Linux: a mutex is the file /dev/shm/zel.mutex.<name> (mode 0666), owned through
// a kernel byte-range lock on it; a mapping name is the record file
// /dev/shm/zel.filemap.<name> (mode 0644, written only by its creator), which names
// the mapped file so that another process finds the same file. A record that
// another account could have chosen is refused and the refusal logged. In <name>
// every byte other than a letter, a digit, '.', '_' and '-' is written as '%' and
// two upper-case hexadecimal digits. Nothing another account can write is
// trusted, so it can hold a mutex (a denial) but not crash or redirect its users.
// The object's name is removed when the last handle of every process has been
// closed; a process that ends without closing its handles leaves the name behind,
// and it is then simply opened again by the next caller. docs/os-objects.md has
// the details.
// Handles are only meaningful to the functions of this header. The Win32
// constants a host passes (page protection, mapping access) keep their Windows
// values; the Accessable* constants below name the ones that are understood.
//
// Thread safety: every function may be called from any thread; the functions keep
// no state of their own between calls (on Linux the table of live handles and
// views stands in for the kernel's handle table and is internally locked).
//
// Example:
//   int created = -1;
//   void* m = zel::util::ObtainAccessableMutex(0, "MyAppLock", &created);
//   // first process: m != nullptr, created == 1; any later one: created == 0
//   if (zel::util::WaitAccessableMutex(m, 5000) <= zel::util::AccessableWaitAbandoned) {
//       ...                                       // owned
//       zel::util::ReleaseAccessableMutex(m);
//   }
//   zel::util::CloseAccessableHandle(m);
//
//   void* f = zel::util::ObtainAccessableFileMapping(
//       "/var/tmp/shared.bin", zel::util::AccessablePageReadWrite,
//       zel::util::AccessableMapRead | zel::util::AccessableMapWrite, 0, 65536, "MyAppData",
//       &created);
//   char* p = static_cast<char*>(zel::util::MapAccessableView(f, zel::util::AccessableMapWrite, 0,
//   0)); p[0] = 'x';                                   // seen by every process mapping "MyAppData"
//   zel::util::UnmapAccessableView(p);
//   zel::util::CloseAccessableHandle(f);
#pragma once

#include "zel/Export.h"

namespace zel {
namespace util {

// ---- Creating and opening ----

// Creates the mutex `name` with the shared-access descriptor, or opens it when it
// exists. `initialOwner` non-zero asks for ownership by the calling thread; as on
// Windows it is granted only when this call created the mutex. `created` may be
// null; when given it receives 1 when this call created the mutex and 0 when it
// opened an existing one, and it is left as it was when the result is null.
// A null or empty name gives an unnamed mutex of this process only.
// Returns the handle (the caller closes it with CloseAccessableHandle), or null
// on failure; failures are written to the error log ("ObtainAccessableMutex: ...
// Failed: %d" for a descriptor step, "Error ObtainAccessableMutex:CreateMutex %ls,
// %d" when creating and opening both failed) and never thrown.
// Windows: when creating fails and the mutex is only opened (OpenMutexA), the
// handle carries SYNCHRONIZE access alone: it can be waited on, not released.
ZEL_API void* ObtainAccessableMutex(int initialOwner, const char* name, int* created);

// Opens the file mapping `mappingName`, or creates it over the file `fileName`
// (created with the shared-access descriptor when missing, mode 0666 on Linux).
// `protection` is the page protection of a new mapping (AccessablePage*), `access`
// the access asked for when an existing mapping is opened (AccessableMap*),
// `sizeHigh`:`sizeLow` the mapping's size; 0:0 maps the whole file, which must
// then not be empty. A larger size than the file's extends the file (writable
// protections only). When a size is given and the file does not exist yet, no
// existing mapping is looked for; with both halves 0 an existing mapping is
// always tried first. `created` (may be null) is set to 0 at once, then to 1 when
// this call created the file. Returns the mapping handle (close it with
// CloseAccessableHandle), or null when the Everyone identifier could not be made
// (Windows only).
// Throws zel::Exception: "Long API failed %d" (a descriptor step failed),
// "Unable to create file: %ls" (with the file name), "Open failed %d" (neither
// creating nor opening the mapping worked; the code is why creating failed when
// no mapping of that name was there to open, else why opening failed), "Severe Error
// ObtainAccessableFileMappingEx: %ls" (an unexpected failure inside); throws
// MemoryException when memory runs out while the mapping is made.
ZEL_API void* ObtainAccessableFileMapping(const char* fileName, unsigned long protection,
                                          unsigned long access, unsigned long sizeHigh,
                                          unsigned long sizeLow, const char* mappingName,
                                          int* created);

// True when the calling thread runs with administrator rights. Windows: its token
// is accepted as a member of the local Administrators group (S-1-5-32-544) by
// AccessCheck; a group present for deny only, or not enabled, does not count.
// Linux: the effective user is root (uid 0); membership of a sudo group without
// elevation does not count. Never throws; false when the answer cannot be found.
// Windows: the thread impersonates its own process while the call runs and ends
// the impersonation before it returns.
ZEL_API bool IsAdmin();

// ---- Constants understood by the functions (their Win32 values) ----

// Page protection of a new mapping.
const unsigned long AccessablePageReadOnly = 0x02;         // PAGE_READONLY
const unsigned long AccessablePageReadWrite = 0x04;        // PAGE_READWRITE
const unsigned long AccessablePageWriteCopy = 0x08;        // PAGE_WRITECOPY
const unsigned long AccessablePageExecuteRead = 0x20;      // PAGE_EXECUTE_READ
const unsigned long AccessablePageExecuteReadWrite = 0x40; // PAGE_EXECUTE_READWRITE
// Access to a mapping or a view.
const unsigned long AccessableMapCopy = 0x0001;  // FILE_MAP_COPY: private copy-on-write
const unsigned long AccessableMapWrite = 0x0002; // FILE_MAP_WRITE: read and write
const unsigned long AccessableMapRead = 0x0004;  // FILE_MAP_READ
// FILE_MAP_ALL_ACCESS. Windows: it includes WRITE_DAC and WRITE_OWNER, which the
// shared descriptor denies to every account; ObtainAccessableFileMapping then
// opens the existing mapping without those two rights (MapViewOfFile with it still
// works). Linux: the same as Write.
const unsigned long AccessableMapAllAccess = 0x000F001F;
// The wait that never times out.
const unsigned int AccessableInfinite = 0xFFFFFFFFu; // INFINITE

// ---- Using the handles ----

// Results of WaitAccessableMutex. Both "acquired" results mean the caller now
// owns the mutex and must release it.
enum AccessableWaitResult {
    AccessableWaitAcquired = 0,  // owned
    AccessableWaitAbandoned = 1, // owned; the previous owner ended without releasing it,
                                 // so the data it guards may be half-written
    AccessableWaitTimeout = 2,   // not owned: the time ran out
    AccessableWaitFailed = 3     // not owned: not a mutex handle, or the system refused
};

// Waits up to `milliseconds` (AccessableInfinite: without limit, 0: only tests)
// for ownership of the mutex. Ownership is recursive: the owning thread may wait
// again and must release as often. Returns an AccessableWaitResult.
// Example: WaitAccessableMutex(m, 0) == AccessableWaitTimeout while another
// process owns m.
ZEL_API int WaitAccessableMutex(void* mutex, unsigned int milliseconds);

// Releases one level of ownership. False when the calling thread does not own the
// mutex or the handle is not a mutex handle.
ZEL_API bool ReleaseAccessableMutex(void* mutex);

// Maps `bytes` bytes of the mapping from byte `offset` into memory with `access`
// (AccessableMapRead, AccessableMapWrite or AccessableMapAllAccess, or
// AccessableMapCopy for a private copy). `bytes` 0 maps from `offset` to the end
// of the mapping. `offset` must be a multiple of the system's allocation
// granularity (64 KiB on Windows, the page size on Linux). Writes through a
// shared view are seen by every process viewing the same mapping and reach the
// file. Returns the view's address, or null when the handle, the access (more
// than the handle allows) or the range is refused.
ZEL_API void* MapAccessableView(void* mapping, unsigned long access, unsigned long long offset,
                                unsigned long bytes);

// Unmaps a view returned by MapAccessableView (its exact address). False for any
// other address.
ZEL_API bool UnmapAccessableView(void* view);

// Closes a handle returned by ObtainAccessableMutex or ObtainAccessableFileMapping;
// views mapped from it stay valid until unmapped. Closing does not release a
// mutex the thread owns. False for a null, unknown or already closed handle
// (Linux; Windows reports what CloseHandle reports). A handle must not be closed
// while another thread still uses it.
ZEL_API bool CloseAccessableHandle(void* handle);

} // namespace util
} // namespace zel
