// The real main window and model browser offscreen, over the demo world and
// the local vendor site, used through their controls as a user uses them.

#include "controls/cListView.h"
#include "controls/cToolbar.h"
#include "unit/catalogue/World.h"
#include "windows/MessageBoxPrompt.h"
#include "windows/frmMain.h"
#include "windows/frmModels.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <cmath>
#include <gtest/gtest.h>
#include <map>

namespace {

// What the user meets while the action runs: the questions asked, and the
// model browser it opened (its title and number of lines; closed once filled).
QStringList Meet(ScriptedPrompt& prompt, const std::function<void()>& action)
{
    QStringList met;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* browser = qobject_cast<frmModels*>(QApplication::activeModalWidget());
        if (browser && !browser->windowTitle().isEmpty()) {
            met << browser->windowTitle() + " " +
                       QString::number(browser->findChild<cListView*>()->count());
            browser->reject();
        }
    });
    poll.start(20);
    action();
    return met + prompt.Take();
}

} // namespace

TEST_F(WorldTest, MainWindowRowsMenuDoubleClickBusyAndSyncButtons)
{
    DemoWorld();
    frmMain window(process, &prompt);
    window.resize(700, 900); // every row in sight
    window.show();
    cListView* list = window.findChild<cListView*>();
    cToolbar* bar = window.findChild<cToolbar*>();
    const auto item = [&](int i) {
        return window.findChild<QAction*>(QString("mnuContext%1").arg(i));
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->ButtonVisible(2); })) << "synced";
    ASSERT_EQ(list->count(), 22) << "14 built-in makers, then 8 packages";

    // Columns | status colour | menu: Install Uninstall Purchase Browse | double-click
    const std::pair<int, QString> rows[] = {
        {0, " 佳能 (内置)|1.3.0|60|已覆盖 ➖|grey|----|浏览 佳能 (内置) 型号 75"},
        {15, " 富士 Fujifilm 2026|2.0.0|19|已安装 ✔|#008000|-U-B|浏览 富士 Fujifilm 2026 "
             "(扩展包) 型号 28"},
        {20, " 松下 Panasonic 2026|1.1.0|16|未购买 ❌|grey|--P-|当前尚未购买 松下 "
             "Panasonic 2026 扩展包，是否前往购买？|36|购买扩展包"},
        {21, " 奥林巴斯 OM System|1.3.0|12|失败 ❌|#a03535|I---|是否安装 奥林巴斯 OM "
             "System 型号扩展包？|36|安装扩展包"}};
    for (const auto& [row, expected] : rows) {
        QStringList seen{list->ItemText(row, 0), list->ItemText(row, 1), list->ItemText(row, 2),
                         list->ItemText(row, 3)};
        QColor background, text(Qt::black);
        bool handled = false;
        list->RunPrePaint(row, 3, background, text, handled);
        seen << (text == window.palette().color(QPalette::Disabled, QPalette::Text) ? "grey"
                                                                                    : text.name());
        EXPECT_EQ(background, row % 2 ? QColor(0xFFFFFF) : QColor(0xF9F9F9)) << row;
        const QPoint at = list->visualItemRect(list->topLevelItem(row)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseClick(list->viewport(), Qt::RightButton, {}, at);
        seen << QString("%1%2%3%4")
                    .arg(item(0)->isEnabled() ? "I" : "-", item(1)->isEnabled() ? "U" : "-",
                         item(2)->isVisible() ? "P" : "-", item(99)->isEnabled() ? "B" : "-");
        window.findChild<QWidget*>("mnuItem")->hide();
        prompt.answers = {MsgAnswer::No};
        seen << Meet(prompt, [&] { QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at); });
        EXPECT_EQ(seen.join(u'|'), expected) << row;
    }

    // On a selected row each maker's logo keeps 3:1 against what surrounds it
    // (WCAG 2 contrast of relative luminances): in the middle of the logo's
    // cell, the darkest and the lightest pixel against the commonest.
    const auto linear = [](int v) {
        return v < 11 ? v / 3294.6 : std::pow((v + 14.025) / 269.025, 2.4);
    };
    const auto luminance = [&](QRgb c) {
        return .2126 * linear(qRed(c)) + .7152 * linear(qGreen(c)) + .0722 * linear(qBlue(c)) + .05;
    };
    for (int row = 0; row < 14; ++row) {
        list->SetItemSelected(row, true);
        const QPoint cell = list->visualItemRect(list->topLevelItem(row)).topLeft();
        const QImage shot = list->viewport()->grab({cell + QPoint(8, 6), QSize(42, 14)}).toImage();
        std::map<double, int> pixels; // by luminance
        double around = 0;
        for (int i = 0, most = 0; i < shot.width() * shot.height(); ++i)
            if (const double l = luminance(shot.pixel(i % shot.width(), i / shot.width()));
                ++pixels[l] > most)
                most = pixels[l], around = l;
        EXPECT_GE(std::max(around / pixels.begin()->first, pixels.rbegin()->first / around), 3)
            << "logo " << list->ItemIcon(row, 0);
    }

    // Below the rows nothing is selected: no menu.
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, {20, list->viewport()->height() - 5});
    EXPECT_FALSE(window.findChild<QWidget*>("mnuItem")->isVisible());

    // Busy: list and buttons off, the marquee and button 1 on, closing refused without a word.
    window.State().Busy = true;
    window.Procedures().UpdateControls();
    for (const char* name : {"lvBody", "cmdClose", "cmdInstall"})
        EXPECT_FALSE(window.findChild<QWidget*>(name)->isEnabled()) << name;
    const QWidget* marquee = window.findChild<QWidget*>("pbDownloading");
    EXPECT_TRUE(marquee->isVisible() && marquee->property("maximum") == 0);
    EXPECT_TRUE(bar->ButtonVisible(1) && !bar->ButtonEnabled(1) && !bar->ButtonVisible(2));
    window.close();
    EXPECT_TRUE(window.isVisible() && prompt.messages.empty());

    // Only the failure button has a tool tip; clicking it syncs again.
    window.State().Busy = window.State().ProfileSynced = false;
    const QString tips[] = {"", "", "点击重试"};
    for (int b = 1; b <= 3; ++b) {
        bar->SetButtonVisible(b, true);
        QWidget* button = bar->widgetForAction(bar->Button(b));
        QToolTip::hideText();
        QHelpEvent hover(QEvent::ToolTip, QPoint(2, 2), button->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(button, &hover);
        EXPECT_EQ(QToolTip::isVisible() ? QToolTip::text() : "", tips[b - 1]) << b;
    }
    window.Procedures().UpdateControls();
    QTest::mouseClick(bar->widgetForAction(bar->Button(3)), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar->ButtonVisible(2) && !bar->ButtonVisible(3); }));
    QTest::mouseClick(window.findChild<QWidget*>("cmdClose"), Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
}

TEST(WindowTest, ModelBrowserFillsOncePerOpening)
{
    ScriptedPrompt prompt;
    frmModels browser(prompt, "17");
    browser.Models = JsonNode::parse(R"([{"name":"X-T5","type":"milc","release":"2022-11-02",
      "kit_lens":["XF 18-55mm","XC 15-45mm"]},{"name":"D","type":"Dslr-h","release":"2020"},
      {"name":"M","type":"DSLR-M"},{"name":"E","type":"dslr-e"},{"name":"C","type":"Compact"},
      {"name":"P","type":"cell"},{"name":"T","type":"TLR"},{"release":"2019-08-15"}])");
    browser.PackageVersion = "3.2";
    browser.show();
    const cListView* list = browser.findChild<cListView*>();
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->count() > 0; }));
    QShowEvent restored; // as when the window system shows it again, restored from minimised
    QApplication::sendEvent(&browser, &restored);
    QTest::qWait(300);
    QStringList lines;
    for (int i = 0; i < list->count(); ++i)
        lines << QString("%1|%2|%3|%4|%5")
                     .arg(list->ItemText(i, 0), list->ItemText(i, 1), list->ItemText(i, 2))
                     .arg(list->ItemIcon(i, 0))
                     .arg(list->ItemIcon(i, 1));
    EXPECT_EQ(lines, QStringList({"X-T5|MILC|2022-11|5|-1", "├  XF 18-55mm|KIT||-1|0",
                                  "├  XC 15-45mm|KIT||-1|0", "D|DSLR-H|2020|2|-1", "M|DSLR-M||3|-1",
                                  "E|DSLR-E||4|-1", "C|COMPACT||6|-1", "P|CELL||13|-1",
                                  "T|TLR||1|-1", "||2019-08|1|-1"}));
    EXPECT_EQ(browser.findChild<QWidget*>("lblVersion")->property("text").toString(),
              "版本: v3.2.0");
    browser.reject();
    browser.show(); // opened again without a model list: closes and reports
    EXPECT_TRUE(QTest::qWaitFor([&] { return !browser.isVisible(); }));
    EXPECT_EQ(Meet(prompt, [] {}), QStringList{"数据库加载错误！|16|"});
}

TEST(WindowTest, FileDialogOpensAgainWhereTheLastArchiveCameFrom)
{
    // The real dialog, used by the keys: a path typed into the name field and
    // Enter, then Escape. The second opening starts in the first file's folder
    // with an empty name field.
    QTemporaryDir stick;
    QDir(stick.path()).mkpath("packages");
    const QString archive = stick.filePath("packages/3F2A.Z");
    WriteFile(archive, "zip");
    QWidget window;
    window.show();
    MessageBoxPrompt dialogs(&window);
    QStringList seen;
    QTimer use;
    QObject::connect(&use, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        auto* name = dialog ? dialog->findChild<QLineEdit*>("fileNameEdit") : nullptr;
        if (!name || !name->hasFocus())
            return;
        seen << dialog->windowTitle() + "|" + QDir(dialog->directory()).dirName() + "|" +
                    name->text();
        seen.size() == 1 ? (QTest::keyClicks(name, archive), QTest::keyClick(name, Qt::Key_Return))
                         : QTest::keyClick(name, Qt::Key_Escape);
    });
    use.start(20);
    EXPECT_EQ(dialogs.OpenFileName("从文件安装扩展包", "扩展包 (*.Z *.zip)"), archive);
    EXPECT_EQ(dialogs.OpenFileName("另一个", "扩展包 (*.Z)"), QString());
    ASSERT_EQ(seen.size(), 2);
    EXPECT_EQ(seen[1], "另一个|packages|");
}
