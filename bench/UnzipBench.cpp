// Extraction of a 100 MiB archive of 200 members (half text, half random)
// with cUnzipFiles, against the unzip command (unzip -o -q -j) on the same
// archive in the same run.

#include "RunRecorder.h"
#include "unzip/cUnzipFiles.h"

#include <QByteArray>
#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <zip.h>

extern char** environ;

namespace {

constexpr int kMembers = 200;
constexpr qsizetype kMemberSize = (qsizetype{100} << 20) / kMembers;

QByteArray TextMember(int index)
{
    QByteArray text;
    text.reserve(kMemberSize + 128);
    for (int line = 0; text.size() < kMemberSize; ++line)
        text += "Model " + QByteArray::number(index * 100000 + line) + ";EOS R" +
                QByteArray::number(line % 97) + ";2023-0" + QByteArray::number(line % 9 + 1) +
                ";kit lens RF 24-105mm F4 L IS USM\n";
    text.truncate(kMemberSize);
    return text;
}

QByteArray RandomMember(int index)
{
    QRandomGenerator generator(static_cast<quint32>(index));
    QByteArray bytes(kMemberSize, Qt::Uninitialized);
    generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
    return bytes;
}

// The archive, made once: text deflated, random data stored (what zip does
// when deflating does not pay).
struct Fixture
{
    QTemporaryDir dir;
    QString archive;
    std::vector<QByteArray> data;

    Fixture()
    {
        archive = dir.filePath(QStringLiteral("bench.zip"));
        int error = 0;
        zip_t* za =
            zip_open(QFile::encodeName(archive).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        data.reserve(kMembers);
        for (int i = 0; i < kMembers; ++i) {
            const bool text = i % 2 == 0;
            data.push_back(text ? TextMember(i) : RandomMember(i));
            const QByteArray name = "members/" + QByteArray(text ? "text" : "data") +
                                    QByteArray::number(i) + (text ? ".txt" : ".bin");
            zip_source_t* source =
                zip_source_buffer(za, data.back().constData(), data.back().size(), 0);
            const zip_int64_t index = zip_file_add(za, name.constData(), source, 0);
            zip_set_file_compression(za, static_cast<zip_uint64_t>(index),
                                     text ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
        }
        if (zip_close(za) != 0)
            std::fprintf(stderr, "cannot write %s\n", qPrintable(archive));
        data.clear();
    }
};

Fixture& TheFixture()
{
    static Fixture fixture;
    return fixture;
}

QString FreshTarget(const QString& name)
{
    const QString target = TheFixture().dir.filePath(name);
    QDir(target).removeRecursively();
    QDir().mkpath(target);
    return target;
}

void BM_cUnzipFiles(benchmark::State& state)
{
    const QString archive = TheFixture().archive;
    for (auto _ : state) {
        state.PauseTiming();
        const QString target = FreshTarget(QStringLiteral("ours"));
        state.ResumeTiming();
        cUnzipFiles files;
        files.SetHonorDirectories(false);
        const int32_t code = files.Unzip(archive, target);
        if (code != 0)
            state.SkipWithError("cUnzipFiles failed");
    }
    state.SetBytesProcessed(state.iterations() * kMemberSize * kMembers);
}

void BM_UnzipCommand(benchmark::State& state)
{
    const QByteArray archive = QFile::encodeName(TheFixture().archive);
    for (auto _ : state) {
        state.PauseTiming();
        const QByteArray target = QFile::encodeName(FreshTarget(QStringLiteral("theirs")));
        state.ResumeTiming();
        const char* argv[] = {
            "unzip", "-o", "-q", "-j", archive.constData(), "-d", target.constData(), nullptr};
        pid_t pid = 0;
        int status = -1;
        if (posix_spawnp(&pid, "unzip", nullptr, nullptr, const_cast<char**>(argv), environ) != 0 ||
            waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            state.SkipWithError("unzip failed");
    }
    state.SetBytesProcessed(state.iterations() * kMemberSize * kMembers);
}

BENCHMARK(BM_cUnzipFiles)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(3)
    ->UseRealTime();
BENCHMARK(BM_UnzipCommand)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(3)
    ->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    TheFixture();
    RunRecorder reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double ours = reporter.Time("BM_cUnzipFiles");
    if (ours > 0)
        std::printf("figure: unzip command time / cUnzipFiles time: %.2f (target >= 1.5)\n",
                    reporter.Time("BM_UnzipCommand") / ours);
    benchmark::Shutdown();
    return 0;
}
