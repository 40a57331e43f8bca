#include "CatalogueFixture.h"

namespace {
const QString kCloud = QString(QChar(0x2601));
}

class ExtensionCacheTest : public CatalogueTest
{
protected:
    void SetUp() override
    {
        CatalogueTest::SetUp();
        WriteEquipDb(kSmallEquipDb);
    }
    QStringList ExtensionLines() const { return view.Lines().mid(4); }
};

TEST_F(ExtensionCacheTest, RowsFollowBuiltinRowsInProfileOrder)
{
    WriteCache(
        Profile("alice.photo",
                {Package("nikon", "2.1", "OK", "35"), Package("canon", "1.0.3", "PENDING", "12"),
                 Package("leica", "10.2", "NONE", "7"), Package("nikon", "2.1", "OK", "35")}));
    catalogue.LoadExtensionCache();
    EXPECT_TRUE(prompt.messages.empty());
    EXPECT_FALSE(view.badCall);
    EXPECT_EQ(ExtensionLines(),
              (QStringList{
                  " nikon pack|2.1.0|35|" + QString::fromUtf16(u"待下载 ") + kCloud + "|2|2|",
                  " canon pack|1.0.3|12|" + QString::fromUtf16(u"订单处理中 ") + kCloud + "|1|1|",
                  " leica pack|10.2|7|" + QString::fromUtf16(u"未购买 \u274C") + "|9|8|",
                  " nikon pack|2.1.0|35|" + QString::fromUtf16(u"待下载 ") + kCloud + "|2|2|",
              }));
    ASSERT_EQ(state.Entries.size(), 8u);
    const ExtensionEntry& first = state.Entries[4];
    EXPECT_EQ(first.Name, "nikon");
    EXPECT_EQ(first.Display, "nikon pack");
    EXPECT_EQ(first.Version, "2.1.0");
    EXPECT_EQ(first.Checksum, Checksum("nikon", "2.1.0"));
    EXPECT_TRUE(first.IsExtension);
    EXPECT_FALSE(first.PendingSave);
    EXPECT_TRUE(state.CatalogueLoaded);
    EXPECT_EQ(state.Hub, "http://127.0.0.1:1/hub");
    EXPECT_TRUE(view.installEnabled) << "UpdateControls ran: installable rows exist";
}

TEST_F(ExtensionCacheTest, OtherAccountOrNoIdGivesNoRows)
{
    for (const QByteArray& cache :
         {Profile("Alice.Photo", {Package("nikon", "2.1", "OK", "3")}),
          QByteArray(R"({"hub":"x","extensions":[)") + Package("nikon", "2.1", "OK", "3") + "]}"}) {
        state.Hub = "kept";
        state.CatalogueLoaded = false;
        WriteCache(cache);
        catalogue.LoadExtensionCache();
        EXPECT_EQ(view.rows.size(), 4u);
        EXPECT_EQ(state.Hub, "kept");
        EXPECT_FALSE(state.CatalogueLoaded);
        EXPECT_TRUE(prompt.messages.empty());
    }
}

TEST_F(ExtensionCacheTest, HubLosesOneTrailingSlash)
{
    const std::pair<const char*, const char*> cases[] = {{"http://h/hub//", "http://h/hub/"},
                                                         {"http://h/hub", "http://h/hub"},
                                                         {"http://h/hub/", "http://h/hub"}};
    for (const auto& [hub, expected] : cases) {
        WriteCache(Profile("alice.photo", {Package("nikon", "2.1", "OK", "3")}, hub));
        catalogue.LoadExtensionCache();
        EXPECT_EQ(state.Hub, expected);
    }
    state.Hub = "kept";
    WriteCache(R"({"id":"alice.photo","extensions":[{"name":"x","count":1}]})");
    catalogue.LoadExtensionCache();
    EXPECT_EQ(state.Hub, "kept");
}

TEST_F(ExtensionCacheTest, ModelCountIsLargerOfInstalledAndServer)
{
    WriteInstalledDb(R"({"fuji":[1,2,3,4,5,6,7,8,9,10,11,12],"leica":[1,2,3]})");
    QByteArray thirty = "[";
    for (int i = 0; i < 30; ++i)
        thirty += i ? ",1" : "1";
    WriteInstalledDb(R"({"fuji":[1,2,3,4,5,6,7,8,9,10,11,12],"olympus":)" + thirty + "]}");
    WriteCache(Profile("alice.photo",
                       {Package("pentax", "1.0", "OK", "0"), Package("fuji", "1.0", "OK", "0"),
                        Package("olympus", "1.0", "OK", "35"), Package("ricoh", "1.0", "OK", "2.5"),
                        Package("casio", "1.0", "OK", "3.5"),
                        Package("apple", "1.0", "OK", "\"7 models\""),
                        Package("huawei", "1.0", "OK", "-4")}));
    catalogue.LoadExtensionCache();
    QStringList counts;
    for (const FakeView::Row& row : view.rows)
        counts << row.text.trimmed() + "=" + row.columns[1];
    EXPECT_EQ(counts.mid(4), (QStringList{"fuji pack=12", "olympus pack=35", "ricoh pack=2",
                                          "casio pack=4", "apple pack=7"}));
}

TEST_F(ExtensionCacheTest, MissingMembersAreSkippedOneByOne)
{
    // No "count": the package gets no row. No "display": empty text, not the
    // previous package's name. No "status": not purchased.
    WriteCache(R"({"id":"alice.photo","hub":"h","extensions":[
        {"name":"canon","display":"Canon","version":"1.0","status":"OK","checksum":"00"},
        {"name":"nikon","version":"1.5","count":4},
        "not an object",
        {"name":"sony","display":"Sony","version":"2.0","status":"OK","count":"6","checksum":")" +
               Checksum("sony", "2.0.0").toUtf8() + R"("}]})");
    catalogue.LoadExtensionCache();
    EXPECT_TRUE(prompt.messages.empty());
    EXPECT_EQ(ExtensionLines(),
              (QStringList{" |1.5.0|4|" + QString::fromUtf16(u"未购买 \u274C") + "|2|8|",
                           " Sony|2.0.0|6|" + QString::fromUtf16(u"待下载 ") + kCloud + "|3|2|"}));
    EXPECT_TRUE(state.CatalogueLoaded);
}

TEST_F(ExtensionCacheTest, UnreadableCacheShowsMessageAndKeepsBuiltinRows)
{
    for (const QByteArray& onDisk : {QByteArray(), QByteArray(33, 'z')}) {
        prompt.messages.clear();
        state.CatalogueLoaded = true;
        view.installEnabled = true;
        view.syncVisible[2] = true;
        ASSERT_TRUE(WriteFile(process.ProgramFolder + "/extcache.cfg", onDisk));
        catalogue.LoadExtensionCache();
        ASSERT_EQ(prompt.messages.size(), 1u);
        EXPECT_EQ(prompt.messages[0].text, QString::fromUtf16(u"读取扩展包信息失败！"));
        EXPECT_EQ(prompt.messages[0].style, 16);
        EXPECT_EQ(prompt.messages[0].title, "");
        EXPECT_FALSE(state.CatalogueLoaded);
        EXPECT_EQ(view.rows.size(), 4u);
        EXPECT_TRUE(view.installEnabled && view.syncVisible[2]) << "UpdateControls is not run";
    }
}

TEST_F(ExtensionCacheTest, MissingCacheOrNotJsonIsNoError)
{
    catalogue.LoadExtensionCache();
    EXPECT_TRUE(prompt.messages.empty());
    EXPECT_EQ(view.rows.size(), 4u);
    WriteCache("<html>error</html>");
    state.Busy = true;
    catalogue.LoadExtensionCache();
    EXPECT_TRUE(prompt.messages.empty());
    EXPECT_TRUE(view.busyIndicator) << "UpdateControls ran";
}

TEST_F(ExtensionCacheTest, UnreadableBuiltinDatabaseStillAppendsExtensionRows)
{
    ASSERT_TRUE(QFile::remove(catalogue.EquipmentDbPath()));
    WriteCache(Profile("alice.photo", {Package("nikon", "2.1", "OK", "3")}));
    catalogue.LoadExtensionCache();
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, QString::fromUtf16(u"无法加载内置数据库！"));
    ASSERT_EQ(view.rows.size(), 1u);
    EXPECT_EQ(view.rows[0].text, " nikon pack");
    EXPECT_EQ(state.Entries.size(), 1u);
}

TEST_F(ExtensionCacheTest, UpdateControlsStates)
{
    process.UserName = "1234567"; // 7 characters: no account
    catalogue.UpdateControls();
    EXPECT_FALSE(view.syncVisible[1] || view.syncVisible[2] || view.syncVisible[3]);
    EXPECT_FALSE(view.installEnabled) << "empty list";

    process.UserName = "12345678";
    state.Entries.resize(1);
    state.Entries[0].Status = PendingInstall;
    view.rows.resize(1);
    state.CatalogueLoaded = true;
    catalogue.UpdateControls();
    EXPECT_TRUE(view.installEnabled);
    EXPECT_TRUE(view.listEnabled && view.closeEnabled);
    EXPECT_TRUE(view.syncVisible[3] && !view.syncVisible[2] && !view.syncVisible[1]);
    EXPECT_FALSE(view.busyIndicator);

    state.ProfileSynced = true;
    catalogue.UpdateControls();
    EXPECT_TRUE(view.syncVisible[2] && !view.syncVisible[3] && !view.syncVisible[1]);

    state.Busy = true;
    catalogue.UpdateControls();
    EXPECT_TRUE(view.syncVisible[1] && !view.syncVisible[2] && !view.syncVisible[3]);
    EXPECT_FALSE(view.listEnabled || view.closeEnabled || view.installEnabled);
    EXPECT_TRUE(view.busyIndicator);

    state.Busy = false;
    state.CatalogueLoaded = false;
    catalogue.UpdateControls();
    EXPECT_FALSE(view.installEnabled);
    state.CatalogueLoaded = true;
    for (int32_t s : {0, 1, 4, 6, 7, 8, 10}) {
        state.Entries[0].Status = s;
        catalogue.UpdateControls();
        EXPECT_FALSE(view.installEnabled) << s;
    }
}

TEST(VendorDocuments, EquipDbAndProfileAreReadableByTheLoaders)
{
    QTemporaryDir dir;
    ASSERT_TRUE(WriteFile(dir.filePath("in.json"), "{\"id\":\"x\"}"));
    for (const char* command : {"equipdb", "profile"}) {
        const ProcessResult ok =
            RunVendor({command, dir.filePath("in.json"), dir.filePath("out.cfg")});
        ASSERT_EQ(ok.exitCode, 0) << ok.err.toStdString();
        const auto root =
            JsonNode::parse(Utf8ToString(ReadEnvelopeFile(dir.filePath("out.cfg"), false)));
        ASSERT_TRUE(root);
        EXPECT_EQ(root->Item("id").text(), "x");
    }
    ASSERT_TRUE(WriteFile(dir.filePath("bad.json"), "{oops"));
    const ProcessResult bad = RunVendor({"profile", dir.filePath("bad.json"), dir.filePath("o2")});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_FALSE(QFile::exists(dir.filePath("o2")));
}

TEST(DemoData, EquipmentDatabaseIsRealistic)
{
    const auto root =
        JsonNode::parse(QString::fromUtf8(ReadFile(TOVARINTH_DEMO_DATA "/equipdb.json")));
    ASSERT_TRUE(root);
    const JsonNode makers = root->Item("makers");
    EXPECT_EQ(makers.count(), 14);
    int bodies = 0;
    QSet<QString> types;
    int withKits = 0;
    for (int i = 1; i <= makers.count(); ++i) {
        const JsonNode list = root->Item("bodies").Item(makers.Item(i).Item("id").text().trimmed());
        bodies += list.count();
        for (int j = 1; j <= list.count(); ++j) {
            types << list.Item(j).Item("type").text();
            try {
                withKits += list.Item(j).Item("kit_lens").count() > 0;
            } catch (const JsonError&) {
            }
        }
    }
    EXPECT_GE(bodies, 300);
    EXPECT_GT(withKits, 10);
    for (const char* type : {"DSLR-H", "DSLR-M", "DSLR-E", "MILC", "COMPACT", "CELL"})
        EXPECT_TRUE(types.contains(type)) << type;
}
