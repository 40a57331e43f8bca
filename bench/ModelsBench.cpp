// Opening the model browser on a list that makes 10,000 lines (bodies, some
// with one or two kit lenses), against a bare QTreeWidget filled with as many
// three-column rows in the same run. Each opening constructs the dialog,
// shows it, runs the fill the load timer would run, and processes the events
// left behind (layout, painting); the bare list is made, shown, filled and
// painted the same way. Destruction is outside the timed region of both.
// The find field is timed per keystroke on the filled browser: the text
// alternates between one that keeps a few bodies and none (the whole list
// back), each followed by the events it leaves behind.

#include "BenchSupport.h"
#include "windows/frmModels.h"
#include "controls/cListView.h"

#include <QApplication>
#include <QLineEdit>
#include <QTreeWidget>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>

namespace {

constexpr int kLines = 10000;

struct Fixture
{
    JsonNode models;
    int bodies = 0;

    Fixture()
    {
        // Every fourth body has a kit lens and every twelfth a second one,
        // until the lines number exactly kLines.
        QByteArray json = "[";
        int lines = 0;
        while (lines < kLines) {
            int kits = (bodies % 4 == 0 ? 1 : 0) + (bodies % 12 == 0 ? 1 : 0);
            kits = std::min(kits, kLines - lines - 1);
            json += (bodies ? "," : "") + bench::ModelRecord(bodies, kits);
            lines += 1 + kits;
            ++bodies;
        }
        models = *JsonNode::parse(QString::fromUtf8(json + "]"));
    }
};

Fixture& TheFixture()
{
    static Fixture fixture;
    return fixture;
}

void BM_ModelBrowser(benchmark::State& state)
{
    Fixture& fixture = TheFixture();
    ScriptedPrompt prompt;
    int lines = 0;
    for (auto _ : state) {
        auto browser = std::make_unique<frmModels>(prompt, QStringLiteral("17"));
        browser->Models = fixture.models;
        browser->PackageDisplay = QStringLiteral("Maker");
        browser->PackageVersion = QStringLiteral("1.3");
        browser->IsExtension = false;
        browser->show();
        browser->tmrLoad_Timer();
        QCoreApplication::processEvents();
        state.PauseTiming();
        lines = browser->findChild<cListView*>(QStringLiteral("lvModels"))->count();
        browser.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    if (lines != kLines || !prompt.messages.empty())
        state.SkipWithError("the browser did not list every line");
    state.counters["lines"] = lines;
}

void BM_ModelFind(benchmark::State& state)
{
    ScriptedPrompt prompt;
    frmModels browser(prompt, QStringLiteral("17"));
    browser.Models = TheFixture().models;
    browser.show();
    browser.tmrLoad_Timer();
    QCoreApplication::processEvents();
    auto* find = browser.findChild<QLineEdit*>(QStringLiteral("txtFind"));
    auto* list = browser.findChild<cListView*>(QStringLiteral("lvModels"));
    int keystrokes = 0;
    int shown = 0;
    for (auto _ : state) {
        find->setText(keystrokes++ % 2 ? QString() : QStringLiteral("model 12-"));
        QCoreApplication::processEvents();
        if (keystrokes == 1)
            for (int line = 0; line < list->count(); ++line)
                shown += list->topLevelItem(line)->isHidden() ? 0 : 1;
    }
    // "model12" is held by Model 12 and Model 120..129 and 1200..1299.
    if (shown == 0 || shown >= list->count())
        state.SkipWithError("the find field did not narrow the list");
    state.counters["shown"] = shown;
}

void BM_BareFill3(benchmark::State& state)
{
    const QIcon icon = bench::SampleIcon(24, 24);
    for (auto _ : state) {
        auto tree = std::make_unique<QTreeWidget>();
        tree->setColumnCount(3);
        bench::LikeTheWindows(*tree);
        tree->setIconSize(QSize(24, 24));
        tree->resize(560, 420);
        tree->show();
        for (int r = 0; r < kLines; ++r) {
            auto* item = new QTreeWidgetItem;
            item->setText(0, QStringLiteral("Model %1").arg(r));
            item->setIcon(0, icon);
            item->setText(1, QStringLiteral("MILC"));
            item->setText(2, QStringLiteral("20%1-0%2").arg(10 + r % 15).arg(1 + r % 9));
            tree->insertTopLevelItem(r, item);
        }
        QCoreApplication::processEvents();
        state.PauseTiming();
        tree.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["lines"] = kLines;
}

BENCHMARK(BM_ModelBrowser)->Apply(bench::WholeFills);
BENCHMARK(BM_BareFill3)->Apply(bench::WholeFills);
BENCHMARK(BM_ModelFind)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(40)
    ->Repetitions(3)
    ->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    bench::PrepareEnvironment();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    std::printf("model list: %d bodies, %d lines\n", TheFixture().bodies, kLines);
    bench::TimeReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const QString ours = QStringLiteral("BM_ModelBrowser");
    const QString bare = QStringLiteral("BM_BareFill3");
    if (reporter.CpuTime(ours) > 0 && reporter.CpuTime(bare) > 0)
        std::printf("model browser %.1f ms (CPU %.1f), bare QTreeWidget of %d rows, 3 columns "
                    "%.1f ms (CPU %.1f); by CPU time %.2f\n",
                    reporter.Time(ours), reporter.CpuTime(ours), kLines, reporter.Time(bare),
                    reporter.CpuTime(bare), reporter.CpuTime(ours) / reporter.CpuTime(bare));
    if (reporter.Time(ours) > 0 && reporter.Time(bare) > 0)
        std::printf("figure: model browser fill / bare fill, %d lines: %.2f (target <= 2.5)\n",
                    kLines, reporter.Time(ours) / reporter.Time(bare));
    const QString find = QStringLiteral("BM_ModelFind");
    if (reporter.Time(find) > 0 && reporter.Time(ours) > 0)
        std::printf("find in the model browser: %.3f of filling it\n"
                    "figure: find in the model browser, ms per keystroke: %.2f (target < 20)\n",
                    reporter.Time(find) / reporter.Time(ours), reporter.Time(find));
    benchmark::Shutdown();
    return 0;
}
