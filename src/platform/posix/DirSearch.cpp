// Generic POSIX code only: directory searches and walks by directory descriptor.
#include "platform/DirSearch.h"

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

// Closes a directory stream however a read ends.
class StreamCloser {
public:
    explicit StreamCloser(DIR* dir) : m_dir(dir) {}
    StreamCloser(const StreamCloser&) = delete;
    StreamCloser& operator=(const StreamCloser&) = delete;
    ~StreamCloser() { ::closedir(m_dir); }

private:
    DIR* m_dir;
};

// Reads the entries of the open directory stream `dir` whose names match `mask`
// (null: every entry but "." and "..", which a walk never lists). The stream
// stays open.
//
// With Detail::All every entry gets its status (links followed). With
// Detail::Types the directory entry's type is taken as it stands for files and
// directories, and only links and entries of unknown type get a status call. The
// entries and the count of those left out are the same either way: the first
// status call of a listing (made on its first file or directory) shows whether
// the directory may be searched at all; when it may not, every entry gets its
// status call, which fails and leaves the entry out, as Detail::All does.
DirStatus ReadMatches(DIR* dir, const char* mask, DirListing& listing, Detail detail) {
    const int fd = ::dirfd(dir);
    bool typesOnly = false; // the directory is known to be searchable
    bool probe = detail == Detail::Types;
    for (;;) {
        errno = 0;
        const struct dirent* ent = ::readdir(dir);
        if (ent == nullptr)
            return errno != 0 ? DirStatus::Unreadable : DirStatus::Done;
        if (mask != nullptr ? !detail::MatchWildcard(mask, ent->d_name)
                            : IsDotOrDotDot(ent->d_name))
            continue;
        const unsigned char type = ent->d_type;
        if (typesOnly && (type == DT_REG || type == DT_DIR)) {
            AddName(listing, ent->d_name).isDirectory = type == DT_DIR;
            continue;
        }
        struct stat st;
        bool isLink = type == DT_LNK;
        if (type == DT_UNKNOWN || (probe && type != DT_LNK)) {
            // The entry itself: a link is followed below.
            if (::fstatat(fd, ent->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                if (probe && errno == EACCES)
                    probe = false; // not searchable: every entry fails as it would
                ++listing.unreadable;
                continue;
            }
            if (probe) {
                probe = false;
                typesOnly = true;
            }
            isLink = S_ISLNK(st.st_mode);
            if (!isLink) {
                Add(listing, ent->d_name, st, false);
                continue;
            }
        }
        if (::fstatat(fd, ent->d_name, &st, 0) != 0) {
            ++listing.unreadable;
            continue;
        }
        Add(listing, ent->d_name, st, isLink);
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
    const std::string text(pattern);
    const std::size_t slash = text.rfind('/');
    std::string directory;
    const char* mask;
    if (slash == std::string::npos) {
        directory = ".";
        mask = pattern;
    } else {
        directory = slash == 0 ? std::string("/") : text.substr(0, slash);
        mask = pattern + slash + 1;
    }
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
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return DirStatus::Unreadable;
    }
    StreamCloser closer(dir);
    return ReadMatches(dir, mask, listing, detail);
}

// One walk: the directories from the first down to the current one. Only the
// first and the deepest few hold a descriptor.
struct Chain;

struct OpenDir {
    Chain* chain;
    std::size_t depth; // index in the chain
    int fd;            // -1 while given up
    DIR* stream;       // reads `fd` once the directory is read; owns it then
    std::string name;  // inside the parent
    DirectoryId id;
};

struct Chain {
    std::vector<OpenDir*> dirs;
    std::size_t open = 0;   // descriptors held
    std::size_t lowest = 1; // every directory in [1, lowest) holds none
};

namespace {

void GiveUpDescriptor(OpenDir* dir) {
    if (dir->stream != nullptr)
        ::closedir(dir->stream);
    else
        ::close(dir->fd);
    dir->stream = nullptr;
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
    std::string relative;
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
        made = new OpenDir;
        made->name = name;
        chain.dirs.push_back(made);
    } catch (...) {
        delete made;
        ::close(fd);
        throw;
    }
    made->chain = &chain;
    made->depth = chain.dirs.size() - 1;
    made->fd = fd;
    made->stream = nullptr;
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
        chain = new Chain;
    } catch (...) {
        ::close(fd);
        throw;
    }
    DirStatus status;
    try {
        status = Attach(*chain, fd, "", dir, id);
    } catch (...) {
        delete chain;
        throw;
    }
    if (status != DirStatus::Done)
        delete chain;
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
    if (dir->stream == nullptr) {
        dir->stream = ::fdopendir(dir->fd);
        if (dir->stream == nullptr)
            return DirStatus::Unreadable;
    } else {
        ::rewinddir(dir->stream);
    }
    return ReadMatches(dir->stream, nullptr, listing, detail);
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
    delete dir;
    if (chain->dirs.empty())
        delete chain;
}

} // namespace platform
} // namespace zel
