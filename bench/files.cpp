// Directory listing beside its peers, std::filesystem, nftw and fstatat over
// readdir: a flat, name-sorted list of every file of a tree of 100,000 files in
// about 1,000 folders, and a one-level listing of a folder of 10,000 files. Every
// peer collects path, size and last-write time and sorts by name ignoring case, as
// the library's iterator does; the library's name-sorted wildcard list needs only
// names and types and reads no status for them (ZelFlatByTime reads them all). The *PeakRss
// benchmarks report the peak resident memory a flat walk adds (counter peak_rss_MB) beside a
// std::vector<std::string> of the same paths. The trees are generated in a temporary folder once
// and removed when the program ends.
#include "zel/Directory.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <ftw.h>
#include <malloc.h>
#include <random>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

class Trees {
public:
    static Trees& get() {
        static Trees trees;
        return trees;
    }
    const std::string& deep() const { return m_deep; }
    const std::string& wide() const { return m_wide; }

    ~Trees() {
        std::error_code ec;
        fs::remove_all(m_base, ec);
    }

private:
    Trees() {
        std::random_device rd;
        m_base = (fs::temp_directory_path() / ("zelbench-files-" + std::to_string(rd()))).string();
        m_deep = m_base + "/deep";
        m_wide = m_base + "/wide";
        const auto start = std::chrono::steady_clock::now();
        // 10 groups of 100 folders, 100 files each: 100,000 files in 1,011 folders.
        for (int g = 0; g < 10; ++g) {
            for (int d = 0; d < 100; ++d) {
                const std::string dir =
                    m_deep + "/Group" + std::to_string(g) + "/dir" + std::to_string(d);
                fs::create_directories(dir);
                for (int f = 0; f < 100; ++f)
                    touch(dir + (f % 3 ? "/file" : "/FILE") + std::to_string(f * 7 % 100) +
                          (f % 2 ? ".txt" : ".Dat"));
            }
        }
        fs::create_directories(m_wide);
        for (int f = 0; f < 10000; ++f)
            touch(m_wide + (f % 3 ? "/entry" : "/ENTRY") + std::to_string(f * 7919 % 10000) +
                  ".log");
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::fprintf(stderr, "generated the trees in %.1f s under %s\n", seconds, m_base.c_str());
    }
    static void touch(const std::string& path) { std::ofstream(path) << "x"; }

    std::string m_base, m_deep, m_wide;
};

struct Entry {
    std::string path;
    std::uintmax_t size;
    fs::file_time_type time;
};

bool caseBlindLess(const Entry& a, const Entry& b) {
    return ::strcasecmp(a.path.c_str(), b.path.c_str()) < 0;
}

void ZelFlatByName(benchmark::State& state) {
    const zel::BaseString<char> root((Trees::get().deep() + "/").c_str());
    zel::Array<zel::BaseString<char>> files;
    for (auto _ : state) {
        zel::DirectoryIterator::GetWildCardFilesFlat(root, files, true);
        benchmark::DoNotOptimize(files.Data());
    }
    state.counters["files"] = files.Size();
}

// The same list sorted newest first: every file's status is read, as nftw reads it.
void ZelFlatByTime(benchmark::State& state) {
    const zel::BaseString<char> root((Trees::get().deep() + "/").c_str());
    zel::Array<zel::BaseString<char>> files;
    for (auto _ : state) {
        zel::DirectoryIterator::GetWildCardFilesFlat(root, files, false);
        benchmark::DoNotOptimize(files.Data());
    }
    state.counters["files"] = files.Size();
}

// The same files and order through the walk that reads a folder at a time.
void ZelWalkByName(benchmark::State& state) {
    const std::string root = Trees::get().deep() + "/";
    std::size_t count = 0;
    for (auto _ : state) {
        zel::DirectoryWalk walk(root.c_str());
        zel::BaseString<char> path;
        count = 0;
        while (walk.Next(path))
            ++count;
        benchmark::DoNotOptimize(path.Length());
    }
    state.counters["files"] = static_cast<double>(count);
}

// How long the first path of that walk takes.
void ZelWalkFirstPath(benchmark::State& state) {
    const std::string root = Trees::get().deep() + "/";
    for (auto _ : state) {
        zel::DirectoryWalk walk(root.c_str());
        zel::BaseString<char> path;
        benchmark::DoNotOptimize(walk.Next(path));
    }
}

void StdRecursiveByName(benchmark::State& state) {
    const std::string root = Trees::get().deep();
    std::size_t count = 0;
    for (auto _ : state) {
        std::vector<Entry> entries;
        for (const auto& e : fs::recursive_directory_iterator(root)) {
            if (!e.is_regular_file())
                continue;
            entries.push_back({e.path().string(), e.file_size(), e.last_write_time()});
        }
        std::sort(entries.begin(), entries.end(), caseBlindLess);
        count = entries.size();
        benchmark::DoNotOptimize(entries.data());
    }
    state.counters["files"] = static_cast<double>(count);
}

void ZelOneLevelByName(benchmark::State& state) {
    const std::string dir = Trees::get().wide();
    long count = 0;
    for (auto _ : state) {
        zel::DirectoryIterator it(dir.c_str(), false, nullptr, true);
        count = it.NumMatches();
        benchmark::DoNotOptimize(count);
    }
    state.counters["entries"] = static_cast<double>(count);
}

void StdOneLevelByName(benchmark::State& state) {
    const std::string dir = Trees::get().wide();
    std::size_t count = 0;
    for (auto _ : state) {
        std::vector<Entry> entries;
        for (const auto& e : fs::directory_iterator(dir)) {
            entries.push_back({e.path().filename().string(), e.is_directory() ? 0 : e.file_size(),
                               e.last_write_time()});
        }
        std::sort(entries.begin(), entries.end(), caseBlindLess);
        count = entries.size();
        benchmark::DoNotOptimize(entries.data());
    }
    state.counters["entries"] = static_cast<double>(count);
}

// The peers of glibc: nftw, and fstatat relative to each open folder over readdir.
struct Stamped {
    std::string path;
    long long size;
    long long time;
};

bool stampedLess(const Stamped& a, const Stamped& b) {
    return ::strcasecmp(a.path.c_str(), b.path.c_str()) < 0;
}

std::vector<Stamped>* g_nftwOut = nullptr;

int nftwCollect(const char* path, const struct stat* st, int type, struct FTW*) {
    if (type == FTW_F)
        g_nftwOut->push_back(
            {path, static_cast<long long>(st->st_size), static_cast<long long>(st->st_mtime)});
    return 0;
}

std::vector<Stamped> nftwList(const std::string& root) {
    std::vector<Stamped> entries;
    g_nftwOut = &entries;
    ::nftw(root.c_str(), &nftwCollect, 64, 0);
    std::sort(entries.begin(), entries.end(), stampedLess);
    return entries;
}

// Every entry of the open folder `fd` (named `path`), its subfolders too when
// `recursive`; status by fstatat relative to the folder.
void readdirCollect(int fd, std::string& path, bool recursive, std::vector<Stamped>& out) {
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return;
    }
    while (const struct dirent* ent = ::readdir(dir)) {
        if (std::strcmp(ent->d_name, ".") == 0 || std::strcmp(ent->d_name, "..") == 0)
            continue;
        struct stat st;
        if (::fstatat(fd, ent->d_name, &st, 0) != 0)
            continue;
        const std::size_t length = path.size();
        path += '/';
        path += ent->d_name;
        if (!S_ISDIR(st.st_mode)) {
            out.push_back(
                {path, static_cast<long long>(st.st_size), static_cast<long long>(st.st_mtime)});
        } else if (recursive) {
            const int child = ::openat(fd, ent->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (child >= 0)
                readdirCollect(child, path, true, out);
        }
        path.resize(length);
    }
    ::closedir(dir);
}

std::vector<Stamped> readdirList(const std::string& root, bool recursive) {
    std::vector<Stamped> entries;
    std::string path = root;
    readdirCollect(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), path, recursive,
                   entries);
    std::sort(entries.begin(), entries.end(), stampedLess);
    return entries;
}

void NftwFlatByName(benchmark::State& state) {
    const std::string root = Trees::get().deep();
    std::size_t count = 0;
    for (auto _ : state) {
        std::vector<Stamped> entries = nftwList(root);
        count = entries.size();
        benchmark::DoNotOptimize(entries.data());
    }
    state.counters["files"] = static_cast<double>(count);
}

void ReaddirFstatatFlatByName(benchmark::State& state) {
    const std::string root = Trees::get().deep();
    std::size_t count = 0;
    for (auto _ : state) {
        std::vector<Stamped> entries = readdirList(root, true);
        count = entries.size();
        benchmark::DoNotOptimize(entries.data());
    }
    state.counters["files"] = static_cast<double>(count);
}

void NftwOneLevelByName(benchmark::State& state) {
    const std::string dir = Trees::get().wide();
    std::size_t count = 0;
    for (auto _ : state) {
        std::vector<Stamped> entries = nftwList(dir);
        count = entries.size();
        benchmark::DoNotOptimize(entries.data());
    }
    state.counters["entries"] = static_cast<double>(count);
}

void ReaddirFstatatOneLevelByName(benchmark::State& state) {
    const std::string dir = Trees::get().wide();
    std::size_t count = 0;
    for (auto _ : state) {
        std::vector<Stamped> entries = readdirList(dir, false);
        count = entries.size();
        benchmark::DoNotOptimize(entries.data());
    }
    state.counters["entries"] = static_cast<double>(count);
}

// Peak resident memory: freed heap pages are handed back and the kernel's
// high-water mark is reset before the work, then read while its result still lives.
long long statusKilobytes(const char* field) {
    std::ifstream in("/proc/self/status");
    const std::size_t length = std::strlen(field);
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, length, field) == 0)
            return std::atoll(line.c_str() + length + 1);
    }
    return -1;
}

void startPeak(long long& base) {
    ::malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    base = statusKilobytes("VmRSS");
}

double peakMegabytes(long long base) {
    return static_cast<double>(statusKilobytes("VmHWM") - base) / 1024.0;
}

void ZelFlatPeakRss(benchmark::State& state) {
    const zel::BaseString<char> root((Trees::get().deep() + "/").c_str());
    double peak = 0;
    for (auto _ : state) {
        long long base = 0;
        startPeak(base);
        zel::Array<zel::BaseString<char>> files;
        zel::DirectoryIterator::GetWildCardFilesFlat(root, files, true);
        peak = peakMegabytes(base);
        benchmark::DoNotOptimize(files.Data());
    }
    state.counters["peak_rss_MB"] = peak;
}

void ZelWalkPeakRss(benchmark::State& state) {
    const std::string root = Trees::get().deep() + "/";
    double peak = 0;
    for (auto _ : state) {
        long long base = 0;
        startPeak(base);
        zel::DirectoryWalk walk(root.c_str());
        zel::BaseString<char> path;
        while (walk.Next(path))
            benchmark::DoNotOptimize(path.Length());
        peak = peakMegabytes(base);
    }
    state.counters["peak_rss_MB"] = peak;
}

void VectorOfPathsPeakRss(benchmark::State& state) {
    // The same paths, made once into one block of text outside the measurement.
    std::string block;
    {
        zel::Array<zel::BaseString<char>> files;
        zel::DirectoryIterator::GetWildCardFilesFlat((Trees::get().deep() + "/").c_str(), files,
                                                     true);
        for (unsigned int i = 0; i < files.Size(); ++i) {
            block += static_cast<const char*>(files[i]);
            block += '\0';
        }
    }
    double peak = 0;
    for (auto _ : state) {
        long long base = 0;
        startPeak(base);
        std::vector<std::string> paths;
        for (const char* p = block.c_str(); p < block.c_str() + block.size();
             p += paths.back().size() + 1)
            paths.emplace_back(p);
        peak = peakMegabytes(base);
        benchmark::DoNotOptimize(paths.data());
    }
    state.counters["peak_rss_MB"] = peak;
}

void NftwFlatPeakRss(benchmark::State& state) {
    const std::string root = Trees::get().deep();
    double peak = 0;
    for (auto _ : state) {
        long long base = 0;
        startPeak(base);
        std::vector<Stamped> entries = nftwList(root);
        peak = peakMegabytes(base);
        benchmark::DoNotOptimize(entries.data());
    }
    state.counters["peak_rss_MB"] = peak;
}

} // namespace

BENCHMARK(ZelFlatByName)->Unit(benchmark::kMillisecond);
BENCHMARK(ZelFlatByTime)->Unit(benchmark::kMillisecond);
BENCHMARK(ZelWalkByName)->Unit(benchmark::kMillisecond);
BENCHMARK(ZelWalkFirstPath)->Unit(benchmark::kMicrosecond);
BENCHMARK(NftwFlatByName)->Unit(benchmark::kMillisecond);
BENCHMARK(ReaddirFstatatFlatByName)->Unit(benchmark::kMillisecond);
BENCHMARK(StdRecursiveByName)->Unit(benchmark::kMillisecond);
BENCHMARK(ZelOneLevelByName)->Unit(benchmark::kMillisecond);
BENCHMARK(NftwOneLevelByName)->Unit(benchmark::kMillisecond);
BENCHMARK(ReaddirFstatatOneLevelByName)->Unit(benchmark::kMillisecond);
BENCHMARK(StdOneLevelByName)->Unit(benchmark::kMillisecond);
BENCHMARK(ZelFlatPeakRss)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(ZelWalkPeakRss)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(VectorOfPathsPeakRss)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(NftwFlatPeakRss)->Unit(benchmark::kMillisecond)->Iterations(3);
