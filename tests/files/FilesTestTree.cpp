#include "FilesTestTree.h"

#include <chrono>
#include <filesystem>

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

void age(const std::string& path, long long seconds) {
    fs::last_write_time(path, fs::last_write_time(path) - std::chrono::seconds(seconds));
}

} // namespace filestest
