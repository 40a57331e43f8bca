#include "WindowFixture.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QProgressBar>
#include <QTimer>

class MainWindowTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        process.UserName = "short"; // no account: the local data only, no sync
        WriteEquipDb(kSmallEquipDb);
        const QString c = Checksum("fuji", "1.0.0");
        WriteDescriptor(
            c,
            R"("fuji":[{"name":"X-T5","type":"milc","release":"2022-11-02","kit_lens":["XF 18-55mm","XC 15-45mm"]}])");
        WriteInstalledDb(R"({"fuji":[{"name":"X-T5"}]})");
        Settings::Write(Settings::Tovarinth, "fuji", "1.0.0");
        // The cache is of this account even though the sync does not run.
        process.UserName = "alice.photo";
        WriteCache(
            Profile("alice.photo",
                    {Package("fuji", "1.0", "OK", "1"), Package("sony", "2.0", "NONE", "4"),
                     Package("leica", "1.1", "OK", "9"), Package("ricoh", "1.1", "PENDING", "2"),
                     Package("casio", "1.0", "OK", "3", "00FF")}));
        process.UserName = "short";
    }

    void LoadCatalogue()
    {
        process.UserName = "alice.photo";
        window->Procedures().RefreshList();
    }
};

TEST_F(MainWindowTest, LoadStartsTheSyncOnlyWithAnAccount)
{
    // Built but not yet in its event loop: the checks wait for their 50 ms.
    window = std::make_unique<frmMain>(process, &prompt);
    EXPECT_TRUE(Find<QTimer>("tmrCheckVersion")->isActive());
    EXPECT_FALSE(Find<QTimer>("tmrCheckOnline")->isActive());
    EXPECT_GT(List()->count(), 0) << "without an account the local data shows at once";

    process.UserName = "alice.photo";
    window = std::make_unique<frmMain>(process, &prompt);
    const QTimer* online = Find<QTimer>("tmrCheckOnline");
    EXPECT_TRUE(online->isActive());
    EXPECT_EQ(online->interval(), 50);
    EXPECT_EQ(online->timerType(), Qt::PreciseTimer);
    EXPECT_TRUE(Find<QTimer>("tmrCheckVersion")->isActive());
    EXPECT_EQ(List()->count(), 0) << "the account's list waits for the sync";
}

TEST_F(MainWindowTest, ControlsCaptionsAndColumns)
{
    Open();
    EXPECT_EQ(window->windowTitle(), QString::fromUtf16(u"Kestrovia Morvelin扩展包管理器"));
    cListView* list = List();
    ASSERT_TRUE(list);
    ASSERT_EQ(list->columnCount(), 4);
    EXPECT_EQ(list->headerItem()->text(0), QString::fromUtf16(u"扩展包 (双击浏览)"));
    EXPECT_EQ(list->headerItem()->text(1), QString::fromUtf16(u"版本"));
    EXPECT_EQ(list->headerItem()->text(2), QString::fromUtf16(u"型号数量"));
    EXPECT_EQ(list->headerItem()->text(3), QString::fromUtf16(u"状态"));
    EXPECT_EQ(list->columnWidth(0), 250);
    EXPECT_EQ(list->columnWidth(1), 100);
    EXPECT_EQ(list->columnWidth(2), 100);
    EXPECT_EQ(Find<QPushButton>("cmdInstall")->text(), QString::fromUtf16(u"一键安装(&I)"));
    EXPECT_EQ(Find<QPushButton>("cmdClose")->text(), QString::fromUtf16(u"退出(&X)"));
    QComboBox* type = Find<QComboBox>("cboType");
    ASSERT_EQ(type->count(), 2);
    EXPECT_EQ(type->itemText(0), QString::fromUtf16(u"机身"));
    EXPECT_EQ(type->itemText(1), QString::fromUtf16(u"镜头"));
    EXPECT_EQ(type->currentIndex(), 0);
    EXPECT_EQ(Toolbar()->Button(1)->text(), QString::fromUtf16(u"正在同步数据..."));
    EXPECT_EQ(Toolbar()->Button(3)->toolTip(), QString::fromUtf16(u"点击重试"));
    EXPECT_EQ(Menu(0)->text(), QString::fromUtf16(u"安装(&I)"));
    EXPECT_EQ(Menu(99)->text(), QString::fromUtf16(u"浏览型号(&B)..."));
    EXPECT_TRUE(Menu(10)->isSeparator());
}

TEST_F(MainWindowTest, WithoutAccountShowsBuiltinRowsOnlyAndNoSyncButton)
{
    Open();
    EXPECT_EQ(List()->count(), 4);
    EXPECT_TRUE(List()->ItemGhosted(0));
    EXPECT_EQ(List()->ItemText(0, 0), QString::fromUtf16(u" 佳能 (内置)"));
    for (int b = 1; b <= 3; ++b)
        EXPECT_FALSE(Toolbar()->ButtonVisible(b)) << b;
    EXPECT_FALSE(Find<QPushButton>("cmdInstall")->isEnabled());
    EXPECT_FALSE(Find<QProgressBar>("pbDownloading")->isVisible());
}

TEST_F(MainWindowTest, UpdateControlsStatesShowInTheWidgets)
{
    Open();
    LoadCatalogue();
    MainState& state = window->State();
    EXPECT_TRUE(Find<QPushButton>("cmdInstall")->isEnabled()) << "leica is to download";
    EXPECT_TRUE(Toolbar()->ButtonVisible(3)) << "account, not synced";
    state.Busy = true;
    window->Procedures().UpdateControls();
    EXPECT_TRUE(Toolbar()->ButtonVisible(1));
    EXPECT_FALSE(Toolbar()->ButtonEnabled(1));
    EXPECT_FALSE(Toolbar()->ButtonVisible(3));
    EXPECT_FALSE(List()->isEnabled());
    EXPECT_FALSE(Find<QPushButton>("cmdClose")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>("cmdInstall")->isEnabled());
    EXPECT_TRUE(Find<QProgressBar>("pbDownloading")->isVisible());
    EXPECT_EQ(Find<QProgressBar>("pbDownloading")->maximum(), 0) << "marquee";

    // Closing while busy is refused without a word.
    window->close();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(prompt.messages.empty());
    state.Busy = false;
    state.ProfileSynced = true;
    window->Procedures().UpdateControls();
    EXPECT_TRUE(Toolbar()->ButtonVisible(2));
    EXPECT_FALSE(Toolbar()->ButtonVisible(3));
    QTest::mouseClick(Find<QPushButton>("cmdClose"), Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowTest, ContextMenuEnablingByStatus)
{
    Open();
    LoadCatalogue();
    ASSERT_EQ(List()->count(), 9);
    // Rows: 4 built-in, fuji installed, sony not purchased, leica to download,
    // ricoh pending order, casio failed checksum.
    struct Expect
    {
        int row;
        bool install, uninstall, buy, browse;
    };
    const Expect cases[] = {{0, false, false, false, true},  {4, false, true, false, true},
                            {5, false, false, true, false},  {6, true, false, false, false},
                            {7, false, false, false, false}, {8, true, false, false, false}};
    for (const Expect& e : cases) {
        Click(e.row, Qt::RightButton);
        EXPECT_EQ(window->State().SelectedIndex, e.row);
        auto* menu = Find<QMenu>("mnuItem");
        EXPECT_TRUE(menu->isVisible()) << e.row;
        EXPECT_EQ(Menu(0)->isEnabled(), e.install) << e.row;
        EXPECT_EQ(Menu(1)->isEnabled(), e.uninstall) << e.row;
        EXPECT_EQ(Menu(2)->isVisible(), e.buy) << e.row;
        EXPECT_EQ(Menu(99)->isEnabled(), e.browse) << e.row;
        menu->hide();
    }
    // Empty space below the rows: nothing selected, no menu, double-click does nothing.
    QTest::mouseClick(List()->viewport(), Qt::RightButton, {},
                      QPoint(20, List()->viewport()->height() - 5));
    EXPECT_EQ(window->State().SelectedIndex, -1);
    EXPECT_FALSE(Find<QMenu>("mnuItem")->isVisible());
}

TEST_F(MainWindowTest, DoubleClickOpensBrowserOrAsks)
{
    Open();
    LoadCatalogue();
    DoubleClick(4); // fuji, installed
    ASSERT_EQ(view.browsers.size(), 1u);
    EXPECT_TRUE(view.browsers[0].isExtension);
    EXPECT_EQ(view.browsers[0].models->count(), 1);
    DoubleClick(1); // nikon, built-in
    ASSERT_EQ(view.browsers.size(), 2u);
    EXPECT_EQ(view.browsers[1].models->count(), 2);
    EXPECT_FALSE(view.browsers[1].isExtension);

    prompt.answers = {MsgAnswer::No};
    DoubleClick(6); // leica, to download
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, QString::fromUtf16(u"是否安装 leica pack 型号扩展包？"));
    DoubleClick(7); // ricoh, order pending
    EXPECT_EQ(prompt.messages.size(), 1u);
}

TEST_F(MainWindowTest, RowColoursDrawn)
{
    Open();
    LoadCatalogue();
    const auto colours = [&](int row, int column) {
        QColor background, text(Qt::black);
        bool handled = false;
        List()->RunPrePaint(row, column, background, text, handled);
        EXPECT_TRUE(handled);
        return std::pair{background, text};
    };
    EXPECT_EQ(colours(0, 0).first, QColor(0xF9, 0xF9, 0xF9));
    EXPECT_EQ(colours(1, 0).first, QColor(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(colours(2, 0).first, QColor(0xF9, 0xF9, 0xF9));
    EXPECT_EQ(colours(4, 3).second, QColor(0, 128, 0));
    EXPECT_EQ(colours(6, 3).second, QColor(217, 147, 0));
    EXPECT_EQ(colours(8, 3).second, QColor(160, 53, 53));
    EXPECT_NE(colours(0, 0).second, QColor(Qt::black)) << "built-in rows are grey";
    // A screenshot of the window, kept as test output.
    window->grab().save(ScreenshotPath("main_window.png"));
}

TEST_F(MainWindowTest, OldEditorShowsWarningPanel)
{
    ASSERT_TRUE(WriteFile(process.EditorPath, "no version"));
    Settings::Write(Settings::AppInfo, "EditorVersion", "1220");
    Open();
    QTest::qWait(150); // the version check runs 50 ms after load
    EXPECT_EQ(window->State().EditorBuild, 1220);
    QWidget* panel = Find<QWidget>("picWarning");
    EXPECT_TRUE(panel->isVisible());
    EXPECT_LT(panel->geometry().bottom(), Find<QWidget>("picMain")->geometry().top() + 1);
}
