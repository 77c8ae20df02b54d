// BlowFish beside OpenSSL's Blowfish: bulk enciphering of 1 MiB, the key schedule
// plus 1 KiB, and one short call. Both sides run the full key schedule on every iteration (nothing
// cached), and both do 16 rounds per 8-byte block.
#include "zel/BlowFish.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#if defined(ZEL_HAVE_OPENSSL)
// BF_* are deprecated in OpenSSL 3 but remain the plain Blowfish peer.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/blowfish.h>
#endif

namespace {

const char kKey[] = "benchmark key of moderate length";

zel::Array<unsigned char> Input(std::size_t n) {
    zel::Array<unsigned char> a;
    a.SetSize(static_cast<unsigned int>(n));
    for (std::size_t i = 0; i < n; ++i)
        a.Data()[i] = static_cast<unsigned char>(i * 31 + 7);
    return a;
}

void ZelEncrypt(benchmark::State& state) {
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    const zel::Array<unsigned char> in = Input(n);
    zel::Array<unsigned char> out;
    for (auto _ : state) {
        zel::BlowFish::Encrypt(kKey, in, static_cast<int>(n), out);
        benchmark::DoNotOptimize(out.Data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<long long>(state.iterations()) * static_cast<long long>(n));
}

void ZelDecrypt(benchmark::State& state) {
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    zel::Array<unsigned char> sealed;
    zel::BlowFish::Encrypt(kKey, Input(n), static_cast<int>(n), sealed);
    zel::Array<unsigned char> out;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            zel::BlowFish::Decrypt(kKey, sealed, static_cast<int>(sealed.Size()), out));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<long long>(state.iterations()) * static_cast<long long>(n));
}

BENCHMARK(ZelEncrypt)->Arg(16)->Arg(1024)->Arg(1 << 20);
BENCHMARK(ZelDecrypt)->Arg(16)->Arg(1 << 20);

#if defined(ZEL_HAVE_OPENSSL)
// BF_set_key plus BF_ecb_encrypt over every 8-byte block of the input.
void OpenSslEncrypt(benchmark::State& state) {
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    const zel::Array<unsigned char> in = Input(n);
    std::vector<unsigned char> out(n);
    const int keyLength = static_cast<int>(std::strlen(kKey));
    for (auto _ : state) {
        BF_KEY schedule;
        BF_set_key(&schedule, keyLength, reinterpret_cast<const unsigned char*>(kKey));
        for (std::size_t i = 0; i < n; i += 8)
            BF_ecb_encrypt(in.Data() + i, out.data() + i, &schedule, BF_ENCRYPT);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<long long>(state.iterations()) * static_cast<long long>(n));
}

BENCHMARK(OpenSslEncrypt)->Arg(1024)->Arg(1 << 20);

// The peer of one short Encrypt call: BF_set_key plus one block.
void OpenSslKeyAndOneBlock(benchmark::State& state) {
    unsigned char block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const int keyLength = static_cast<int>(std::strlen(kKey));
    for (auto _ : state) {
        BF_KEY schedule;
        BF_set_key(&schedule, keyLength, reinterpret_cast<const unsigned char*>(kKey));
        BF_ecb_encrypt(block, block, &schedule, BF_ENCRYPT);
        benchmark::DoNotOptimize(block);
        benchmark::ClobberMemory();
    }
}

BENCHMARK(OpenSslKeyAndOneBlock);
#endif

} // namespace
