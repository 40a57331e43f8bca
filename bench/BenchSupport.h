#pragma once

// What the window benchmarks share: an offscreen platform and settings of
// their own, model records, and the reporter that keeps each benchmark's time
// for the ratios printed at the end.

#include "support/FakeView.h" // ScriptedPrompt

#include <QByteArray>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QString>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

namespace bench {

// A folder for the whole run, removed at exit.
inline QTemporaryDir& TempDir()
{
    static QTemporaryDir dir;
    return dir;
}
inline QString TempRoot()
{
    return TempDir().path();
}

// Before QApplication: the offscreen platform unless another was asked for,
// and settings in the run's own folder, never the user's.
inline void PrepareEnvironment()
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const QByteArray config = (TempRoot() + QStringLiteral("/config")).toLocal8Bit();
    setenv("XDG_CONFIG_HOME", config.constData(), 1);
}

// Whole fills of a window, timed a few times over in real milliseconds: part
// of the work (layout, painting) is not the process's CPU time.
inline void WholeFills(benchmark::internal::Benchmark* benchmark)
{
    benchmark->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(5)->UseRealTime();
}

// A camera body as the databases hold it, with kits kit lenses.
inline QByteArray ModelRecord(int index, int kits)
{
    static const char* const kTypes[] = {"MILC", "DSLR-M", "COMPACT", "dslr-h", "CELL", "TLR"};
    QByteArray json = R"({"name":"Model )" + QByteArray::number(index) + R"(","type":")" +
                      kTypes[index % 6] + R"(","release":"20)" +
                      QByteArray::number(10 + index % 15) + "-0" +
                      QByteArray::number(1 + index % 9) + R"(-15")";
    if (kits > 0) {
        json += R"(,"kit_lens":[)";
        for (int k = 0; k < kits; ++k)
            json += (k ? "," : "") + QByteArray(R"("Kit lens )") + QByteArray::number(index) + "-" +
                    QByteArray::number(k) + "\"";
        json += "]";
    }
    return json + "}";
}

// An icon for the bare lists, drawn like a logo of the image strips.
inline QIcon SampleIcon(int width, int height)
{
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::white);
    QPainter painter(&pixmap);
    painter.setBrush(QColor(0x30, 0x60, 0xA0));
    painter.drawEllipse(2, 2, height - 4, height - 4);
    painter.end();
    return QIcon(pixmap);
}

// Keeps the fastest repetition's real and CPU time (in the benchmark's unit)
// of each benchmark: the machine is shared, and the least disturbed run is
// the one that shows the code's own cost.
class TimeReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration)
                continue;
            Times& times = times_[Key(run)];
            times.real = std::min(times.real, run.GetAdjustedRealTime());
            times.cpu = std::min(times.cpu, run.GetAdjustedCPUTime());
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double Time(const QString& name) const { return Find(name).real; }
    double CpuTime(const QString& name) const { return Find(name).cpu; }

private:
    struct Times
    {
        double real = 1e300;
        double cpu = 1e300;
    };
    Times Find(const QString& name) const
    {
        const auto it = times_.find(name.toStdString());
        return it == times_.end() ? Times{0, 0} : it->second;
    }
    // The function's name and its arguments, without the run's settings.
    static std::string Key(const Run& run)
    {
        const std::string& args = run.run_name.args;
        return run.run_name.function_name + (args.empty() ? std::string() : "/" + args);
    }

    std::map<std::string, Times> times_;
};

// Both lists under the same view settings as the windows' lists, so that the
// comparison is of the work behind the rows, not of the view's options.
inline void LikeTheWindows(QTreeWidget& tree)
{
    tree.setRootIsDecorated(false);
    tree.setUniformRowHeights(true);
}

// Least squares y = slope * x + intercept, and the coefficient of determination.
struct Line
{
    double slope = 0;
    double intercept = 0;
    double r2 = 0;
};
inline Line FitLine(const std::vector<double>& xs, const std::vector<double>& ys)
{
    const double n = static_cast<double>(xs.size());
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (size_t i = 0; i < xs.size(); ++i) {
        sx += xs[i];
        sy += ys[i];
        sxx += xs[i] * xs[i];
        sxy += xs[i] * ys[i];
    }
    Line line;
    line.slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    line.intercept = (sy - line.slope * sx) / n;
    double residual = 0, total = 0;
    for (size_t i = 0; i < xs.size(); ++i) {
        const double fitted = line.slope * xs[i] + line.intercept;
        residual += (ys[i] - fitted) * (ys[i] - fitted);
        total += (ys[i] - sy / n) * (ys[i] - sy / n);
    }
    line.r2 = total > 0 ? 1 - residual / total : 1;
    return line;
}

} // namespace bench
