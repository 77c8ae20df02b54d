// Container templates beside their standard-library peers, in one run:
//   - 1,000,000 single-character appends: BaseString<char> += "x" against
//     std::string += "x" (and += 'x');
//   - 1,000,000 Array<unsigned char>::Add against std::vector<unsigned char>::push_back;
//   - 100,000 Array<BaseString<char>>::Add of 16- and 24-character texts against
//     std::vector<std::string>::push_back (from a stored string and from a text).
// Every iteration starts from an empty container, so growth is part of the figure.
//
// glibc's malloc adapts its trim and mmap thresholds to the blocks freed so far, so
// with its defaults a benchmark's figure depends on the ones before it: after the
// byte benchmarks, each iteration of the string benchmarks gave its heap back to the
// kernel and faulted it in again (some 460,000 page faults against 3,000 when run
// alone, doubling the time). The thresholds are therefore fixed at start-up for
// every benchmark alike, so that the figures measure the containers, not the
// kernel's page zeroing. Set ZEL_BENCH_MALLOC_DEFAULTS to keep glibc's defaults.
#include "zel/Array.h"
#include "zel/BaseString.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

#if defined(__GLIBC__)
const bool kMallocFixed = [] {
    if (std::getenv("ZEL_BENCH_MALLOC_DEFAULTS") != nullptr)
        return false;
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    return true;
}();
#endif

constexpr int kAppends = 1000000;
constexpr int kStrings = 100000;
const char kText16[] = "0123456789abcdef";
const char kText24[] = "0123456789abcdefghijklmn";

void BaseStringAppendChar(benchmark::State& state) {
    for (auto _ : state) {
        zel::BaseString<char> s("");
        for (int i = 0; i < kAppends; ++i)
            s += "x";
        benchmark::DoNotOptimize(static_cast<const char*>(s));
    }
    state.SetItemsProcessed(state.iterations() * kAppends);
}
BENCHMARK(BaseStringAppendChar)->Unit(benchmark::kMillisecond);

void StdStringAppendText(benchmark::State& state) {
    for (auto _ : state) {
        std::string s;
        for (int i = 0; i < kAppends; ++i)
            s += "x";
        benchmark::DoNotOptimize(s.data());
    }
    state.SetItemsProcessed(state.iterations() * kAppends);
}
BENCHMARK(StdStringAppendText)->Unit(benchmark::kMillisecond);

void StdStringAppendChar(benchmark::State& state) {
    for (auto _ : state) {
        std::string s;
        for (int i = 0; i < kAppends; ++i)
            s += 'x';
        benchmark::DoNotOptimize(s.data());
    }
    state.SetItemsProcessed(state.iterations() * kAppends);
}
BENCHMARK(StdStringAppendChar)->Unit(benchmark::kMillisecond);

void ArrayAddByte(benchmark::State& state) {
    for (auto _ : state) {
        zel::Array<unsigned char> a;
        for (int i = 0; i < kAppends; ++i)
            a.Add(static_cast<unsigned char>(i));
        benchmark::DoNotOptimize(a.Data());
    }
    state.SetItemsProcessed(state.iterations() * kAppends);
}
BENCHMARK(ArrayAddByte)->Unit(benchmark::kMillisecond);

void VectorPushBackByte(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<unsigned char> v;
        for (int i = 0; i < kAppends; ++i)
            v.push_back(static_cast<unsigned char>(i));
        benchmark::DoNotOptimize(v.data());
    }
    state.SetItemsProcessed(state.iterations() * kAppends);
}
BENCHMARK(VectorPushBackByte)->Unit(benchmark::kMillisecond);

void ArrayAddString(benchmark::State& state, const char* source) {
    const zel::BaseString<char> text(source);
    for (auto _ : state) {
        zel::Array<zel::BaseString<char>> list;
        for (int i = 0; i < kStrings; ++i)
            list.Add(text);
        benchmark::DoNotOptimize(list.Data());
    }
    state.SetItemsProcessed(state.iterations() * kStrings);
}
BENCHMARK_CAPTURE(ArrayAddString, 16, kText16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ArrayAddString, 24, kText24)->Unit(benchmark::kMillisecond);

void VectorPushBackString(benchmark::State& state, const char* source) {
    const std::string text(source);
    for (auto _ : state) {
        std::vector<std::string> list;
        for (int i = 0; i < kStrings; ++i)
            list.push_back(text);
        benchmark::DoNotOptimize(list.data());
    }
    state.SetItemsProcessed(state.iterations() * kStrings);
}
BENCHMARK_CAPTURE(VectorPushBackString, 16, kText16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(VectorPushBackString, 24, kText24)->Unit(benchmark::kMillisecond);

void ArrayAddText(benchmark::State& state, const char* source) {
    for (auto _ : state) {
        zel::Array<zel::BaseString<char>> list;
        for (int i = 0; i < kStrings; ++i)
            list.Add(source);
        benchmark::DoNotOptimize(list.Data());
    }
    state.SetItemsProcessed(state.iterations() * kStrings);
}
BENCHMARK_CAPTURE(ArrayAddText, 16, kText16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ArrayAddText, 24, kText24)->Unit(benchmark::kMillisecond);

void VectorPushBackText(benchmark::State& state, const char* source) {
    for (auto _ : state) {
        std::vector<std::string> list;
        for (int i = 0; i < kStrings; ++i)
            list.push_back(source);
        benchmark::DoNotOptimize(list.data());
    }
    state.SetItemsProcessed(state.iterations() * kStrings);
}
BENCHMARK_CAPTURE(VectorPushBackText, 16, kText16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(VectorPushBackText, 24, kText24)->Unit(benchmark::kMillisecond);

} // namespace
