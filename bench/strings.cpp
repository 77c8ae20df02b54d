// Text primitives beside glibc, in one run:
//   - strlen of 64 B and 1 MiB;
//   - strcmp, strncmp, strcasecmp and strncasecmp of two equal texts (the
//     case-blind ones of two texts that differ only in case) of 64 B and 1 MiB;
//   - strstr with an 8-byte needle at the end of a 64-byte text;
//   - the searches on adversarial inputs (1 MiB of 'a', a needle of 16 or 1 KiB:
//     all 'a' but a final 'b') that make a byte-at-a-time scan quadratic, where
//     strstrNoCase has glibc's strstr as its peer (strcasestr is far slower);
//   - a short word near the end of 64 KiB of prose.
// The texts live in separate heap blocks, as a caller's would.
#include "zel/StringUtil.h"

#include "TextLevel.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <strings.h>

namespace {

// ZEL_TEST_TEXT_VECTORS chooses the vector level (TextLevel.h).
[[maybe_unused]] const bool g_textLevel = zelbench::ApplyTextVectorLevel();

const std::string& Text() {
    static const std::string text(1 << 20, 'a');
    return text;
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

// Two equal texts of `size` bytes in separate blocks; the second in mixed case
// when `mixedCase`.
struct TextPair {
    std::string a;
    std::string b;
};

const TextPair& Pair(long size, bool mixedCase) {
    static TextPair pairs[2][2];
    const int which = size == 64 ? 0 : 1;
    TextPair& p = pairs[which][mixedCase ? 1 : 0];
    if (p.a.empty()) {
        for (long i = 0; i < size; ++i)
            p.a += static_cast<char>('a' + i % 26);
        p.b = p.a;
        if (mixedCase)
            for (std::size_t i = 0; i < p.b.size(); i += 2)
                p.b[i] = static_cast<char>(p.b[i] - 0x20);
    }
    return p;
}

template <typename F> void RunCompare(benchmark::State& state, bool mixedCase, F compare) {
    const TextPair& p = Pair(state.range(0), mixedCase);
    for (auto _ : state) {
        const char* a = p.a.c_str();
        const char* b = p.b.c_str();
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(b);
        benchmark::DoNotOptimize(compare(a, b));
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_strcmp_zel(benchmark::State& state) {
    RunCompare(state, false, [](const char* a, const char* b) { return zel::util::strcmp(a, b); });
}
void BM_strcmp_glibc(benchmark::State& state) {
    RunCompare(state, false, [](const char* a, const char* b) { return std::strcmp(a, b); });
}
void BM_strncmp_zel(benchmark::State& state) {
    RunCompare(state, false,
               [](const char* a, const char* b) { return zel::util::strncmp(a, b, 1u << 30); });
}
void BM_strncmp_glibc(benchmark::State& state) {
    RunCompare(state, false,
               [](const char* a, const char* b) { return std::strncmp(a, b, 1u << 30); });
}
void BM_strcasecmp_zel(benchmark::State& state) {
    RunCompare(state, true,
               [](const char* a, const char* b) { return zel::util::strcasecmp(a, b); });
}
void BM_strcasecmp_glibc(benchmark::State& state) {
    RunCompare(state, true, [](const char* a, const char* b) { return ::strcasecmp(a, b); });
}
void BM_strncasecmp_zel(benchmark::State& state) {
    RunCompare(state, true,
               [](const char* a, const char* b) { return zel::util::strncasecmp(a, b, 1u << 30); });
}
void BM_strncasecmp_glibc(benchmark::State& state) {
    RunCompare(state, true,
               [](const char* a, const char* b) { return ::strncasecmp(a, b, 1u << 30); });
}

void BM_strlen64_zel(benchmark::State& state) {
    const std::string& s = Pair(64, false).a;
    for (auto _ : state) {
        const char* p = s.c_str();
        benchmark::DoNotOptimize(p);
        benchmark::DoNotOptimize(zel::util::strlen(p));
    }
}
void BM_strlen64_glibc(benchmark::State& state) {
    const std::string& s = Pair(64, false).a;
    for (auto _ : state) {
        const char* p = s.c_str();
        benchmark::DoNotOptimize(p);
        benchmark::DoNotOptimize(std::strlen(p));
    }
}

// 64 bytes of text whose last 8 bytes are the needle.
const std::string& ShortText() {
    static const std::string text = std::string(56, 'x') + "abcdefgh";
    return text;
}

void BM_strstr_end64_zel(benchmark::State& state) {
    for (auto _ : state) {
        const char* t = ShortText().c_str();
        benchmark::DoNotOptimize(t);
        benchmark::DoNotOptimize(zel::util::strstr(t, "abcdefgh"));
    }
}
void BM_strstr_end64_glibc(benchmark::State& state) {
    for (auto _ : state) {
        const char* t = ShortText().c_str();
        benchmark::DoNotOptimize(t);
        benchmark::DoNotOptimize(std::strstr(t, "abcdefgh"));
    }
}

// The adversarial needle of `size` bytes: 'a' repeated, then 'b'.
const std::string& Needle(long size) {
    static const std::string n16 = std::string(15, 'a') + "b";
    static const std::string n1k = std::string(1023, 'a') + "b";
    return size == 16 ? n16 : n1k;
}

template <typename F> void RunAdversarial(benchmark::State& state, F search) {
    const std::string& needle = Needle(state.range(0));
    for (auto _ : state) {
        const char* t = Text().c_str();
        benchmark::DoNotOptimize(t);
        benchmark::DoNotOptimize(search(t, needle.c_str()));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(Text().size()));
}

void BM_strstr_adversarial_zel(benchmark::State& state) {
    RunAdversarial(state, [](const char* t, const char* n) { return zel::util::strstr(t, n); });
}
void BM_strstrNoCase_adversarial_zel(benchmark::State& state) {
    RunAdversarial(state,
                   [](const char* t, const char* n) { return zel::util::strstrNoCase(t, n); });
}
void BM_strstr_adversarial_glibc(benchmark::State& state) {
    RunAdversarial(state, [](const char* t, const char* n) { return std::strstr(t, n); });
}

} // namespace

BENCHMARK(BM_strlen64_zel);
BENCHMARK(BM_strlen64_glibc);
BENCHMARK(BM_strcmp_zel)->Arg(64)->Arg(1 << 20);
BENCHMARK(BM_strcmp_glibc)->Arg(64)->Arg(1 << 20);
BENCHMARK(BM_strncmp_zel)->Arg(64)->Arg(1 << 20);
BENCHMARK(BM_strncmp_glibc)->Arg(64)->Arg(1 << 20);
BENCHMARK(BM_strcasecmp_zel)->Arg(64)->Arg(1 << 20);
BENCHMARK(BM_strcasecmp_glibc)->Arg(64)->Arg(1 << 20);
BENCHMARK(BM_strncasecmp_zel)->Arg(64)->Arg(1 << 20);
BENCHMARK(BM_strncasecmp_glibc)->Arg(64)->Arg(1 << 20);
BENCHMARK(BM_strstr_end64_zel);
BENCHMARK(BM_strstr_end64_glibc);
BENCHMARK(BM_strstr_adversarial_zel)->Arg(16)->Arg(1024);
BENCHMARK(BM_strstrNoCase_adversarial_zel)->Arg(16)->Arg(1024);
BENCHMARK(BM_strstr_adversarial_glibc)->Arg(16)->Arg(1024);
BENCHMARK(BM_strlen_zel);
BENCHMARK(BM_strlen_glibc);
BENCHMARK(BM_strstr_word_zel);
BENCHMARK(BM_strstrNoCase_word_zel);
BENCHMARK(BM_strstr_word_glibc);
BENCHMARK(BM_strcasestr_word_glibc);
