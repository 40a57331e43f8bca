// A package download in the real window against the local vendor site: the
// row, the progress bar and line as the user and a screen reader see them,
// and cancelling during the body, during the connection wait and in an
// install-all.

#include "windows/frmMain.h"
#include "controls/cListView.h"
#include "crypto/Envelope.h"
#include "unit/catalogue/World.h"

#include <QAccessible>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

TEST_F(WorldTest, DownloadProgressShownAndCancelLeavesNothingBehind)
{
    // Two kilobytes a second: a package takes about a second. nikon comes
    // without a length; dji's connection never opens.
    DemoWorld({Checksums("/hub/{nikon@1.2.0}=chunked:2000"), Checksums("/hub/{dji@1.0.0}=hang"),
               "/hub/=drip:2000"});
    frmMain window(process, &prompt);
    window.show();
    auto* list = window.findChild<cListView*>();
    auto* bar = window.findChild<QProgressBar*>("pbDownloading");
    auto* line = window.findChild<QLabel*>("lblProgress");
    auto* cancel = window.findChild<QPushButton*>("cmdCancel");
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->count() == 22 && !window.State().Busy; }));
    const QDir downloads(Path("Downloads")), packages(Path("Packages"));
    const QStringList archivesBefore = downloads.entryList(QDir::Files),
                      packagesBefore = packages.entryList(QDir::Dirs | QDir::NoDotAndDotDot);

    // Runs the action, watching the window every 20 ms; cancelWhen decides
    // from the line when to press Escape (or the button). Keeps "bar|line|
    // rows shown downloading" each time the line changed; returns the time.
    QStringList seen;
    const auto run = [&](auto cancelWhen, bool click, auto action) {
        seen.clear();
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (!line->isVisible() || (!seen.isEmpty() && seen.last().contains(line->text())))
                return;
            auto* a11yBar = QAccessible::queryAccessibleInterface(bar);
            EXPECT_EQ(a11yBar->valueInterface()->currentValue().toInt(), bar->value());
            EXPECT_EQ(QAccessible::queryAccessibleInterface(line)->text(QAccessible::Name),
                      line->text());
            EXPECT_TRUE(cancel->isVisible() &&
                        !window.findChild<QWidget*>("cmdInstall")->isVisible());
            QString rows;
            for (int row = 0; row < list->count(); ++row)
                rows += list->ItemText(row, 3) == "正在下载 ....." ? QString(" %1").arg(row) : "";
            seen << QString::number(bar->value()) + '/' + QString::number(bar->maximum()) + '|' +
                        line->text() + '|' + rows;
            if (cancelWhen(line->text()))
                click ? QTest::mouseClick(cancel, Qt::LeftButton)
                      : QTest::keyClick(&window, Qt::Key_Escape);
        });
        watch.start(20);
        QElapsedTimer took;
        took.start();
        action();
        return took.elapsed();
    };
    const auto single = [&](int row) {
        return [&window, row] {
            window.State().SelectedIndex = row;
            window.Procedures().ContextCommand(0);
        };
    };

    // canon (row 14): the bar rises with the share downloaded; cancelled at
    // a third, nothing stays and the row is as it was, without a message.
    const QString canonStatus = list->ItemText(14, 3);
    run([&](const QString&) { return bar->value() >= 333; }, false, single(14));
    ASSERT_GE(seen.size(), 2) << seen.join('\n').toStdString();
    EXPECT_LT(seen.first().section('/', 0, 0).toInt(), seen.last().section('/', 0, 0).toInt());
    EXPECT_TRUE(QRegularExpression("^\\d+/1000\\|佳能 Canon 2026 [\\d.]+ (B|KB) / [\\d.]+ KB · "
                                   "[\\d.]+ (B|KB|MB)/s\\| 14$")
                    .match(seen.last())
                    .hasMatch())
        << seen.last().toStdString();
    EXPECT_EQ(list->ItemText(14, 3), canonStatus);
    EXPECT_EQ(prompt.Take(), QStringList());
    EXPECT_EQ(downloads.entryList(QDir::Files), archivesBefore);
    EXPECT_EQ(packages.entryList(QDir::Dirs | QDir::NoDotAndDotDot), packagesBefore);
    EXPECT_FALSE(line->isVisible() || cancel->isVisible() || bar->isVisible());

    // Install-all: canon downloads again from the start and is installed;
    // nikon (no length: the marquee stays) is cancelled at 2 of 5 and is not.
    run([](const QString& text) { return text.endsWith("(2/5)"); }, true,
        [&] { window.Procedures().InstallAll(); });
    EXPECT_EQ(prompt.Take(), QStringList("已取消安装，取消前已成功安装 1 个扩展包。|64|提示"));
    EXPECT_TRUE(seen.filter("(1/5)| 14").size() >= 1 && seen.filter("(2/5)| 16").size() == 1);
    for (const QString& nikon : seen.filter("尼康"))
        EXPECT_TRUE(nikon.startsWith("0/0|") && !nikon.contains(" / ")) << nikon.toStdString();
    const QString recorded = *ReadEnvelopeFile(Path("extdb.cfg"), true);
    EXPECT_TRUE(recorded.contains("\"canon\"") && !recorded.contains("\"nikon\""));
    EXPECT_EQ(Setting("canon") + Setting("nikon") + Setting("sony"), "1.5.0--");
    EXPECT_EQ(packages.entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(),
              packagesBefore.size() + 1); // canon 1.5.0

    // dji: cancelled while its connection opens, the wait ends at once.
    const qint64 ms = run([](const QString&) { return true; }, false, single(18));
    EXPECT_LT(ms, 1000);
    EXPECT_EQ(prompt.Take(), QStringList());
    EXPECT_EQ(downloads.entryList(QDir::Files).size(), archivesBefore.size() + 1); // canon's
}
