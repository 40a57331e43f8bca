// The real main window and model browser offscreen, over the demo world and
// the local vendor site, used through their controls as a user uses them.

#include "catalogue/frmMain.h"
#include "catalogue/frmModels.h"
#include "controls/cListView.h"
#include "controls/cToolbar.h"
#include "support/FakeView.h"
#include "support/LocalSite.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <gtest/gtest.h>

class WindowTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        QDir().mkpath(world.filePath("site"));
        site = std::make_unique<LocalSite>(world.filePath("site"));
        qputenv("TOVARINTH_VENDOR_URL", site->BaseUrl().toUtf8());
        const ProcessResult made = RunVendor({"demo-world", "--data", TOVARINTH_DEMO_DATA,
                                              "--world", world.path(), "--url", site->BaseUrl()});
        ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    }
    static void TearDownTestSuite() { site.reset(); }

    // The window over the demo world; shown, it waits for the sync's end.
    void Open(const QString& user, bool show = true)
    {
        const QString editor = world.filePath("editor");
        process = {editor + "/Kestrovia.exe", editor, user, "17", editor};
        window = std::make_unique<frmMain>(process, &prompt);
        window->resize(700, 900); // every row in sight
        window->setVisible(show);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !show || (!Busy() && List()->count()); }));
    }

    bool& Busy() const { return window->State().Busy; }
    QWidget* Find(const QString& name) const { return window->findChild<QWidget*>(name); }
    QAction* Item(int index) const
    {
        return window->findChild<QAction*>(QString("mnuContext%1").arg(index));
    }
    cListView* List() const { return window->findChild<cListView*>(); }
    cToolbar* Bar() const { return window->findChild<cToolbar*>(); }
    QWidget* Button(int b) const { return Bar()->widgetForAction(Bar()->Button(b)); }
    QString Colour(int row, int column, QColor& background) const
    {
        QColor text(Qt::black);
        bool handled = false;
        List()->RunPrePaint(row, column, background, text, handled);
        return text == palette.color(QPalette::Disabled, QPalette::Text) ? "grey" : text.name();
    }

    // What the user meets while the action runs: the questions asked, and the
    // browser it opened (its title and number of lines; closed once filled).
    QStringList Meet(const std::function<void()>& action)
    {
        QStringList met;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* browser = qobject_cast<frmModels*>(QApplication::activeModalWidget());
            if (browser && !browser->windowTitle().isEmpty()) {
                met << browser->windowTitle() +
                           QString(" %1").arg(browser->findChild<cListView*>()->count());
                browser->reject();
            }
        });
        poll.start(20);
        action();
        for (const ScriptedPrompt::Message& m : prompt.messages)
            met << QString("%1|%2|%3").arg(m.text).arg(m.style).arg(m.title);
        prompt.messages.clear();
        return met;
    }

    static inline QTemporaryDir world;
    static inline std::unique_ptr<LocalSite> site;
    ProcessValues process; // the window keeps a reference
    ScriptedPrompt prompt;
    std::unique_ptr<frmMain> window;
    QPalette palette = QApplication::palette();
};

TEST_F(WindowTest, RowsShowTextsColoursMenuAndDoubleClick)
{
    Open("demo.photographer");
    ASSERT_EQ(List()->count(), 22) << "14 built-in makers, then 8 packages";
    // Columns | status colour, name colour | menu: Install Uninstall Purchase Browse | double-click
    const std::pair<int, QString> cases[] = {
        {0, " 佳能 (内置)|1.3.0|60|已覆盖 ➖|grey grey|----|浏览 佳能 (内置) 型号 75"},
        {1, " 尼康 (内置)|1.3.0|55|已安装 ✔|#008000 grey|---B|浏览 尼康 (内置) 型号 76"},
        {15, " 富士 Fujifilm 2026|2.0.0|19|已安装 ✔|#008000 #000000|-U-B|浏览 富士 Fujifilm 2026 "
             "(扩展包) 型号 28"},
        {19, " 徕卡 Leica 2026|1.0.1|9|订单处理中 ☁|#d99300 #000000|----"},
        {20, " 松下 Panasonic 2026|1.1.0|16|未购买 ❌|grey #000000|--P-|当前尚未购买 松下 "
             "Panasonic 2026 扩展包，是否前往购买？|36|购买扩展包"},
        {21, " 奥林巴斯 OM System|1.3.0|12|失败 ❌|#a03535 #000000|I---|是否安装 奥林巴斯 OM "
             "System 型号扩展包？|36|安装扩展包"}};
    for (const auto& [row, expected] : cases) {
        QStringList seen;
        for (int column = 0; column < 4; ++column)
            seen << List()->ItemText(row, column);
        QColor background;
        seen << Colour(row, 3, background) + " " + Colour(row, 0, background);
        EXPECT_EQ(background, row % 2 ? QColor(0xFFFFFF) : QColor(0xF9F9F9)) << row;
        const QPoint at = List()->visualItemRect(List()->topLevelItem(row)).center();
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseClick(List()->viewport(), Qt::RightButton, {}, at);
        EXPECT_TRUE(Find("mnuItem")->isVisible()) << row;
        seen << QString("%1%2%3%4")
                    .arg(Item(0)->isEnabled() ? "I" : "-", Item(1)->isEnabled() ? "U" : "-",
                         Item(2)->isVisible() ? "P" : "-", Item(99)->isEnabled() ? "B" : "-");
        Find("mnuItem")->hide();
        prompt.answers = {MsgAnswer::No};
        seen << Meet([&] { QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, at); });
        EXPECT_EQ(seen.join(u'|'), expected) << row;
    }
    // Below the rows: nothing selected, no menu, and a double-click does nothing.
    const QPoint below(20, List()->viewport()->height() - 5);
    QTest::mouseClick(List()->viewport(), Qt::RightButton, {}, below);
    EXPECT_FALSE(Find("mnuItem")->isVisible());
    EXPECT_EQ(Meet([&] { QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, below); }),
              QStringList());
    window->grab().save(QCoreApplication::applicationDirPath() + "/main_window.png");
}

TEST_F(WindowTest, BusyRefusesToCloseAndTheFailedSyncButtonRetries)
{
    Open("demo.photographer");
    EXPECT_TRUE(Bar()->ButtonVisible(2) && !Bar()->ButtonVisible(1) && !Bar()->ButtonVisible(3));
    Busy() = true;
    window->Procedures().UpdateControls();
    EXPECT_FALSE(List()->isEnabled() || Find("cmdClose")->isEnabled() ||
                 Find("cmdInstall")->isEnabled());
    EXPECT_TRUE(Find("pbDownloading")->isVisible() &&
                Find("pbDownloading")->property("maximum") == 0);
    EXPECT_TRUE(Bar()->ButtonVisible(1) && !Bar()->ButtonEnabled(1) && !Bar()->ButtonVisible(2));
    window->close();
    EXPECT_TRUE(window->isVisible() && prompt.messages.empty()) << "refused without a word";

    // Only the failure button has a tool tip; clicking it syncs again.
    Busy() = window->State().ProfileSynced = false;
    const QString tips[] = {"", "", "点击重试"};
    for (int b = 1; b <= 3; ++b) {
        Bar()->SetButtonVisible(b, true);
        QToolTip::hideText();
        QHelpEvent hover(QEvent::ToolTip, QPoint(2, 2), Button(b)->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(Button(b), &hover);
        EXPECT_EQ(QToolTip::isVisible() ? QToolTip::text() : "", tips[b - 1]) << b;
    }
    window->Procedures().UpdateControls();
    QTest::mouseClick(Button(3), Qt::LeftButton);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return Bar()->ButtonVisible(2) && !Bar()->ButtonVisible(3); }));
    QTest::mouseClick(Find("cmdClose"), Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(WindowTest, AnAccountOfEightCharactersStartsTheSyncAShorterOneShowsBuiltinRows)
{
    for (const QString user : {"1234567", "12345678"}) {
        Open(user, false);
        EXPECT_EQ(window->findChild<QTimer*>("tmrCheckOnline")->isActive(), user.size() == 8);
        EXPECT_EQ(List()->count(), user.size() == 8 ? 0 : 14);
        EXPECT_FALSE(Bar()->ButtonVisible(2) || Bar()->ButtonVisible(3));
    }
}

TEST_F(WindowTest, ModelBrowserFillsOncePerOpening)
{
    frmModels browser(prompt, "17");
    browser.Models = JsonNode::parse(R"([{"name":"X-T5","type":"milc","release":"2022-11-02",
      "kit_lens":["XF 18-55mm","XC 15-45mm"]},{"name":"D","type":"Dslr-h","release":"2020"},
      {"name":"M","type":"DSLR-M"},{"name":"E","type":"dslr-e"},{"name":"C","type":"Compact"},
      {"name":"P","type":"cell"},{"name":"T","type":"TLR"},{"release":"2019-08-15"}])");
    browser.PackageVersion = "3.2";
    browser.show();
    QTest::qWait(300);
    QShowEvent restored; // as when the window system shows it again, restored from minimised
    QApplication::sendEvent(&browser, &restored);
    QTest::qWait(300);
    QStringList lines;
    for (const cListView* list = browser.findChild<cListView*>(); lines.size() < list->count();)
        lines << QString("%1|%2|%3|%4|%5")
                     .arg(list->ItemText(lines.size(), 0), list->ItemText(lines.size(), 1),
                          list->ItemText(lines.size(), 2))
                     .arg(list->ItemIcon(lines.size(), 0))
                     .arg(list->ItemIcon(lines.size(), 1));
    EXPECT_EQ(lines, QStringList({"X-T5|MILC|2022-11|5|-1", "├  XF 18-55mm|KIT||-1|0",
                                  "├  XC 15-45mm|KIT||-1|0", "D|DSLR-H|2020|2|-1", "M|DSLR-M||3|-1",
                                  "E|DSLR-E||4|-1", "C|COMPACT||6|-1", "P|CELL||13|-1",
                                  "T|TLR||1|-1", "||2019-08|1|-1"}));
    EXPECT_EQ(browser.findChild<QWidget*>("lblVersion")->property("text").toString(),
              "版本: v3.2.0");
    browser.reject();
    browser.show(); // opened again without a model list: closes and reports
    QTest::qWait(300);
    EXPECT_FALSE(browser.isVisible());
    EXPECT_EQ(Meet([] {}), QStringList{"数据库加载错误！|16|"});
}
