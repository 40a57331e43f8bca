// Download throughput and responsiveness of cDownload against the local
// vendor site, with a plain libcurl transfer (2048-byte buffer, to a file)
// and the curl command on the same file as baselines in the same run.

#include "RunRecorder.h"
#include "catalogue/cDownloadProgress.h"
#include "net/cDownload.h"
#include "net/mInternet.h"
#include "support/FakeView.h"
#include "support/LocalSite.h"
#include "support/LoopGapMeter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <curl/curl.h>
#include <map>
#include <memory>
#include <vector>

namespace {

constexpr qint64 kFileSize = 200LL * 1024 * 1024;

QTemporaryDir* root = nullptr;
LocalSite* site = nullptr;

QString SourceUrl()
{
    return site->Url(QStringLiteral("/hub/big.Z"));
}
QString TargetPath()
{
    return root->filePath(QStringLiteral("target.bin"));
}

bool MakeSourceFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // xorshift32: incompressible enough, and cheap to make.
    QByteArray block(1024 * 1024, Qt::Uninitialized);
    uint32_t x = 2463534242u;
    for (qint64 written = 0; written < kFileSize; written += block.size()) {
        for (qsizetype i = 0; i + 4 <= block.size(); i += 4) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            std::memcpy(block.data() + i, &x, 4);
        }
        if (file.write(block) != block.size())
            return false;
    }
    return true;
}

double longestGapDuringDownloadMs = 0;

// Every transfer starts without a target file: freeing the blocks of the
// previous 200 MiB copy costs tens of milliseconds of file-system time that
// is no part of a download.
void RemoveTarget(benchmark::State& state)
{
    state.PauseTiming();
    QFile::remove(TargetPath());
    state.ResumeTiming();
}

void BM_DownloadToFile(benchmark::State& state)
{
    for (auto _ : state) {
        RemoveTarget(state);
        cDownload download;
        download.RaiseDownloadEvent(false);
        LoopGapMeter meter;
        const int32_t got = download.DownloadToFile(SourceUrl(), TargetPath());
        longestGapDuringDownloadMs = std::max(longestGapDuringDownloadMs, meter.LongestMs());
        if (got != kFileSize || !download.Complete())
            state.SkipWithError("incomplete download");
    }
    state.SetBytesProcessed(state.iterations() * kFileSize);
}

// One download to the target file, with the window's progress reporting on
// or off; its time in milliseconds, -1 when it did not complete.
double longestGapWithProgressMs = 0;
double TimedDownload(bool withProgress)
{
    QFile::remove(TargetPath());
    FakeView view;
    cDownload download;
    cDownloadProgress progress(view, QStringLiteral("宾得扩展"), 2, 5);
    if (withProgress)
        download.DownloadEvent = [&](int32_t status, int32_t bytes, int32_t speed) {
            progress.OnEvent(status, bytes, speed, download.ContentLength());
        };
    else
        download.RaiseDownloadEvent(false);
    LoopGapMeter meter;
    QElapsedTimer clock;
    clock.start();
    const bool whole =
        download.DownloadToFile(SourceUrl(), TargetPath()) == kFileSize && download.Complete();
    const double ms = clock.nsecsElapsed() / 1e6;
    if (withProgress)
        longestGapWithProgressMs = std::max(longestGapWithProgressMs, meter.LongestMs());
    return whole ? ms : -1;
}

// What the progress line costs a download: the same download without and
// with it in turn, so a busy moment of the machine falls on both; the median
// of the pairs' ratios.
double ProgressCostPercent(int pairs)
{
    std::vector<double> ratios;
    for (int i = 0; i < pairs; ++i) {
        const double off = TimedDownload(false), on = TimedDownload(true);
        if (off <= 0 || on <= 0)
            return -100;
        ratios.push_back(on / off);
    }
    std::sort(ratios.begin(), ratios.end());
    return (ratios[ratios.size() / 2] - 1) * 100;
}

// The same download of url to a plain file and to a partial file with its
// record, in turn, each first in every other pair (the file system may still
// be writing back the one before): per pair, the milliseconds of both; none
// when a download did not complete.
std::vector<std::pair<double, double>> ResumePairs(const QString& url, qint64 size, int pairs)
{
    std::vector<std::pair<double, double>> times;
    for (int i = 0; i < pairs; ++i) {
        double ms[2] = {0, 0};
        for (int turn = 0; turn < 2; ++turn) {
            const int resumable = (turn + i) % 2;
            QFile::remove(TargetPath());
            cDownload download;
            download.RaiseDownloadEvent(false);
            QElapsedTimer clock;
            clock.start();
            const int32_t got = resumable ? download.DownloadToPartFile(url, TargetPath())
                                          : download.DownloadToFile(url, TargetPath());
            ms[resumable] = clock.nsecsElapsed() / 1e6;
            if (got != size || !download.Complete())
                return {};
        }
        times.emplace_back(ms[0], ms[1]);
    }
    return times;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// What resume support costs a download that is never cut. On 200 MiB: the
// median of the pairs' ratios; a busy machine moves single pairs by 10% and
// more, so it takes many.
// On 4 KiB, where a download's fixed costs are all there is: the median of
// the pairs' differences (the record written and removed, the partial file
// looked at), as a share of the 200 MiB download.
void PrintResumeCost()
{
    const auto big = ResumePairs(SourceUrl(), kFileSize, 31);
    const auto small = ResumePairs(site->Url(QStringLiteral("/hub/small.Z")), 4096, 101);
    std::vector<double> ratios, differences, plain;
    for (const auto& [off, on] : big)
        ratios.push_back(on / off), plain.push_back(off);
    for (const auto& [off, on] : small)
        differences.push_back(on - off);
    if (big.empty() || small.empty()) {
        std::printf("cost of resume support: a download did not complete\n");
        return;
    }
    std::printf("figure: cost of resume support, uncut 200 MiB download (median of 31 pairs): "
                "%.1f%% (target <= 1)\n",
                (Median(ratios) - 1) * 100);
    std::printf("fixed cost of resume support per download (median of 101 pairs of 4 KiB): "
                "%.3f ms\n",
                Median(differences));
    std::printf("figure: cost of resume support, its fixed part on a 200 MiB download: %.3f%% "
                "(target <= 1)\n",
                Median(differences) / Median(plain) * 100);
}

// Body bytes that come over the line to get the whole archive when the
// connection drops at 90% of it: without resume (the download fails and the
// next starts again) and with it (the retry asks for the rest). In times the
// archive; -1 when the archive did not arrive whole.
double BytesOverTheLine(bool resume)
{
    const qint64 dropAt = kFileSize * 9 / 10;
    LocalSite dropping(root->path(), {QStringLiteral("/hub/=drop:%1").arg(dropAt)});
    if (!dropping.IsRunning())
        return -1;
    QFile::remove(TargetPath());
    QFile::remove(TargetPath() + QStringLiteral(".info"));
    qint64 received = 0;
    int32_t last = 0;
    cDownload download;
    download.DownloadEvent = [&](int32_t status, int32_t bytes, int32_t) {
        if (status != cDownload::ChunkReceived)
            return;
        // A continued body counts on from the kept bytes; a new one from 0.
        received += bytes > last ? bytes - last : bytes;
        last = bytes;
    };
    const QString url = dropping.Url(QStringLiteral("/hub/big.Z"));
    bool whole = false;
    for (int attempt = 0; attempt < 2 && !whole; ++attempt) {
        last = 0;
        const int32_t got = resume ? download.DownloadToPartFile(url, TargetPath())
                                   : download.DownloadToFile(url, TargetPath());
        whole = got == kFileSize && download.Complete();
    }
    return whole ? static_cast<double>(received) / kFileSize : -1;
}

size_t WriteToFile(char* data, size_t size, size_t count, void* file)
{
    return std::fwrite(data, size, count, static_cast<std::FILE*>(file)) * size;
}

void BM_LibcurlEasy2048(benchmark::State& state)
{
    const QByteArray url = SourceUrl().toUtf8();
    const QByteArray target = TargetPath().toLocal8Bit();
    for (auto _ : state) {
        RemoveTarget(state);
        std::FILE* file = std::fopen(target.constData(), "wb");
        CURL* easy = curl_easy_init();
        curl_easy_setopt(easy, CURLOPT_URL, url.constData());
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 2048L);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &WriteToFile);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, file);
        const CURLcode result = curl_easy_perform(easy);
        curl_easy_cleanup(easy);
        std::fclose(file);
        if (result != CURLE_OK)
            state.SkipWithError("libcurl transfer failed");
    }
    state.SetBytesProcessed(state.iterations() * kFileSize);
}

void BM_CurlCommand(benchmark::State& state)
{
    for (auto _ : state) {
        RemoveTarget(state);
        const int code =
            QProcess::execute(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-o"),
                                                       TargetPath(), SourceUrl()});
        if (code != 0)
            state.SkipWithError("curl failed");
    }
    state.SetBytesProcessed(state.iterations() * kFileSize);
}

BENCHMARK(BM_DownloadToFile)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_LibcurlEasy2048)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_CurlCommand)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The longest event-loop gap while a download waits for a site that never
// answers.
double LongestGapDuringConnectionWaitMs()
{
    LocalSite hanging(root->path(), {QStringLiteral("*=hang")});
    if (!hanging.IsRunning())
        return -1;
    cDownload download;
    download.ConnTimeout(2000);
    LoopGapMeter meter;
    download.DownloadToFile(hanging.Url(QStringLiteral("/hub/big.Z")), TargetPath());
    return meter.LongestMs();
}

} // namespace

int main(int argc, char** argv)
{
    mInternet::InitInternet();
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    QTemporaryDir dir;
    root = &dir;
    QFile small(dir.filePath(QStringLiteral("hub/small.Z")));
    if (!QDir(dir.path()).mkpath(QStringLiteral("hub")) ||
        !MakeSourceFile(dir.filePath(QStringLiteral("hub/big.Z"))) ||
        !small.open(QIODevice::WriteOnly) || small.write(QByteArray(4096, 'z')) != 4096 ||
        !small.flush()) {
        std::fprintf(stderr, "cannot make the 200 MiB source file\n");
        return 1;
    }
    mInternet::SetConnectedStateForTests(true);
    auto served = std::make_unique<LocalSite>(dir.path());
    if (!served->IsRunning()) {
        std::fprintf(stderr, "%s\n", qPrintable(served->Error()));
        return 1;
    }
    site = served.get();

    RunRecorder reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double ours = reporter.Rate("BM_DownloadToFile");
    const double easy = reporter.Rate("BM_LibcurlEasy2048");
    const double command = reporter.Rate("BM_CurlCommand");
    if (easy > 0)
        std::printf(
            "figure: DownloadToFile / libcurl easy (2048-byte buffer): %.2f (target >= 1.2)\n",
            ours / easy);
    if (command > 0)
        std::printf("figure: DownloadToFile / curl -s -o: %.2f (target >= 0.8)\n", ours / command);
    std::printf("figure: cost of the progress line (median of 9 pairs): %.1f%% (target <= 2)\n",
                ProgressCostPercent(9));
    PrintResumeCost();
    std::printf("body bytes over the line / archive, dropped at 90%%, without resume: %.2f\n",
                BytesOverTheLine(false));
    std::printf("figure: body bytes over the line / archive, dropped at 90%%, with resume: %.2f "
                "(target <= 1.1)\n",
                BytesOverTheLine(true));
    std::printf("figure: longest event-loop gap during the download with progress, ms: %.2f "
                "(target < 20)\n",
                longestGapWithProgressMs);
    std::printf("figure: longest event-loop gap during the download, ms: %.2f (target < 20)\n",
                longestGapDuringDownloadMs);
    std::printf("figure: longest event-loop gap during a connection wait (site hangs), ms: %.2f "
                "(target < 20)\n",
                LongestGapDuringConnectionWaitMs());
    served.reset();
    benchmark::Shutdown();
    return 0;
}
