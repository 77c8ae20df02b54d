#include "FilesTestTree.h"

#include <chrono>
#include <filesystem>
#include <fstream>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace filestest {

std::string slashed(std::string text) {
    for (char& c : text) {
        if (c == zel::PATHSEPCHAR)
            c = '/';
    }
    return text;
}

std::string under(const std::string& base, const std::string& relative) {
    std::string path = base + zel::PATHSEP;
    for (char c : relative)
        path += c == '/' ? zel::PATHSEPCHAR : c;
    return path;
}

void make(const std::string& base, const std::string& relative, std::size_t bytes) {
    const std::string path = under(base, relative);
    if (!relative.empty() && relative.back() == '/') {
        fs::create_directories(path);
        return;
    }
    fs::create_directories(fs::path(path).parent_path());
    zeltest::writeFile(path, std::string(bytes, 'x'));
}

std::vector<std::string> listing(zel::DirectoryIterator& it) {
    std::vector<std::string> names;
    zel::DirectoryItem item;
    while (it.GetNextItem(item))
        names.push_back(slashed(item.Name() != nullptr ? item.Name() : "(null)") +
                        (item.IsDirectory() ? "/" : ""));
    return names;
}

std::vector<std::string> relativePaths(const zel::Array<zel::BaseString<char>>& files,
                                       const std::string& base) {
    std::vector<std::string> paths;
    for (unsigned int i = 0; i < files.Size(); ++i) {
        std::string path = static_cast<const char*>(files[i]);
        for (std::size_t at = path.find(base); at != std::string::npos;
             at = path.find(base, at + 1))
            path.replace(at, base.size(), "T");
        paths.push_back(slashed(path));
    }
    return paths;
}

#ifdef _WIN32
// Windows: whole paths, written with the prefix that lifts the length limit of the
// wide calls.
int makeChain(const std::string& base, int levels, bool fileInEach) {
    fs::path dir = fs::path("\\\\?\\" + fs::absolute(base).string());
    int made = 0;
    for (; made < levels; ++made) {
        dir /= "d";
        std::error_code ec;
        if (!fs::create_directory(dir, ec))
            break;
        if (fileInEach || made + 1 == levels)
            std::ofstream(dir / "f") << "x";
    }
    return made;
}

void removeChain(const std::string& base) {
    std::error_code ec;
    fs::remove_all(fs::path("\\\\?\\" + fs::absolute(base).string()) / "d", ec);
}
#else
// Linux: each folder made inside the one above it, by descriptor.
int makeChain(const std::string& base, int levels, bool fileInEach) {
    int fd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int made = 0;
    for (; fd >= 0 && made < levels; ++made) {
        if (::mkdirat(fd, "d", 0755) != 0)
            break;
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
        if (fd >= 0 && (fileInEach || made + 1 == levels)) {
            const int file = ::openat(fd, "f", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            if (file >= 0)
                ::close(file);
        }
    }
    if (fd >= 0)
        ::close(fd);
    return made;
}

// From the top down: the folder below d moves up beside it, then d goes.
void removeChain(const std::string& base) {
    const int fd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    for (;;) {
        const bool deeper = ::renameat(fd, "d/d", fd, "next") == 0;
        ::unlinkat(fd, "d/f", 0);
        if (::unlinkat(fd, "d", AT_REMOVEDIR) != 0 || !deeper ||
            ::renameat(fd, "next", fd, "d") != 0)
            break;
    }
    ::close(fd);
}
#endif

void age(const std::string& path, long long seconds) {
    fs::last_write_time(path, fs::last_write_time(path) - std::chrono::seconds(seconds));
}

} // namespace filestest
