// A package download in the real window against the local vendor site: the
// row, the progress bar and line as the user and a screen reader see them;
// cancelling during the body, on a line that stalls and in an install-all;
// every entry point refused while work runs.

#include "controls/cListView.h"
#include "crypto/Envelope.h"
#include "unit/catalogue/World.h"
#include "windows/frmMain.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

TEST_F(WorldTest, DownloadProgressShownAndCancelLeavesNothingBehind)
{
    // Two kilobytes a second: a package takes about a second. nikon comes
    // without a length; dji's line stalls; the profile comes late.
    DemoWorld({Checksums("/hub/{nikon@1.2.0}=chunked:2000"),
               Checksums("/hub/{dji@1.0.0}=stall:999"), "/hub/=drip:2000",
               "/kvxta_user_ext_info/=delay:800"});
    frmMain window(process, &prompt);
    auto* list = window.findChild<cListView*>();
    auto* bar = window.findChild<QProgressBar*>("pbDownloading");
    auto* line = window.findChild<QLabel*>("lblProgress");
    auto* cancel = window.findChild<QPushButton*>("cmdCancel");
    // Every entry point at a moment of work: nothing is asked or accepted.
    QStringList refused;
    const auto poke = [&] {
        QMimeData file;
        file.setUrls({QUrl::fromLocalFile(Path("Downloads/dropped.Z"))});
        QDragEnterEvent in(QPoint(9, 9), Qt::CopyAction, &file, Qt::LeftButton, {});
        QDropEvent drop(QPointF(9, 9), Qt::CopyAction, &file, Qt::LeftButton, {});
        QApplication::sendEvent(&window, &in), QApplication::sendEvent(&window, &drop);
        for (int i : {0, 1, 2, 99, 21})
            window.State().SelectedIndex = 15,
            window.findChild<QAction*>(QString("mnuContext%1").arg(i))->trigger();
        window.Procedures().InstallAll();
        for (const auto& [row, key] : {std::pair{16, Qt::Key_Return}, {15, Qt::Key_Delete}})
            list->setCurrentItem(list->topLevelItem(row)), QTest::keyClick(list, key);
        // Enter in the find field moves the selection only in a list that is the user's.
        const QTreeWidgetItem* current = list->currentItem();
        QTest::keyClick(window.findChild<QWidget*>("txtFind"), Qt::Key_Return);
        const bool moved = !list->isEnabled() && list->currentItem() != current;
        refused << QString::number(in.isAccepted() + drop.isAccepted() + moved) +
                       prompt.Take().join(' ');
    };
    const auto profiles = [&] { return site->LogLines().filter("/kvxta_user_ext_info/").size(); };
    QTimer sync; // during the sync, after its handler cleared Busy; the online check comes then
    QObject::connect(&sync, &QTimer::timeout, [&] {
        if (refused.isEmpty() && profiles() == 1)
            poke(), window.EnableCheckOnline();
    });
    sync.start(20);
    window.show();
    const auto synced = [&] { return profiles() == 2 && !window.Procedures().WorkRunning(); };
    ASSERT_TRUE(QTest::qWaitFor(synced, 15000)) << "the check that came during the sync, after it";
    const QDir downloads(Path("Downloads")), packages(Path("Packages"));
    const QStringList archivesBefore = downloads.entryList(QDir::Files),
                      packagesBefore = packages.entryList(QDir::Dirs | QDir::NoDotAndDotDot);

    // Runs the action, watching the window every 20 ms; cancelWhen decides
    // from the line when to press Escape (or click where the button is), and
    // the first look pokes every entry point. Keeps "bar|line|rows shown
    // downloading" each time the line changed; returns the time from the
    // cancel to the end.
    QStringList seen;
    QPoint at; // where 取消 was clicked
    auto* install = window.findChild<QWidget*>("cmdInstall");
    const auto run = [&](auto cancelWhen, bool click, auto action) {
        seen.clear();
        QTimer watch;
        QElapsedTimer took;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (!line->isVisible())
                return;
            if (seen.isEmpty())
                poke();
            if (seen.isEmpty() || !seen.last().contains(line->text())) {
                auto* a11yBar = QAccessible::queryAccessibleInterface(bar);
                EXPECT_EQ(a11yBar->valueInterface()->currentValue().toInt(), bar->value());
                EXPECT_EQ(QAccessible::queryAccessibleInterface(line)->text(QAccessible::Name),
                          line->text());
                EXPECT_TRUE(cancel->isVisible() && install->isVisible() && !install->isEnabled());
                QString rows;
                for (int row = 0; row < list->count(); ++row)
                    rows +=
                        list->ItemText(row, 3) == "正在下载 ....." ? QString(" %1").arg(row) : "";
                seen << QString::number(bar->value()) + '/' + QString::number(bar->maximum()) +
                            '|' + line->text() + '|' + rows;
            }
            if (took.isValid() || !cancelWhen(line->text()))
                return;
            took.start();
            at = cancel->mapTo(&window, cancel->rect().center());
            click ? QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, at)
                  : QTest::keyClick(&window, Qt::Key_Escape);
        });
        watch.start(20);
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

    // Install-all: canon downloads again from the start and is installed,
    // painted as installing with the cancel disabled; nikon (no length: the
    // marquee stays) is cancelled at 2 of 5 and is not.
    QString installing; // the cancel button's state at each paint of canon installing
    list->SetSubItemPrePaintHandler([&](int row, int column, QColor&, QColor&, bool&) {
        if (row == 14 && column == 3 && list->ItemText(14, 3) == "正在安装 .....")
            installing += cancel->isEnabled() ? "1" : "0";
    });
    run([](const QString& text) { return text.endsWith("(2/5)"); }, true,
        [&] { window.Procedures().InstallAll(); });
    EXPECT_TRUE(installing.contains('0') && !installing.contains('1')) << installing.toStdString();
    EXPECT_EQ(prompt.Take(), QStringList("已取消安装，取消前已成功安装 1 个扩展包。|64|提示"));
    EXPECT_TRUE(seen.filter("(1/5)| 14").size() >= 1 && seen.filter("(2/5)| 16").size() == 1);
    for (const QString& nikon : seen.filter("尼康"))
        EXPECT_TRUE(nikon.startsWith("0/0|") && !nikon.contains(" / ")) << nikon.toStdString();
    const QString recorded = *ReadEnvelopeFile(Path("extdb.cfg"), true);
    EXPECT_TRUE(recorded.contains("\"canon\"") && !recorded.contains("\"nikon\""));
    EXPECT_EQ(Setting("canon") + Setting("nikon") + Setting("sony"), "1.5.0--");
    EXPECT_EQ(packages.entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(),
              packagesBefore.size() + 1); // canon 1.5.0

    // dji: its line stalls; 取消 ends the wait at once. The second click of a
    // double click there meets no button, and the focus is back on the list,
    // where Space closes nothing.
    const qint64 ms = run([n = 0](const QString&) mutable { return ++n > 15; }, true, single(18));
    QTest::qWait(100); // the second click comes once the window has laid itself out
    QTest::mouseDClick(window.windowHandle(), Qt::LeftButton, {}, at);
    QTest::keyClick(window.focusWidget(), Qt::Key_Space);
    EXPECT_LT(ms, 1000);
    EXPECT_TRUE(window.isVisible() && window.focusWidget() == list);
    EXPECT_EQ(prompt.Take(), QStringList());
    EXPECT_EQ(downloads.entryList(QDir::Files).size(), archivesBefore.size() + 1); // canon's
    EXPECT_EQ(refused, QStringList(4, "0")) << "the sync, canon, install-all, dji";
    EXPECT_TRUE(prompt.fileDialogs.isEmpty() && prompt.urls.isEmpty());
}
