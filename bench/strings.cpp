// Text primitives beside glibc: strlen on 1 MiB, and the searches on an
// adversarial input (1 MiB of 'a', a pattern of 1,000 'a' then 'b') that makes a
// byte-at-a-time scan quadratic.
#include "zel/StringUtil.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

namespace {

const std::string& Text() {
    static const std::string text(1 << 20, 'a');
    return text;
}

const std::string& Pattern() {
    static const std::string pattern = std::string(1000, 'a') + "b";
    return pattern;
}

void BM_strlen_zel(benchmark::State& state) {
    const char* s = Text().c_str();
    for (auto _ : state)
        benchmark::DoNotOptimize(zel::util::strlen(s));
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(Text().size()));
}

void BM_strlen_glibc(benchmark::State& state) {
    const char* s = Text().c_str();
    for (auto _ : state) {
        benchmark::DoNotOptimize(s);
        benchmark::DoNotOptimize(std::strlen(s));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(Text().size()));
}

void BM_strstr_zel(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(zel::util::strstr(Text().c_str(), Pattern().c_str()));
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(Text().size()));
}

void BM_strstrNoCase_zel(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(zel::util::strstrNoCase(Text().c_str(), Pattern().c_str()));
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(Text().size()));
}

void BM_strstr_glibc(benchmark::State& state) {
    for (auto _ : state) {
        const char* t = Text().c_str();
        benchmark::DoNotOptimize(t);
        benchmark::DoNotOptimize(std::strstr(t, Pattern().c_str()));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(Text().size()));
}

// An everyday search: a short word near the end of 64 KiB of prose-like text.
const std::string& Prose() {
    static const std::string prose = [] {
        std::string s;
        while (s.size() < 65536)
            s += "the quick brown fox jumps over the lazy dog; ";
        return s + "needle";
    }();
    return prose;
}

void BM_strstr_word_zel(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(zel::util::strstr(Prose().c_str(), "needle"));
}

void BM_strstrNoCase_word_zel(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(zel::util::strstrNoCase(Prose().c_str(), "NEEDLE"));
}

void BM_strstr_word_glibc(benchmark::State& state) {
    for (auto _ : state) {
        const char* t = Prose().c_str();
        benchmark::DoNotOptimize(t);
        benchmark::DoNotOptimize(std::strstr(t, "needle"));
    }
}

void BM_strcasestr_word_glibc(benchmark::State& state) {
    for (auto _ : state) {
        const char* t = Prose().c_str();
        benchmark::DoNotOptimize(t);
        benchmark::DoNotOptimize(::strcasestr(t, "NEEDLE"));
    }
}

} // namespace

BENCHMARK(BM_strlen_zel);
BENCHMARK(BM_strlen_glibc);
BENCHMARK(BM_strstr_zel);
BENCHMARK(BM_strstrNoCase_zel);
BENCHMARK(BM_strstr_glibc);
BENCHMARK(BM_strstr_word_zel);
BENCHMARK(BM_strstrNoCase_word_zel);
BENCHMARK(BM_strstr_word_glibc);
BENCHMARK(BM_strcasestr_word_glibc);
