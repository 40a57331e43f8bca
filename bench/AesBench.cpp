// AES-128 throughput of cRijndael against OpenSSL's portable AES (EVP
// AES-128-ECB with the hardware paths switched off), in the same run.

#include "RunRecorder.h"
#include "crypto/MachineKey.h"
#include "crypto/cRijndael.h"

#include <QByteArray>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <openssl/evp.h>
#include <string>
#include <unistd.h>

namespace {

constexpr qsizetype kSize = 64 * 1024 * 1024;

const QByteArray& Data()
{
    static const QByteArray data(kSize, '\x5A');
    return data;
}

void BM_RijndaelBlocks(benchmark::State& state)
{
    cRijndael cipher;
    cipher.SetCipherKey(GetBuiltinKey(), 128);
    QByteArray buffer = Data();
    for (auto _ : state) {
        auto* p = reinterpret_cast<uint8_t*>(buffer.data());
        cipher.EncryptBlocks(p, p, static_cast<size_t>(buffer.size()));
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(state.iterations() * kSize);
}

void BM_RijndaelArrayEncrypt(benchmark::State& state)
{
    cRijndael cipher;
    cipher.SetCipherKey(GetBuiltinKey(), 128);
    QByteArray out;
    for (auto _ : state) {
        cipher.ArrayEncrypt(Data(), out, 0);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * kSize);
}

void BM_OpenSslPortableEcb(benchmark::State& state)
{
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    const QByteArray key = GetBuiltinKey().left(16);
    EVP_EncryptInit_ex(ctx, EVP_aes_128_ecb(), nullptr,
                       reinterpret_cast<const unsigned char*>(key.constData()), nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    QByteArray out(kSize + 16, '\0');
    for (auto _ : state) {
        int len = 0;
        EVP_EncryptUpdate(ctx, reinterpret_cast<unsigned char*>(out.data()), &len,
                          reinterpret_cast<const unsigned char*>(Data().constData()),
                          static_cast<int>(kSize));
        benchmark::DoNotOptimize(out.data());
    }
    EVP_CIPHER_CTX_free(ctx);
    state.SetBytesProcessed(state.iterations() * kSize);
}

BENCHMARK(BM_RijndaelBlocks)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_RijndaelArrayEncrypt)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_OpenSslPortableEcb)->Unit(benchmark::kMillisecond)->MinTime(2);

} // namespace

int main(int argc, char** argv)
{
    // OpenSSL reads its capability mask when the library loads: start again
    // with AES-NI and the SSSE3 (vpaes) path switched off, so that the
    // baseline is its portable AES.
    if (std::getenv("OPENSSL_ia32cap") == nullptr) {
        setenv("OPENSSL_ia32cap", "~0x200020000000000", 1);
        execv("/proc/self/exe", argv);
        std::perror("execv");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    RunRecorder reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double baseline = reporter.Rate("BM_OpenSslPortableEcb");
    if (baseline > 0) {
        std::printf("figure: cRijndael blocks / OpenSSL portable: %.2f (target >= 1.6)\n",
                    reporter.Rate("BM_RijndaelBlocks") / baseline);
        std::printf("figure: cRijndael ArrayEncrypt / OpenSSL portable: %.2f (target >= 1.6)\n",
                    reporter.Rate("BM_RijndaelArrayEncrypt") / baseline);
    }
    benchmark::Shutdown();
    return 0;
}
