// Generic POSIX code only: directory searches and walks by directory descriptor.
#include "platform/DirSearch.h"

#include "base/SearchPattern.h"
#include "base/Wildcard.h"

#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zel {
namespace platform {

namespace {

// Descriptors one walk keeps open at most. Deeper directories give up the
// descriptors of the shallowest ones and reopen them when the walk comes back.
const std::size_t kMaxOpenPerWalk = 48;

const int kOpenFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

DirEntry& AddName(DirListing& listing, const char* name) {
    DirEntry entry;
    entry.nameOffset = listing.names.size();
    entry.isDirectory = false;
    entry.isLink = false;
    entry.isReadOnly = false;
    entry.timeKnown = true;
    entry.size = 0;
    entry.seconds = 0;
    listing.entries.push_back(entry);
    try {
        listing.names.append(name);
        listing.names.push_back('\0');
    } catch (...) {
        listing.entries.pop_back();
        throw;
    }
    return listing.entries.back();
}

void Add(DirListing& listing, const char* name, const struct stat& st, bool isLink) {
    DirEntry& entry = AddName(listing, name);
    entry.isDirectory = S_ISDIR(st.st_mode);
    entry.isLink = isLink;
    entry.isReadOnly = (st.st_mode & S_IWUSR) == 0;
    // Windows reports no size for a directory.
    entry.size = entry.isDirectory ? 0 : static_cast<long long>(st.st_size);
    entry.seconds = static_cast<long long>(st.st_mtime);
}

DirStatus StatusOfErrno() {
    return errno == ENOENT || errno == ENOTDIR ? DirStatus::Missing : DirStatus::Unreadable;
}

bool IsDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Bytes of directory entries read at a time.
const std::size_t kEntryBufferSize = std::size_t(32) * 1024;

// Reads the entries of a directory descriptor from its start, without a stream
// of the C library: on Linux straight from getdents64 into a buffer the caller
// keeps (fdopendir would add a status call and two fcntl calls per directory);
// elsewhere through readdir on a duplicate of the descriptor.
class EntryReader {
public:
    EntryReader(int fd, detail::LibraryVector<char>& buffer) : m_fd(fd), m_buffer(buffer) {
        if (m_buffer.size() < kEntryBufferSize)
            m_buffer.resize(kEntryBufferSize);
    }
    EntryReader(const EntryReader&) = delete;
    EntryReader& operator=(const EntryReader&) = delete;
#if !defined(__linux__)
    ~EntryReader() {
        if (m_stream != nullptr)
            ::closedir(m_stream);
    }
#endif

    // The next entry's name and type (DT_*); false at the end, with `failed` set
    // when the directory could not be read.
    bool Next(const char*& name, unsigned char& type, bool& failed) {
        failed = false;
#if defined(__linux__)
        if (m_at >= m_filled) {
            const ssize_t got = ::getdents64(m_fd, m_buffer.data(), m_buffer.size());
            if (got <= 0) {
                failed = got < 0;
                return false;
            }
            m_filled = static_cast<std::size_t>(got);
            m_at = 0;
        }
        const struct dirent64* ent =
            reinterpret_cast<const struct dirent64*>(m_buffer.data() + m_at);
        m_at += ent->d_reclen;
        name = ent->d_name;
        type = ent->d_type;
        return true;
#else
        if (m_stream == nullptr) {
            const int copy = ::dup(m_fd);
            m_stream = copy >= 0 ? ::fdopendir(copy) : nullptr;
            if (m_stream == nullptr) {
                if (copy >= 0)
                    ::close(copy);
                failed = true;
                return false;
            }
        }
        errno = 0;
        const struct dirent* ent = ::readdir(m_stream);
        if (ent == nullptr) {
            failed = errno != 0;
            return false;
        }
        name = ent->d_name;
        type = ent->d_type;
        return true;
#endif
    }

private:
    int m_fd;
    detail::LibraryVector<char>& m_buffer;
#if defined(__linux__)
    std::size_t m_at = 0;
    std::size_t m_filled = 0;
#else
    DIR* m_stream = nullptr;
#endif
};

// Notes an entry whose status could not be read, with its name.
void AddUnreadable(DirListing& listing, const char* name, int error, bool isLink) {
    DirListing::Unreadable entry;
    entry.nameOffset = listing.names.size();
    entry.error = error;
    entry.isLink = isLink;
    listing.names.append(name);
    listing.names.push_back('\0');
    listing.unreadable.push_back(entry);
}

// Reads the entries of the open directory `fd` (from its start) whose names
// match `mask` (null: every entry but "." and "..", which a walk never lists).
DirStatus ReadMatches(int fd, const char* mask, DirListing& listing, Detail detail,
                      detail::LibraryVector<char>& buffer) {
    EntryReader reader(fd, buffer);
    bool typesOnly = false; // the directory is known to be searchable
    bool probe = detail == Detail::Types;
    for (;;) {
        const char* name = nullptr;
        unsigned char type = DT_UNKNOWN;
        bool failed = false;
        if (!reader.Next(name, type, failed))
            return failed ? DirStatus::Unreadable : DirStatus::Done;
        if (mask != nullptr ? !detail::MatchWildcard(mask, name) : IsDotOrDotDot(name))
            continue;
        if (typesOnly && (type == DT_REG || type == DT_DIR)) {
            AddName(listing, name).isDirectory = type == DT_DIR;
            continue;
        }
        struct stat st;
        bool isLink = type == DT_LNK;
        if (type == DT_UNKNOWN || (probe && type != DT_LNK)) {
            // The entry itself: a link is followed below.
            if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                const int error = errno;
                if (probe && error == EACCES)
                    probe = false; // not searchable: every entry fails as it would
                AddUnreadable(listing, name, error, false);
                continue;
            }
            if (probe) {
                probe = false;
                typesOnly = true;
            }
            isLink = S_ISLNK(st.st_mode);
            if (!isLink) {
                Add(listing, name, st, false);
                continue;
            }
        }
        if (::fstatat(fd, name, &st, 0) != 0) {
            AddUnreadable(listing, name, errno, isLink);
            continue;
        }
        Add(listing, name, st, isLink);
    }
}

DirectoryId IdOf(const struct stat& st) {
    DirectoryId id;
    id.volume = static_cast<unsigned long long>(st.st_dev);
    id.index = static_cast<unsigned long long>(st.st_ino);
    return id;
}

} // namespace

DirStatus Search(const char* pattern, DirListing& listing, Detail detail) {
    listing.Clear();
    if (pattern == nullptr || pattern[0] == '\0')
        return DirStatus::Missing;
    std::size_t folderLength = 0;
    const char* mask = base::SplitSearchPattern(pattern, '/', folderLength);
    const detail::LibraryString directory = folderLength == 0
                                                ? detail::LibraryString(".")
                                                : detail::LibraryString(pattern, folderLength);
    if (mask[0] == '\0')
        return DirStatus::Missing;

    struct stat st;
    // A search path naming an existing object finds just that object.
    if (!detail::HasWildcard(mask) && ::stat(pattern, &st) == 0) {
        Add(listing, mask, st, false);
        return DirStatus::Done;
    }
    const int fd = ::open(directory.c_str(), kOpenFlags);
    if (fd < 0)
        return StatusOfErrno();
    // Closes the descriptor however the read ends.
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    detail::LibraryVector<char> buffer;
    return ReadMatches(fd, mask, listing, detail, buffer);
}

// One walk: the directories from the first down to the current one. Only the
// first and the deepest few hold a descriptor.
struct Chain;

struct OpenDir {
    Chain* chain;
    std::size_t depth;          // index in the chain
    int fd;                     // -1 while given up
    bool read;                  // its entries have been read once
    detail::LibraryString name; // inside the parent
    DirectoryId id;
};

struct Chain {
    detail::LibraryVector<OpenDir*> dirs;
    std::size_t open = 0;               // descriptors held
    std::size_t lowest = 1;             // every directory in [1, lowest) holds none
    detail::LibraryVector<char> buffer; // for the entries read
};

namespace {

void GiveUpDescriptor(OpenDir* dir) {
    ::close(dir->fd);
    dir->read = false; // a descriptor opened again starts at the first entry
    dir->fd = -1;
    --dir->chain->open;
}

// Gives up the descriptor of the shallowest directory that holds one, the first
// directory and `keep` excepted. False when there is none.
bool GiveUpOne(Chain& chain, const OpenDir* keep) {
    for (std::size_t i = chain.lowest; i < chain.dirs.size(); ++i) {
        OpenDir* dir = chain.dirs[i];
        if (dir == keep)
            break;
        if (dir->fd >= 0) {
            GiveUpDescriptor(dir);
            chain.lowest = i + 1;
            return true;
        }
    }
    return false;
}

// openat that makes room when the process is out of descriptors.
int OpenAt(Chain& chain, const OpenDir* keep, int at, const char* name) {
    for (;;) {
        const int fd = ::openat(at, name, kOpenFlags);
        if (fd >= 0 || (errno != EMFILE && errno != ENFILE) || !GiveUpOne(chain, keep))
            return fd;
    }
}

// Opens `dir` again from the nearest directory above it that holds a descriptor,
// through the names in between, a few at a time so that no relative path passes
// PATH_MAX. The directory must still be the one it was.
bool Reopen(OpenDir* dir) {
    Chain& chain = *dir->chain;
    std::size_t from = dir->depth;
    while (chain.dirs[from]->fd < 0)
        --from; // the first directory always holds one
    OpenDir* const base = chain.dirs[from];
    int at = base->fd;
    bool owned = false;
    detail::LibraryString relative;
    std::size_t next = from + 1;
    while (next <= dir->depth) {
        relative.clear();
        try {
            while (next <= dir->depth &&
                   (relative.empty() ||
                    relative.size() + 1 + chain.dirs[next]->name.size() < PATH_MAX - 1)) {
                if (!relative.empty())
                    relative.push_back('/');
                relative += chain.dirs[next]->name;
                ++next;
            }
        } catch (...) {
            if (owned)
                ::close(at);
            throw;
        }
        const int fd = OpenAt(chain, base, at, relative.c_str());
        if (owned)
            ::close(at);
        if (fd < 0)
            return false;
        at = fd;
        owned = true;
    }
    struct stat st;
    if (::fstat(at, &st) != 0 || !(IdOf(st) == dir->id)) {
        ::close(at);
        return false;
    }
    dir->fd = at;
    ++chain.open;
    if (dir->depth < chain.lowest)
        chain.lowest = dir->depth;
    return true;
}

// Links the new directory `fd` into `chain` as its last one.
DirStatus Attach(Chain& chain, int fd, const char* name, OpenDir*& dir, DirectoryId& id) {
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return DirStatus::Unreadable;
    }
    OpenDir* made = nullptr;
    try {
        made = detail::MakeObject<OpenDir>();
        made->name = name;
        chain.dirs.push_back(made);
    } catch (...) {
        detail::DeleteObject(made);
        ::close(fd);
        throw;
    }
    made->chain = &chain;
    made->depth = chain.dirs.size() - 1;
    made->fd = fd;
    made->read = false;
    made->id = IdOf(st);
    ++chain.open;
    dir = made;
    id = made->id;
    return DirStatus::Done;
}

} // namespace

DirStatus OpenDirectory(const char* directory, OpenDir*& dir, DirectoryId& id) {
    dir = nullptr;
    if (directory == nullptr || directory[0] == '\0')
        return DirStatus::Missing;
    const int fd = ::open(directory, kOpenFlags);
    if (fd < 0)
        return StatusOfErrno();
    Chain* chain = nullptr;
    try {
        chain = detail::MakeObject<Chain>();
    } catch (...) {
        ::close(fd);
        throw;
    }
    DirStatus status;
    try {
        status = Attach(*chain, fd, "", dir, id);
    } catch (...) {
        detail::DeleteObject(chain);
        throw;
    }
    if (status != DirStatus::Done)
        detail::DeleteObject(chain);
    return status;
}

DirStatus OpenSubdirectory(OpenDir* parent, const char* name, OpenDir*& dir, DirectoryId& id) {
    dir = nullptr;
    Chain& chain = *parent->chain;
    if (parent->fd < 0 && !Reopen(parent))
        return DirStatus::Unreadable;
    if (chain.open >= kMaxOpenPerWalk)
        GiveUpOne(chain, parent);
    const int fd = OpenAt(chain, parent, parent->fd, name);
    if (fd < 0)
        return StatusOfErrno();
    return Attach(chain, fd, name, dir, id);
}

DirStatus ReadDirectory(OpenDir* dir, DirListing& listing, Detail detail) {
    listing.Clear();
    if (dir->fd < 0 && !Reopen(dir))
        return DirStatus::Unreadable;
    if (dir->read && ::lseek(dir->fd, 0, SEEK_SET) != 0)
        return DirStatus::Unreadable;
    dir->read = true;
    return ReadMatches(dir->fd, nullptr, listing, detail, dir->chain->buffer);
}

void CloseDirectory(OpenDir* dir) {
    if (dir == nullptr)
        return;
    Chain* chain = dir->chain;
    if (dir->fd >= 0)
        GiveUpDescriptor(dir);
    chain->dirs.pop_back();
    if (chain->lowest > chain->dirs.size())
        chain->lowest = chain->dirs.size();
    if (chain->lowest == 0)
        chain->lowest = 1;
    detail::DeleteObject(dir);
    if (chain->dirs.empty())
        detail::DeleteObject(chain);
}

long LevelsBelow(OpenDir* dir, const DirectoryId& top, long most, bool sameVolume,
                 unsigned long long volume) {
    if (dir->fd < 0 && !Reopen(dir))
        return -1;
    // Up through "..": each directory's parent is the one that holds it.
    int at = dir->fd;
    DirectoryId below = dir->id;
    long levels = 0;
    long found = -1;
    while (levels < most) {
        const int fd = ::openat(at, "..", kOpenFlags);
        if (at != dir->fd)
            ::close(at);
        at = dir->fd;
        if (fd < 0)
            break;
        at = fd;
        struct stat st;
        if (::fstat(fd, &st) != 0)
            break;
        const DirectoryId id = IdOf(st);
        ++levels;
        if (id == top) {
            found = levels;
            break;
        }
        if (id == below || (sameVolume && id.volume != volume))
            break; // the root of the system, or another volume on the way
        below = id;
    }
    if (at != dir->fd)
        ::close(at);
    return found;
}

} // namespace platform
} // namespace zel
