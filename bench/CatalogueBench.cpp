// The main list's rebuild (RefreshList: LoadLocalDatabases, then
// LoadExtensionCache) in the real main window, from a built-in database of 14
// makers with 3,000 bodies and a catalogue of 1,250 / 2,500 / 5,000 packages
// of which a fifth are installed, against filling a bare QTreeWidget with the
// same number of four-column rows in the same run. The per-row times of the
// three sizes and a least-squares line through them show whether the cost
// grows linearly with the number of packages.
//
// Both lists are shown (offscreen) and the events that the fill leaves behind
// (layout, painting) are processed inside the timed region. The bare list is
// emptied outside it, while the rebuild clears its own list inside: the
// comparison is against the cheapest possible fill.

#include "BenchSupport.h"
#include "catalogue/ExtensionEntry.h"
#include "windows/frmMain.h"
#include "controls/cListView.h"
#include "crypto/Envelope.h"
#include "crypto/MachineKey.h"
#include "startup/FileIo.h"
#include "startup/VersionResourceWriter.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTreeWidget>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>

namespace {

constexpr int kMakers = 14;
constexpr int kBodies = 3000;
constexpr int kSizes[] = {1250, 2500, 5000};
const QString kUser = QStringLiteral("benchuser01"); // the cache's id: 8 characters or more
const QString kNoAccount = QStringLiteral("bench");  // fewer than 8: no sync at start

const char* const kMakerKeys[kMakers] = {"canon",     "nikon",  "sony",   "fuji",      "olympus",
                                         "panasonic", "pentax", "casio",  "leica",     "ricoh",
                                         "samsung",   "apple",  "huawei", "hasselblad"};

QString Checksum(const QString& name, const QString& version)
{
    const ByteArray cipher = EncryptBytes((name + u'@' + version).toLocal8Bit(), false);
    return BytesToHex(*cipher, cipher->size(), 0);
}

// The editor's built-in database: 14 makers sharing 3,000 bodies, every
// third body sold with a kit lens.
QByteArray EquipmentDb()
{
    QByteArray json = R"({"version":"1.3","makers":[)";
    for (int m = 0; m < kMakers; ++m)
        json += (m ? "," : "") + QByteArray(R"({"id":")") + kMakerKeys[m] +
                R"(","name_zh-CN":"Maker )" + QByteArray::number(m) + "\"}";
    json += R"(],"bodies":{)";
    int body = 0;
    for (int m = 0; m < kMakers; ++m) {
        const int count = kBodies / kMakers + (m < kBodies % kMakers ? 1 : 0);
        json += (m ? "," : "") + QByteArray("\"") + kMakerKeys[m] + "\":[";
        for (int b = 0; b < count; ++b, ++body)
            json += (b ? "," : "") + bench::ModelRecord(body, body % 3 == 0 ? 1 : 0);
        json += "]";
    }
    return json + "}}";
}

// The package's descriptor under the built-in key, as the archive brings
// it. Written plainly: a thousand flushed atomic replacements would make the
// set-up the longest part of the run.
void WritePlain(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}
void WriteDescriptor(const QString& path, const QByteArray& text)
{
    WritePlain(path, *EncryptBytes(text, false));
}

struct Package
{
    QString name;
    QString version; // as the server sends it
    QString status;
    int count = 0;
    bool installed = false;
    bool archived = false; // an archive in Downloads, not installed
};

Package PackageAt(int i)
{
    Package p;
    // The first packages supersede the built-in makers, as real ones do.
    p.name = i < kMakers ? QString::fromLatin1(kMakerKeys[i])
                         : QStringLiteral("%1-pack-%2").arg(kMakerKeys[i % kMakers]).arg(i);
    p.version = i % 3 == 0 ? QStringLiteral("1.%1").arg(i % 10)
                           : QStringLiteral("2.%1.%2").arg(i % 7).arg(i % 11);
    p.status = i % 50 == 7    ? QStringLiteral("PENDING")
               : i % 50 == 33 ? QStringLiteral("UNPAID")
                              : QStringLiteral("OK");
    p.count = 3 + i % 8;
    p.installed = i % 5 == 0;
    p.archived = i % 50 == 11;
    return p;
}

// One program folder with a catalogue of n packages, its own settings file
// and its own main window.
struct World
{
    int packages = 0;
    ProcessValues process;

    void Build(const QString& root, const QString& editorFolder, int n)
    {
        packages = n;
        process.ProgramFolder = root + QStringLiteral("/program-%1").arg(n);
        process.EditorFolder = editorFolder;
        process.EditorPath = editorFolder + QStringLiteral("/Kestrovia.exe");
        process.ScrollBarWidth = QStringLiteral("17");
        QDir().mkpath(process.ProgramFolder + QStringLiteral("/Downloads"));

        // One settings file serves every size: the smaller catalogues' packages
        // are among the larger ones', with the same versions.
        QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Kestrovia"),
                           QStringLiteral("Kestrovia"));
        settings.setValue(QStringLiteral("AppInfo/UserName"), kUser);

        QByteArray cache =
            R"({"id":")" + kUser.toUtf8() + R"(","hub":"http://127.0.0.1:1/hub/","extensions":[)";
        QByteArray installedDb = "{";
        for (int i = 0; i < n; ++i) {
            const Package p = PackageAt(i);
            const QString version = NormalizeVersion(p.version);
            const QString checksum = Checksum(p.name, version);
            cache +=
                (i ? "," : "") +
                QStringLiteral(
                    R"({"name":"%1","display":"%1 models","version":"%2","status":"%3","count":%4,"checksum":"%5"})")
                    .arg(p.name, p.version, p.status, QString::number(p.count), checksum)
                    .toUtf8();
            if (p.installed) {
                QByteArray descriptor = "\"" + p.name.toUtf8() + "\":[";
                for (int m = 0; m < p.count; ++m)
                    descriptor += (m ? "," : "") + bench::ModelRecord(i * 16 + m, m == 0 ? 1 : 0);
                descriptor += "]";
                const QString folder =
                    process.ProgramFolder + QStringLiteral("/Packages/") + checksum;
                QDir().mkpath(folder);
                WriteDescriptor(folder + QStringLiteral("/extension.cfg"), descriptor);
                installedDb += (installedDb.size() > 1 ? "," : "") + descriptor;
                settings.setValue(QStringLiteral("Tovarinth/") + p.name, version);
            }
            if (p.archived)
                WritePlain(process.ProgramFolder + QStringLiteral("/Downloads/") + checksum +
                               QStringLiteral(".Z"),
                           "PK\x03\x04 stand-in");
        }
        cache += "]}";
        installedDb += "}";
        settings.sync();
        WriteEnvelopeFile(process.ProgramFolder + QStringLiteral("/extcache.cfg"), cache, false);
        WriteEnvelopeFile(process.ProgramFolder + QStringLiteral("/extdb.cfg"), installedDb, true);
    }
};

struct Fixture
{
    QString root;
    QString editorFolder;
    std::map<int, World> worlds;

    Fixture()
    {
        root = bench::TempRoot() + QStringLiteral("/catalogue");
        editorFolder = root + QStringLiteral("/editor");
        QDir().mkpath(editorFolder + QStringLiteral("/Update"));
        WriteEnvelopeFile(editorFolder + QStringLiteral("/Update/equipdb.cfg"), EquipmentDb(),
                          false);
        WriteFileAtomically(
            editorFolder + QStringLiteral("/Kestrovia.exe"),
            BuildVersionedExecutable(StubEditorContent(QStringLiteral("2.1.0.1316"))).bytes);
        for (const int n : kSizes)
            worlds[n].Build(root, editorFolder, n);
    }
};

Fixture& TheFixture()
{
    static Fixture fixture;
    return fixture;
}

void BM_RefreshList(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    World& world = TheFixture().worlds.at(n);

    // The window starts without an account, so that no sync begins; the
    // rebuilds then run for the cache's user.
    world.process.UserName = kNoAccount;
    ScriptedPrompt prompt;
    frmMain window(world.process, &prompt);
    window.show();
    world.process.UserName = kUser;
    window.Procedures().RefreshList();
    QCoreApplication::processEvents();

    cListView* list = window.findChild<cListView*>(QStringLiteral("lvBody"));
    const int rows = list->count();
    if (rows != kMakers + n || !prompt.messages.empty() || !window.State().CatalogueLoaded) {
        state.SkipWithError("the rebuild did not list every row");
        return;
    }
    for (auto _ : state) {
        window.Procedures().RefreshList();
        QCoreApplication::processEvents();
    }
    state.counters["rows"] = rows;
    window.close();
}

void BM_BareFill4(benchmark::State& state)
{
    const int rows = static_cast<int>(state.range(0));
    QTreeWidget tree;
    tree.setColumnCount(4);
    bench::LikeTheWindows(tree);
    tree.setIconSize(QSize(55, 24));
    tree.resize(640, 380);
    tree.show();
    const QIcon icon = bench::SampleIcon(55, 24);
    for (auto _ : state) {
        state.PauseTiming();
        tree.clear();
        QCoreApplication::processEvents();
        state.ResumeTiming();
        for (int r = 0; r < rows; ++r) {
            auto* item = new QTreeWidgetItem;
            item->setText(0, QStringLiteral(" package %1").arg(r));
            item->setIcon(0, icon);
            item->setText(1, QStringLiteral("2.%1.0").arg(r % 10));
            item->setText(2, QString::number(3 + r % 8));
            item->setText(3, QStringLiteral("status %1").arg(r % 11));
            tree.insertTopLevelItem(r, item);
        }
        QCoreApplication::processEvents();
    }
    state.counters["rows"] = rows;
}

BENCHMARK(BM_RefreshList)->Arg(kSizes[0])->Arg(kSizes[1])->Arg(kSizes[2])->Apply(bench::WholeFills);
BENCHMARK(BM_BareFill4)
    ->Arg(kMakers + kSizes[0])
    ->Arg(kMakers + kSizes[1])
    ->Arg(kMakers + kSizes[2])
    ->Apply(bench::WholeFills);

} // namespace

int main(int argc, char** argv)
{
    bench::PrepareEnvironment();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    TheFixture();
    bench::TimeReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::vector<double> xs;
    std::vector<double> ys;
    for (const int n : kSizes) {
        const int rows = kMakers + n;
        const QString ours = QStringLiteral("BM_RefreshList/%1").arg(n);
        const QString bare = QStringLiteral("BM_BareFill4/%1").arg(rows);
        if (reporter.CpuTime(ours) <= 0 || reporter.CpuTime(bare) <= 0)
            continue;
        std::printf("packages %5d rows %5d: rebuild %.2f us/row (CPU %.2f), bare fill %.2f us/row "
                    "(CPU %.2f); by CPU time %.2f\n",
                    n, rows, reporter.Time(ours) * 1000 / rows,
                    reporter.CpuTime(ours) * 1000 / rows, reporter.Time(bare) * 1000 / rows,
                    reporter.CpuTime(bare) * 1000 / rows, reporter.CpuTime(ours) / reporter.CpuTime(bare));
        std::printf("figure: list rebuild / bare fill, %d packages: %.2f (target <= 8)\n", n,
                    reporter.Time(ours) / reporter.Time(bare));
        xs.push_back(n);
        ys.push_back(reporter.CpuTime(ours));
    }
    if (xs.size() == std::size(kSizes)) {
        const bench::Line line = bench::FitLine(xs, ys);
        std::printf("rebuild CPU time against packages: %.4f ms per package + %.2f ms, R^2 %.5f\n",
                    line.slope, line.intercept, line.r2);
        // Linear growth keeps the cost of each further package the same.
        const double first = (ys[1] - ys[0]) / (xs[1] - xs[0]);
        const double second = (ys[2] - ys[1]) / (xs[2] - xs[1]);
        std::printf("CPU cost per further package: %.2f us (%d to %d), %.2f us (%d to %d), "
                    "second / first %.2f (1.00 is linear)\n",
                    first * 1000, kSizes[0], kSizes[1], second * 1000, kSizes[1], kSizes[2],
                    second / first);
    }
    benchmark::Shutdown();
    return 0;
}
