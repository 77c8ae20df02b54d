// Generic POSIX code only (openat2 where the kernel has it): the one rule by which
// everything another account can reach is opened. The named mutexes, the mapping
// records, the mapped data files and the error log all open their files through
// it; none has a copy.
//
// - Trust by owner: a link, folder or file owned by this process's account or by
//   root is its own or the administrator's intent; one owned by any other account
//   is never followed, and never written as this process's own.
// - No untrusted link in any component: a path is resolved from "/" with
//   openat2(RESOLVE_NO_SYMLINKS), or one component at a time (O_PATH|O_NOFOLLOW)
//   following only trusted links; the caller then works with *at calls against
//   the folder it got.
// - One link, right type: a file to write or map is a regular file with one link,
//   checked on the open descriptor.
// - Text from another account is escaped before it goes into a log line.
#pragma once

#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace zel {
namespace platform {
namespace trust {

// Makes every resolution take the component walk, as on kernels without openat2
// (the tests switch it on, through ZEL_TRUST_COMPONENT_WALK=1 in the environment,
// to cover that path).
void ForceComponentWalk(bool force);

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

// Could the account `uid` itself open the file at `path` (absolute, without links)
// for reading, or reading and writing: search rights on every folder on the way,
// then the file's own mode? Group rights and access lists are not taken on trust:
// where only they could grant it, the answer is no.
bool AccountMayOpen(uid_t uid, const std::string& path, bool write);

// `text` with every control byte, '%' and byte above 0x7E written as '%XX', fit
// to quote in a log line.
std::string Escaped(const std::string& text);

} // namespace trust
} // namespace platform
} // namespace zel
