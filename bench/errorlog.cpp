// One error-log line (Exception::error: time stamp, size check, append) beside the
// peer that does the least a log can do: open, one write of the same line, close.
// Both write into a file of a temporary folder that is removed at the end; the file
// is emptied between runs so the rotation threshold is never reached.
#include "zel/Exception.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class Folder {
public:
    static Folder& get() {
        static Folder folder;
        return folder;
    }
    std::string file(const char* name) const { return m_dir + "/" + name; }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }

private:
    Folder() {
        std::random_device rd;
        m_dir = (fs::temp_directory_path() / ("zelbench-log-" + std::to_string(rd()))).string();
        fs::create_directories(m_dir);
    }
    std::string m_dir;
};

// The text of both sides: the same length as the library's line.
const char kText[] = "Settings::Load: Exception caught";

void ErrorLogLine(benchmark::State& state) {
    std::string path = Folder::get().file("ZELError.txt");
    zel::Exception::SetErrorLogLocation(path.c_str());
    for (auto _ : state)
        zel::Exception::error("%s", kText);
    zel::Exception::SetErrorLogLocation("");
    std::remove(path.c_str());
}
BENCHMARK(ErrorLogLine);

void OpenWriteClose(benchmark::State& state) {
    std::string path = Folder::get().file("plain.txt");
    const std::string line =
        std::string("[Tue Nov 01 09:05:07 2022] Mirror Error: ") + kText + "\n";
    for (auto _ : state) {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        benchmark::DoNotOptimize(::write(fd, line.data(), line.size()));
        ::close(fd);
    }
    std::remove(path.c_str());
}
BENCHMARK(OpenWriteClose);

// The system calls a log line makes and nothing else: the folder's name checked
// against the kept folder, the file opened against that folder without following
// a link, its status read (type, links, size), the write, the close. What the log
// costs beyond this row is its own work (format, time stamp, lock, checks).
void LogCallsAlone(benchmark::State& state) {
    const std::string folder = Folder::get().file("");
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::string line =
        std::string("[Tue Nov 01 09:05:07 2022] Mirror Error: ") + kText + "\n";
    for (auto _ : state) {
        struct stat at;
        benchmark::DoNotOptimize(::stat(folder.c_str(), &at));
        int fd =
            ::openat(dir, "calls.txt",
                     O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
        struct stat st;
        benchmark::DoNotOptimize(::fstat(fd, &st));
        benchmark::DoNotOptimize(::write(fd, line.data(), line.size()));
        ::close(fd);
    }
    ::close(dir);
    std::remove(Folder::get().file("calls.txt").c_str());
}
BENCHMARK(LogCallsAlone);

} // namespace
