#include "FilesTestTree.h"

#include <chrono>
#include <filesystem>
#include <fstream>

#ifdef _WIN32
#include <windows.h>
#else
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

// From the top down, with short paths only (the removal of the standard library
// stops under Wine where paths grow too long): the folder below d moves up beside
// it, then d goes.
void removeChain(const std::string& base) {
    const std::string d = base + "\\d";
    const std::string next = base + "\\next";
    for (;;) {
        const bool deeper = MoveFileA((d + "\\d").c_str(), next.c_str()) != 0;
        DeleteFileA((d + "\\f").c_str());
        if (!RemoveDirectoryA(d.c_str()) || !deeper || !MoveFileA(next.c_str(), d.c_str()))
            break;
    }
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

#ifdef _WIN32
namespace {

// Wine's own conversion of a Windows path to the host's path; null outside Wine.
using UnixNameFunction = char*(__cdecl*)(const wchar_t*);
UnixNameFunction unixNameFunction() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    return kernel != nullptr ? reinterpret_cast<UnixNameFunction>(reinterpret_cast<void (*)()>(
                                   GetProcAddress(kernel, "wine_get_unix_file_name")))
                             : nullptr;
}

std::string unixName(UnixNameFunction convert, const std::string& path) {
    const std::wstring wide = fs::absolute(path).wstring();
    char* name = convert(wide.c_str());
    if (name == nullptr)
        return "";
    std::string result(name);
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

bool exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Runs a shell command of the host under Wine, which starts Unix programs without
// waiting for them: the command removes a marker folder, made beside `near`,
// when it is done, and this waits (ten seconds at most) until it has.
bool runHost(const std::string& script, const std::string& near) {
    const std::string marker = near + ".zel-running";
    const UnixNameFunction convert = unixNameFunction();
    if (!CreateDirectoryA(marker.c_str(), nullptr))
        return false;
    std::string command =
        "/bin/sh -c \"" + script + " ; rmdir '" + unixName(convert, marker) + "'\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        RemoveDirectoryA(marker.c_str());
        return false;
    }
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int i = 0; i < 1000 && exists(marker); ++i)
        Sleep(10);
    return !exists(marker);
}

} // namespace

std::string linkDirectory(const std::string& target, const std::string& link) {
    std::error_code ec;
    fs::create_directory_symlink(target, link, ec);
    if (!ec)
        return "";
    const UnixNameFunction convert = unixNameFunction();
    if (convert == nullptr)
        return "creating a directory link was refused: " + ec.message();
    const std::string from = unixName(convert, target);
    const std::string to = unixName(convert, link);
    if (from.empty() || to.empty())
        return "Wine gave no host path for " + target;
    if (!runHost("ln -s '" + from + "' '" + to + "'", link) || !exists(link))
        return "the host's ln made no link at " + link;
    return "";
}

void unlinkDirectory(const std::string& link) {
    // Wine removes the folder a link leads to, when it is empty, instead of the
    // link: the host's rm removes the link itself.
    const UnixNameFunction convert = unixNameFunction();
    if (convert == nullptr) {
        std::error_code ec;
        fs::remove(link, ec);
        return;
    }
    runHost("rm -f '" + unixName(convert, link) + "'", link);
}
#else
std::string linkDirectory(const std::string& target, const std::string& link) {
    std::error_code ec;
    fs::create_directory_symlink(target, link, ec);
    return ec ? ec.message() : "";
}

void unlinkDirectory(const std::string& link) {
    ::unlink(link.c_str());
}
#endif

void age(const std::string& path, long long seconds) {
    fs::last_write_time(path, fs::last_write_time(path) - std::chrono::seconds(seconds));
}

} // namespace filestest
