// Directory listing beside std::filesystem: a flat, name-sorted list of every file
// of a tree of 100,000 files in about 1,000 folders, and a one-level listing of a
// folder of 10,000 files. The trees are generated in a temporary folder once and
// removed when the program ends.
#include "zel/Directory.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <strings.h>
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

} // namespace

BENCHMARK(ZelFlatByName)->Unit(benchmark::kMillisecond);
BENCHMARK(StdRecursiveByName)->Unit(benchmark::kMillisecond);
BENCHMARK(ZelOneLevelByName)->Unit(benchmark::kMillisecond);
BENCHMARK(StdOneLevelByName)->Unit(benchmark::kMillisecond);
