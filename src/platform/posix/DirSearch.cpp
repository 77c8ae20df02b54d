// Generic POSIX code only: the directory search, file times and directory identities.
#include "platform/DirSearch.h"

#include "zel/Directory.h"

#include "files/Wildcard.h"

#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zel {

namespace platform {

namespace {

// A search reads its directory at once: the names that match and their status.
// Holding no descriptor between calls keeps a deep walk from running out of them.
struct Snapshot {
    struct Item {
        std::size_t nameOffset;
        unsigned attributes;
        unsigned long long size;
        long long mtime;
    };
    std::string names; // NUL-separated
    std::vector<Item> items;
    std::size_t next = 0;

    void Add(const char* name, const struct stat& st) {
        Item item;
        item.nameOffset = names.size();
        names.append(name);
        names.push_back('\0');
        const bool directory = S_ISDIR(st.st_mode);
        item.attributes = (directory ? kAttributeDirectory : 0u) |
                          ((st.st_mode & S_IWUSR) == 0 ? kAttributeReadOnly : 0u);
        // Windows reports no size for a directory.
        item.size = directory ? 0 : static_cast<unsigned long long>(st.st_size);
        item.mtime = static_cast<long long>(st.st_mtime);
        items.push_back(item);
    }

    bool Deliver(FoundEntry& entry) {
        if (next >= items.size())
            return false;
        const Item& item = items[next++];
        entry.name.assign(names.c_str() + item.nameOffset);
        entry.attributes = item.attributes;
        entry.sizeHigh = static_cast<unsigned int>(item.size >> 32);
        entry.sizeLow = static_cast<unsigned int>(item.size & 0xFFFFFFFFu);
        entry.lastWrite.value = static_cast<unsigned long long>(item.mtime);
        return true;
    }
};

// Reads the entries of `directory` whose names match `mask`. Entries whose
// status cannot be read (gone meanwhile, dangling links, no permission) are left out.
void ReadMatches(const std::string& directory, const char* mask, Snapshot& snapshot) {
    DIR* dir = ::opendir(directory.c_str());
    if (dir == nullptr)
        return;
    const int fd = ::dirfd(dir);
    while (const struct dirent* ent = ::readdir(dir)) {
        if (!detail::MatchWildcard(mask, ent->d_name))
            continue;
        struct stat st;
        if (::fstatat(fd, ent->d_name, &st, 0) != 0)
            continue;
        snapshot.Add(ent->d_name, st);
    }
    ::closedir(dir);
}

} // namespace

SearchHandle FindFirst(const char* pattern, FoundEntry& entry) {
    if (pattern == nullptr || pattern[0] == '\0')
        return nullptr;
    try {
        std::string text(pattern);
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
            return nullptr;

        Snapshot* snapshot = new Snapshot;
        struct stat st;
        // A search path naming an existing object finds just that object.
        if (!detail::HasWildcard(mask) && ::stat(pattern, &st) == 0)
            snapshot->Add(mask, st);
        else
            ReadMatches(directory, mask, *snapshot);
        if (!snapshot->Deliver(entry)) {
            delete snapshot;
            return nullptr;
        }
        return snapshot;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

bool FindNext(SearchHandle search, FoundEntry& entry) {
    if (search == nullptr)
        return false;
    try {
        return static_cast<Snapshot*>(search)->Deliver(entry);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void FindClose(SearchHandle search) {
    delete static_cast<Snapshot*>(search);
}

bool FileStampToSeconds(const FileStamp& stamp, long long& seconds) {
    // The search already delivers seconds since 1970 UTC.
    seconds = static_cast<long long>(stamp.value);
    return true;
}

bool IdentifyDirectory(const char* path, DirectoryId& id) {
    struct stat st;
    if (path == nullptr || ::stat(path, &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    id.volume = static_cast<unsigned long long>(st.st_dev);
    id.index = static_cast<unsigned long long>(st.st_ino);
    return true;
}

} // namespace platform
} // namespace zel
