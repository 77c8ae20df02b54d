// Generic POSIX code only (with Linux's open-file-description locks): what the
// named mutexes and mappings share (the error log borrows the byte locks and the
// file identity). A named object is a small file in /dev/shm.
// Nothing another account may write into it is ever trusted or mapped; the
// kernel's byte-range locks on it carry the shared state.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace zel {
namespace platform {
namespace shared {

// ---- This process's table of live handles ----

struct Handle {
    enum Kind { Mutex, Mapping };
    explicit Handle(Kind k) : kind(k) {}
    virtual ~Handle() = default;
    Kind kind;
};

// Takes the handle into the table of live handles and returns it as the caller's
// handle. Owns it from the call on: when the table cannot grow it is deleted (so
// closed) and std::bad_alloc goes on.
void* Register(Handle* handle);
// The live handle of that kind, or null (errno EINVAL).
Handle* Find(void* handle, Handle::Kind kind);
// Removes the handle from the table and returns it for deleting; null if unknown.
Handle* Take(void* handle);

// ---- The record a mapping name holds ----

// Which file a named mapping maps. Written by its creator into a file nobody else
// may write; the tests forge it to check that a forged one is refused.
const std::uint32_t kMappingRecordMagic = 0x5A454C4D; // "ZELM"
struct MappingRecord {
    std::uint32_t magic;
    std::uint32_t protection;
    std::uint64_t device;
    std::uint64_t inode;
    std::uint64_t size;
    char path[PATH_MAX];
};

// Reads a mapping record from the `size` bytes at `bytes` (what was read of the
// record file): false unless they hold a whole record with the magic, a known
// protection, a size above 0 and an absolute, terminated path. Never reads past
// `size` bytes.
bool ReadMappingRecord(const void* bytes, std::size_t size, MappingRecord& record);

// Whether `record` describes the file whose status is `st`: its device and inode,
// and no more bytes than it holds.
bool RecordDescribes(const MappingRecord& record, const struct stat& st);

// ---- Object files ----

// "/dev/shm/zel.<kind>.<name encoded>"; false (errno ENAMETOOLONG) when too long.
bool ObjectPath(const char* kind, const char* name, std::string& path);

// Opens an existing object file under the trust rule (TrustedPath.h): no link of
// another account followed, never waiting on a pipe, only a regular file with one
// link accepted (else errno EINVAL). -1 on failure.
int OpenObject(const std::string& path, int access, struct stat& st);

// The abstract socket name (without its leading NUL) whose binding is the
// exclusion of the object at `path`: a name space no account can remove a name
// from or replace one in, and the kernel frees it when its holder ends.
// (Inline: the hostile tests bind it as another account would.)
inline std::string ExclusionName(const std::string& path) {
    // The object file's own name where it fits the 107 bytes of a socket address,
    // else its start and two hashes of the whole.
    std::string leaf = path.substr(path.find_last_of('/') + 1);
    const std::size_t kRoom = 100;
    if (leaf.size() <= kRoom)
        return leaf;
    std::uint64_t a = 1469598103934665603ULL, b = 0x9E3779B97F4A7C15ULL;
    for (unsigned char c : leaf) {
        a = (a ^ c) * 1099511628211ULL;
        b = (b + c) * 0xFF51AFD7ED558CCDULL;
        b ^= b >> 29;
    }
    static const char hex[] = "0123456789abcdef";
    std::string hashes(".");
    for (std::uint64_t h : {a, b})
        for (int shift = 60; shift >= 0; shift -= 4)
            hashes += hex[(h >> shift) & 15];
    return leaf.substr(0, kRoom - hashes.size()) + hashes;
}

// Makes a new object file with exactly `mode`: built under a temporary name by
// `prepare(fd)`, then given its name in one step, so that a creator that dies
// at any point leaves either no object or a complete one. Returns the open
// (read and write) descriptor, or -1 with errno (EEXIST: the name is taken).
// `replace`: renamed over whatever holds the name (a stale object) instead.
int PublishObject(const std::string& path, mode_t mode, const std::function<bool(int)>& prepare,
                  bool replace = false);

// Open-file-description lock of one byte: `type` F_RDLCK or F_WRLCK, tried for at
// most `waitMs` milliseconds (kForever: without limit). False with errno
// (ETIMEDOUT when the time ran out).
const unsigned int kForever = 0xFFFFFFFFu;
bool LockByte(int fd, off_t byte, short type, unsigned int waitMs);
void UnlockByte(int fd, off_t byte);

bool SameFile(const struct stat& a, const struct stat& b);
// True while `path` still names the file `st` describes.
bool StillNamed(const std::string& path, const struct stat& st);

// Joins the object open at `fd`: takes this process's read lock on its `useByte`
// (waiting at most `waitMs`) and checks that `path` still names it. Joined: `fd`
// is ready. Gone: its last user removed the name meanwhile; `fd` is closed, open
// again. Failed: `fd` is closed, errno tells why.
enum class Join { Joined, Gone, Failed };
Join JoinObject(int fd, const std::string& path, const struct stat& st, off_t useByte,
                unsigned int waitMs);

// Every process using an object holds a read lock on its `useByte`. Closes `fd`
// and removes the name when no other process uses it any more.
void Retire(int fd, const std::string& path, off_t useByte);

} // namespace shared
} // namespace platform
} // namespace zel
