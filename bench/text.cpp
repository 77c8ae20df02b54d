// Text and number utilities beside their C and C++ library peers, in one run:
// stringToInteger/stringToInt64/stringToDouble against strtol/strtoll/strtod and
// std::from_chars over the same 1,000,000 mixed decimal texts (from_chars is given
// each text's end, as its interface asks, and the blanks before the number are
// skipped for it), stringHashCode against std::hash<std::string_view> and
// stringHashCodeNoCase against a plain loop with a fold table over 1 MiB, and
// singleStringToMultipleStrings over
// a 1 MiB and a 2 MiB comma-separated line with quoted fields (linear: the
// bytes per second should match).
#include "zel/HashUtil.h"
#include "zel/NumberUtil.h"
#include "zel/SplitUtil.h"

#include "TextLevel.h"

#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace {

// ZEL_TEST_TEXT_VECTORS chooses the vector level (TextLevel.h).
[[maybe_unused]] const bool g_textLevel = zelbench::ApplyTextVectorLevel();

constexpr std::size_t kTexts = 1000000;

// All texts NUL-separated in one block, with a pointer to each.
struct TextSet {
    std::string storage;
    std::vector<const char*> texts;
    std::vector<const char*> ends; // each text's terminator
};

class Random {
public:
    std::uint32_t Next() {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<std::uint32_t>(state_ >> 33);
    }
    std::uint32_t Below(std::uint32_t n) { return Next() % n; }

private:
    std::uint64_t state_ = 42;
};

template <typename Make> TextSet MakeTexts(Make make) {
    TextSet set;
    Random random;
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < kTexts; ++i) {
        offsets.push_back(set.storage.size());
        set.storage += make(random);
        set.storage += '\0';
    }
    for (std::size_t offset : offsets) {
        set.texts.push_back(set.storage.data() + offset);
        set.ends.push_back(set.texts.back() + std::strlen(set.texts.back()));
    }
    return set;
}

std::string Digits(Random& random, unsigned count) {
    std::string s(1, static_cast<char>('1' + random.Below(9)));
    for (unsigned i = 1; i < count; ++i)
        s += static_cast<char>('0' + random.Below(10));
    return s;
}

// Mixed decimal integers: 1 to `maxDigits` digits, some negative, some with
// leading blanks.
std::string IntegerText(Random& random, unsigned maxDigits) {
    std::string s;
    if (random.Below(8) == 0)
        s += "  ";
    if (random.Below(3) == 0)
        s += '-';
    s += Digits(random, 1 + random.Below(maxDigits));
    return s;
}

// Mixed decimal numbers: integers, fractions, exponents.
std::string DoubleText(Random& random) {
    std::string s;
    if (random.Below(3) == 0)
        s += '-';
    s += Digits(random, 1 + random.Below(6));
    if (random.Below(4) != 0)
        s += "." + Digits(random, 1 + random.Below(10));
    if (random.Below(4) == 0)
        s += "e" + std::to_string(static_cast<int>(random.Below(40)) - 20);
    return s;
}

const TextSet& Int32Texts() {
    static const TextSet set = MakeTexts([](Random& r) { return IntegerText(r, 9); });
    return set;
}
const TextSet& Int64Texts() {
    static const TextSet set = MakeTexts([](Random& r) { return IntegerText(r, 18); });
    return set;
}
const TextSet& DoubleTexts() {
    static const TextSet set = MakeTexts(DoubleText);
    return set;
}

template <typename T, typename Parse>
void RunParse(benchmark::State& state, const TextSet& set, Parse parse) {
    for (auto _ : state) {
        T sum = 0;
        for (const char* text : set.texts)
            sum += parse(text);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(set.texts.size()));
}

void BM_stringToInteger(benchmark::State& state) {
    RunParse<unsigned>(state, Int32Texts(), [](const char* t) {
        return static_cast<unsigned>(zel::util::stringToInteger(t, nullptr));
    });
}
void BM_strtol(benchmark::State& state) {
    RunParse<unsigned>(state, Int32Texts(), [](const char* t) {
        return static_cast<unsigned>(std::strtol(t, nullptr, 10));
    });
}
// The peer with std::from_chars: blanks skipped by hand, then the number up to
// the text's end.
template <typename T, typename Sum> void RunFromChars(benchmark::State& state, const TextSet& set) {
    for (auto _ : state) {
        Sum sum = 0;
        for (std::size_t i = 0; i < set.texts.size(); ++i) {
            const char* p = set.texts[i];
            while (*p == ' ')
                ++p;
            T value = 0;
            std::from_chars(p, set.ends[i], value);
            sum += static_cast<Sum>(value);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(set.texts.size()));
}

void BM_FromCharsInt(benchmark::State& state) {
    RunFromChars<int, unsigned>(state, Int32Texts());
}
void BM_FromCharsDouble(benchmark::State& state) {
    RunFromChars<double, double>(state, DoubleTexts());
}

void BM_stringToInt64(benchmark::State& state) {
    RunParse<unsigned long long>(state, Int64Texts(), [](const char* t) {
        return static_cast<unsigned long long>(zel::util::stringToInt64(t, nullptr));
    });
}
void BM_strtoll(benchmark::State& state) {
    RunParse<unsigned long long>(state, Int64Texts(), [](const char* t) {
        return static_cast<unsigned long long>(std::strtoll(t, nullptr, 10));
    });
}
void BM_stringToDouble(benchmark::State& state) {
    RunParse<double>(state, DoubleTexts(),
                     [](const char* t) { return zel::util::stringToDouble(t, nullptr); });
}
void BM_strtod(benchmark::State& state) {
    RunParse<double>(state, DoubleTexts(), [](const char* t) { return std::strtod(t, nullptr); });
}

const std::string& HashText() {
    static const std::string text = [] {
        std::string s;
        Random random;
        while (s.size() < (1u << 20))
            s += static_cast<char>(' ' + random.Below(95));
        return s;
    }();
    return text;
}

void BM_stringHashCode(benchmark::State& state) {
    const std::string& text = HashText();
    for (auto _ : state)
        benchmark::DoNotOptimize(zel::util::stringHashCode(text.c_str()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
}
void BM_StdHashStringView(benchmark::State& state) {
    const std::string& text = HashText();
    for (auto _ : state)
        benchmark::DoNotOptimize(std::hash<std::string_view>{}(std::string_view(text)));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
}

void BM_stringHashCodeNoCase(benchmark::State& state) {
    const std::string& text = HashText();
    for (auto _ : state)
        benchmark::DoNotOptimize(zel::util::stringHashCodeNoCase(text.c_str()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
}
// The peer: h = h * 31 + fold[byte] over the text, byte by byte.
void BM_FoldTableHashLoop(benchmark::State& state) {
    static const auto fold = [] {
        std::vector<unsigned char> table(256);
        for (unsigned c = 0; c < 256; ++c)
            table[c] = static_cast<unsigned char>((c >= 'A' && c <= 'Z') ? c + 0x20 : c);
        return table;
    }();
    const std::string& text = HashText();
    for (auto _ : state) {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(text.c_str());
        benchmark::DoNotOptimize(p);
        std::uint32_t h = 0;
        for (; *p != 0; ++p)
            h = h * 31u + fold[*p];
        benchmark::DoNotOptimize(h);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
}

// A comma-separated line of plain and quoted fields (some with doubled quotes
// and commas inside) of at least `size` bytes.
std::string CsvLine(std::size_t size) {
    std::string s;
    Random random;
    while (s.size() < size) {
        switch (random.Below(4)) {
        case 0:
            s += Digits(random, 1 + random.Below(8));
            break;
        case 1:
            s += "\"field, " + Digits(random, 3) + "\"";
            break;
        case 2:
            s += "\"say \"\"" + Digits(random, 2) + "\"\" here\"";
            break;
        default:
            s += "plain text " + Digits(random, 4);
            break;
        }
        s += ',';
    }
    return s;
}

void BM_singleStringToMultipleStrings(benchmark::State& state) {
    const std::string line = CsvLine(static_cast<std::size_t>(state.range(0)));
    zel::Array<zel::BaseString<char>> list;
    for (auto _ : state) {
        zel::util::singleStringToMultipleStrings(line.c_str(), ",", list, true);
        benchmark::DoNotOptimize(list.Size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(line.size()));
    state.counters["fields"] = static_cast<double>(list.Size());
}

} // namespace

BENCHMARK(BM_stringToInteger)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_strtol)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FromCharsInt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_stringToInt64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_strtoll)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_stringToDouble)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_strtod)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FromCharsDouble)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_stringHashCode)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StdHashStringView)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_stringHashCodeNoCase)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FoldTableHashLoop)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_singleStringToMultipleStrings)
    ->Arg(1 << 20)
    ->Arg(2 << 20)
    ->Unit(benchmark::kMillisecond);
