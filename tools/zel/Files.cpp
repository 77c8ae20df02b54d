// File input and output of the tool: whole-file reads and writes that never
// leave partial output behind.
#include "Tool.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>

namespace zeltool {

namespace fs = std::filesystem;

std::string readAll(const std::string& path) {
    if (path == "-") {
        setBinaryMode(true);
        std::string data((std::istreambuf_iterator<char>(std::cin)),
                         std::istreambuf_iterator<char>());
        if (std::cin.bad())
            throw Failure("cannot read standard input");
        return data;
    }
    std::error_code ec;
    if (fs::is_directory(fs::path(path), ec))
        throw Failure(path + ": is a folder");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Failure(path + ": cannot open: " + std::strerror(errno));
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw Failure(path + ": cannot read");
    return data;
}

void writeAllAtomically(const std::string& path, const std::string& data) {
    if (path == "-") {
        setBinaryMode(false);
        std::fwrite(data.data(), 1, data.size(), stdout);
        std::fflush(stdout);
        if (std::ferror(stdout))
            throw Failure("cannot write to standard output");
        return;
    }
    const fs::path target(path);
    std::random_device random;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".zel-%08x.tmp", static_cast<unsigned>(random()));
    fs::path temporary = target;
    temporary += suffix;
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out)
            throw Failure(path + ": cannot create " + temporary.string() + ": " +
                          std::strerror(errno));
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            throw Failure(path + ": cannot write " + temporary.string());
        }
    }
    std::error_code ec;
    fs::rename(temporary, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw Failure(path + ": cannot replace: " + ec.message());
    }
}

} // namespace zeltool
