// The one rule by which everything another account can reach is opened: the
// named objects' files, the mapping records, the mapped data files, the error log
// and its folder all open through it; none has a copy. The outcome: what another
// account can do to a process through them is bounded by what it could do by
// itself (deny service, never redirect, crash or stall it).
//
// POSIX:
// - Trust by owner: a link, folder or file owned by this process's account or by
//   root is its own or the administrator's intent; one owned by any other account
//   is never followed, and never written as this process's own.
// - No untrusted link in any component: a path is resolved from "/" with
//   openat2(RESOLVE_NO_SYMLINKS), or one component at a time (O_PATH|O_NOFOLLOW)
//   following only trusted links; the caller then works with *at calls against
//   the folder it got.
// - One link, right type: a file to write or map is a regular file with one link,
//   checked on the open descriptor.
// - The kernel decides what another account may open: a path that account named
//   is opened with its credentials (OpenAsAccount), once, and never on a FUSE
//   file system; no permission bits are read to guess the answer.
// - Text from another account is escaped before it goes into a log line.
//
// Windows: the log's folder gets an explicit descriptor (administrators and
// SYSTEM in full control; every account may add files, read them and append to
// them, nothing else), and a folder a standard account
// owns is not trusted by an elevated process; the mapping's backing file is opened
// without following reparse points and created without DELETE, WRITE_DAC or
// WRITE_OWNER for Everyone.
#pragma once

#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/types.h>
#endif

namespace zel {
namespace platform {
namespace trust {

// Makes every resolution take the component walk, as on kernels without openat2
// (the tests switch it on to cover that path). Nothing on Windows.
void ForceComponentWalk(bool force);

// Whether the folder `path` may hold this process's log: it exists and (Windows)
// is neither a reparse point nor owned by a standard account while this process
// is elevated; (POSIX) no link of another account leads to it. When it exists
// but is not trusted, `why` says why ("" otherwise).
bool TrustedLogFolder(const std::string& path, std::string& why);

// Creates the machine-wide log folder `path` (one level) with its explicit
// descriptor (Windows) or mode 0755 (POSIX); false when it could not be made.
bool CreateLogFolder(const std::string& path);

#ifdef _WIN32

// Whether the file open as `handle` (with READ_CONTROL) is owned by SYSTEM, the
// Administrators or this process's user; false when its owner cannot be read.
bool TrustedFileOwner(void* handle);
// The same for the file at `path`.
bool TrustedFileOwner(const char* path);

// Opens (OPEN_ALWAYS) the mapping's backing file for reading and writing: a
// reparse point at the name is refused, never followed; one on the way is passed
// only when SYSTEM, the Administrators or this account own it, and the folders on
// the way are held open, undeletable, until the file is open; a new file gets the
// backing-file descriptor; only a file with one link is returned. Null with the
// last error set on failure.
void* OpenBackingFile(const char* path, bool& existed);

#else

// An owner whose links and files this process takes as its own: itself or root.
bool TrustedOwner(uid_t owner);

// Splits an absolute `path` into its folder and last name; false (errno EINVAL)
// when it is not absolute or has no last name.
bool SplitPath(const std::string& path, std::string& folder, std::string& leaf);

// Opens the folder `path` (absolute) as an O_PATH descriptor for *at calls.
// Every symbolic link on the way must be trusted; -1 with errno (ELOOP for an
// untrusted link) and `why` set on failure.
int OpenFolder(const std::string& path, std::string& why);

// Opens `leaf` in the folder `dirfd` with `flags` (O_NOFOLLOW, O_NONBLOCK and
// O_CLOEXEC are added; O_CREAT with `mode` set exactly, whatever the umask, on a
// file this call created). A trusted link at `leaf` is followed under the same
// rule; an untrusted one gives ELOOP. Only a regular file with one link is
// returned (else errno EINVAL and `why`). `created` tells whether it is new.
int OpenFileAt(int dirfd, const std::string& folder, const std::string& leaf, int flags,
               mode_t mode, struct stat& st, bool& created, std::string& why);

// The same for an absolute path.
int OpenFile(const std::string& path, int flags, mode_t mode, struct stat& st, bool& created,
             std::string& why);

// Opens the file at `path` (absolute), named in a record that another account
// wrote, the way that account itself could: the kernel decides, with the account's
// group denials, access lists and folder search rights included. A short-lived
// thread takes the account's file-system credentials (`owner`, the group `group`
// the record was written with, and the account's groups from the user database)
// and opens the file under the trust rule; only that thread's credentials change.
// A caller that may not take another account's credentials (not root) gets the
// file only where `owner` owns it. The path is resolved once, by the component
// walk, and a FUSE file system on the way is refused before anything asks it. The
// descriptor is that of the one open; `st` its status. -1 with errno (EACCES:
// the account may not; ENOENT: nothing there) and `why` set on refusal. For the
// caller's own account and root it is OpenFile.
int OpenAsAccount(uid_t owner, gid_t group, const std::string& path, int flags, struct stat& st,
                  std::string& why);

// Whether the file system of `dev` (major, minor) is a FUSE one, according to
// `mountinfo` (the text of /proc/self/mountinfo). Pure, for the tests.
bool IsFuseDevice(const std::string& mountinfo, unsigned int major, unsigned int minor);

#endif

} // namespace trust
} // namespace platform
} // namespace zel
