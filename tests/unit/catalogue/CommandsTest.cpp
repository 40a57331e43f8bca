#include "CatalogueFixture.h"
#include "net/VendorUrl.h"

namespace {
ExtensionEntry Row(const QString& name, int32_t status, bool extension = true)
{
    ExtensionEntry e;
    e.Name = name;
    e.Display = name + " display";
    e.Status = status;
    e.IsExtension = extension;
    e.Version = "1.2";
    e.Checksum = extension ? CatalogueTest::Checksum(name, "1.2") : QString();
    return e;
}
} // namespace

class CommandsTest : public CatalogueTest
{
protected:
    void Rows(std::vector<ExtensionEntry> rows)
    {
        state.Entries = std::move(rows);
        view.rows.assign(state.Entries.size(), FakeView::Row{});
    }
};

TEST_F(CommandsTest, ContextMenuFollowsStatusAndKind)
{
    Rows({Row("canon", Installed, false), Row("nikon", Superseded, false),
          Row("sony", NotPurchased), Row("fuji", Installed), Row("leica", PendingInstall),
          Row("ricoh", OrderPending)});
    struct Expect
    {
        bool install, uninstall, buy, browse;
    };
    const Expect expected[] = {{false, false, false, true}, {false, false, false, false},
                               {false, false, true, false}, {false, true, false, true},
                               {true, false, false, false}, {false, false, false, false}};
    for (int row = 0; row < 6; ++row) {
        const auto menu = catalogue.ListMouseUp(2, row);
        ASSERT_TRUE(menu) << row;
        EXPECT_EQ(state.SelectedIndex, row);
        EXPECT_EQ(menu->install, expected[row].install) << row;
        EXPECT_EQ(menu->uninstall, expected[row].uninstall) << row;
        EXPECT_EQ(menu->buyVisible, expected[row].buy) << row;
        EXPECT_EQ(menu->browse, expected[row].browse) << row;
    }
    EXPECT_FALSE(catalogue.ListMouseUp(1, 3)) << "the left button shows no menu";
    EXPECT_EQ(state.SelectedIndex, 3);
    EXPECT_FALSE(catalogue.ListMouseUp(2, -1)) << "empty space: no menu";
    EXPECT_EQ(state.SelectedIndex, -1);
    catalogue.RowDoubleClick();
    EXPECT_TRUE(prompt.messages.empty());
    EXPECT_TRUE(view.browsers.empty());
}

TEST_F(CommandsTest, DoubleClickAsksToInstallOrBuyOrOpensBrowser)
{
    Rows({Row("canon", PendingDownload), Row("sony", NotPurchased), Row("fuji", Installing),
          Row("ricoh", OrderPending), Row("nikon", Superseded, false), Row("leica", Installed)});
    state.EquipmentDb = JsonNode::parse(R"({"bodies":{"nikon":[{"name":"Z 9"}]}})");
    state.InstalledDb = JsonNode::parse(R"({"leica":[{"name":"M11"},{"name":"Q3"}]})");

    state.SelectedIndex = 0;
    prompt.answers = {MsgAnswer::No};
    catalogue.RowDoubleClick();
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, QString::fromUtf16(u"是否安装 canon display 型号扩展包？"));
    EXPECT_EQ(prompt.messages[0].title, QString::fromUtf16(u"安装扩展包"));
    EXPECT_EQ(prompt.messages[0].style, 36);

    // Yes leads to the install command, which the old editor refuses.
    prompt.answers = {MsgAnswer::Yes};
    catalogue.RowDoubleClick();
    ASSERT_EQ(prompt.messages.size(), 3u);
    EXPECT_EQ(prompt.messages[2].text,
              QString::fromUtf16(u"当前编辑器版本不支持扩展包，请升级到最新版后重试"));
    EXPECT_EQ(prompt.messages[2].style, 16);

    state.SelectedIndex = 1;
    prompt.messages.clear();
    prompt.answers = {MsgAnswer::Yes};
    catalogue.RowDoubleClick();
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text,
              QString::fromUtf16(u"当前尚未购买 sony display 扩展包，是否前往购买？"));
    EXPECT_EQ(prompt.messages[0].title, QString::fromUtf16(u"购买扩展包"));
    ASSERT_EQ(prompt.urls.size(), 1);
    EXPECT_TRUE(prompt.urls[0].endsWith("%3Fext%3Dsony"));

    for (int row : {2, 3}) {
        state.SelectedIndex = row;
        prompt.messages.clear();
        catalogue.RowDoubleClick();
        EXPECT_TRUE(prompt.messages.empty()) << row;
    }
    EXPECT_TRUE(view.browsers.empty());

    state.SelectedIndex = 4; // built-in and superseded: still browsable
    catalogue.RowDoubleClick();
    state.SelectedIndex = 5;
    catalogue.RowDoubleClick();
    ASSERT_EQ(view.browsers.size(), 2u);
    EXPECT_EQ(view.browsers[0].models->count(), 1);
    EXPECT_FALSE(view.browsers[0].isExtension);
    EXPECT_EQ(view.browsers[0].display, "nikon display");
    EXPECT_EQ(view.browsers[1].models->count(), 2);
    EXPECT_TRUE(view.browsers[1].isExtension);
    EXPECT_EQ(view.browsers[1].version, "1.2");

    state.InstalledDb.reset();
    catalogue.RowDoubleClick();
    ASSERT_EQ(view.browsers.size(), 3u);
    EXPECT_FALSE(view.browsers[2].models) << "a failed lookup hands over no model list";
}

TEST_F(CommandsTest, PurchaseLinkKeepsValuesUnescaped)
{
    process.UserName = "a&b c=d@x";
    Rows({Row("sony", NotPurchased)});
    state.SelectedIndex = 0;
    catalogue.ContextCommand(2);
    ASSERT_EQ(prompt.urls.size(), 1);
    const QString url = prompt.urls[0];
    EXPECT_TRUE(url.startsWith(VendorUrl() + "/login?email=a&b c=d@x&sn=" + GetMachineID() + "&t="))
        << url.toStdString();
    EXPECT_TRUE(url.endsWith("&from=%2Fregister%2Fmy-plans%3Fext%3Dsony")) << url.toStdString();
    const QString time = url.section("&t=", 1).section("&from=", 0, 0);
    EXPECT_NEAR(time.toLongLong(), QDateTime::currentSecsSinceEpoch(), 5);
    EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(CommandsTest, NoSelectionOrOtherIndexDoesNothing)
{
    Rows({Row("sony", PendingDownload)});
    state.EditorBuild = 1316;
    state.SelectedIndex = -1;
    for (int index : {0, 1, 2, 99, 3, 10, -1})
        catalogue.ContextCommand(index);
    state.SelectedIndex = 0;
    for (int index : {3, 10, 100})
        catalogue.ContextCommand(index);
    EXPECT_TRUE(prompt.messages.empty());
    EXPECT_TRUE(prompt.urls.isEmpty());
    EXPECT_TRUE(view.browsers.empty());
}

TEST_F(CommandsTest, OldEditorRefusesInstallingButNotRemovingOrBuying)
{
    Rows({Row("sony", PendingDownload)});
    for (int32_t build : {0, 1315}) {
        state.EditorBuild = build;
        state.SelectedIndex = 0;
        prompt.messages.clear();
        catalogue.ContextCommand(0);
        catalogue.InstallAll();
        ASSERT_EQ(prompt.messages.size(), 2u);
        for (const auto& m : prompt.messages) {
            EXPECT_EQ(m.text,
                      QString::fromUtf16(u"当前编辑器版本不支持扩展包，请升级到最新版后重试"));
            EXPECT_EQ(m.title, QString::fromUtf16(u"错误"));
        }
        EXPECT_FALSE(state.Busy);
    }
    EXPECT_FALSE(QFile::exists(process.ProgramFolder + "/Downloads"));
    prompt.messages.clear();
    catalogue.ContextCommand(1); // removal is not checked: it fails for a package not unpacked
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, QString::fromUtf16(u"卸载扩展包失败！"));
    EXPECT_EQ(prompt.messages[0].style, 16);
}

TEST_F(CommandsTest, InstallAllWithNothingInstallableSavesAndRefreshes)
{
    WriteEquipDb(kSmallEquipDb);
    catalogue.LoadLocalDatabases();
    state.EditorBuild = 1316;
    catalogue.InstallAll();
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, QString::fromUtf16(u"成功安装所有已购买的扩展包！"));
    EXPECT_EQ(prompt.messages[0].title, QString::fromUtf16(u"提示"));
    EXPECT_EQ(prompt.messages[0].style, 64);
    EXPECT_TRUE(QFile::exists(process.ProgramFolder + "/extdb.cfg"))
        << "the database is saved anyway";
    EXPECT_FALSE(state.Busy);
    // The load above, then the refresh, which rebuilds the list in one pass.
    EXPECT_EQ(view.waitCount, 2) << "refreshed: the list was rebuilt";
}

TEST_F(CommandsTest, RowColoursByIndexGhostAndStatus)
{
    const uint32_t grey = 0x808080, black = 0x000000;
    uint32_t background = 0, text = black;
    for (int row : {0, 1, 2}) {
        text = black;
        RowColours(row, 0, Installed, false, grey, background, text);
        EXPECT_EQ(background, row == 1 ? 0xFFFFFFu : 0xF9F9F9u) << row;
        EXPECT_EQ(text, black);
    }
    const std::pair<int32_t, uint32_t> statusColours[] = {
        {0, 0x008000}, {1, 0xD99300}, {2, 0xD99300}, {3, 0xD99300}, {4, 0xD99300}, {5, 0xD99300},
        {6, 0xD99300}, {7, black},    {8, grey},     {9, 0xA03535}, {10, grey}};
    for (const auto& [status, colour] : statusColours) {
        text = black;
        RowColours(3, 3, status, false, grey, background, text);
        EXPECT_EQ(text, colour) << status;
        text = black;
        RowColours(3, 2, status, false, grey, background, text);
        EXPECT_EQ(text, black) << "only column 3 is coloured";
    }
    text = black;
    RowColours(0, 1, Installed, true, grey, background, text);
    EXPECT_EQ(text, grey) << "built-in rows are grey";
}

TEST(VersionTag, RevisionPaddedToFourDigits)
{
    EXPECT_EQ(GetVersionTag(), "TVH0180");
}
