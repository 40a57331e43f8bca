#include "World.h"
#include "catalogue/cDownloadProgress.h"
#include "crypto/Envelope.h"

#include <QJsonObject>

// The list from the local files: one ghosted row per maker of the editor's
// database, then one row per package of the catalogue cache.
TEST_F(WorldTest, Rows)
{
    Encrypt("Update/equipdb.cfg", R"({"version":"1.2","makers":[{"id":"canon","name_zh-CN":"佳能"},
        {"id":"empty"},{"name_zh-CN":"无键"},{"id":"nikon"},{"id":" sony ","name_zh-CN":"索尼"},
        {"id":"Sony","name_zh-CN":"大写"},{"id":"\tpentax","name_zh-CN":"制表"}],"bodies":{
        "canon":[1,2,3],"empty":[],"nikon":"not an array","sony":[1],"Sony":[1],"pentax":[1],
        "\tpentax":[1,2]}})");
    Encrypt("extdb.cfg", R"({"canon":[1],"sony":[],"fuji":[1,2,3,4,5,6,7,8,9,10,11,12],
        "olympus":[1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30]})");
    Settings::Write(Settings::Tovarinth, "canon", "1.3.0");
    Settings::Write(Settings::Tovarinth, "sony", "9.0"); // an empty model list: not installed
    Cache({"nikon 2.1 OK 35", "canon 1.0.3 PENDING 12", "leica 10.2 NONE 7", "nikon 2.1 OK 3",
           "pentax 1 OK 0", "fuji 1 OK 0", "olympus 1 OK 35", "ricoh 1 OK 2.5", "casio 1 OK 3.5",
           "apple 1 OK \"7_models\"", "huawei 1 OK -4", "sony 1 OK 2147483647",
           "samsung 1 OK 2147483648", "leica 1 OK 1 {leica@2}"});
    state.SelectedIndex = 2;
    catalogue.LoadExtensionCache();
    EXPECT_EQ(view.Lines(),
              (QStringList{
                  " 佳能 (内置)|1.2.0|3|已覆盖 ➖|1|10|ghosted",
                  " 索尼 (内置)|1.2.0|1|已安装 ✔|3|0|ghosted",
                  " 大写 (内置)|1.2.0|1|已安装 ✔|0|0|ghosted",
                  " 制表 (内置)|1.2.0|2|已安装 ✔|0|0|ghosted", " nikon pack|2.1.0|35|待下载 ☁|2|2|",
                  " canon pack|1.0.3|12|订单处理中 ☁|1|1|", " leica pack|10.2|7|未购买 ❌|9|8|",
                  " nikon pack|2.1.0|3|待下载 ☁|2|2|", " fuji pack|1|12|待下载 ☁|4|2|",
                  " olympus pack|1|35|待下载 ☁|5|2|", " ricoh pack|1|2|待下载 ☁|10|2|",
                  " casio pack|1|4|待下载 ☁|8|2|", " apple pack|1|7|待下载 ☁|12|2|",
                  " sony pack|1|2147483647|待下载 ☁|3|2|", " leica pack|1|1|失败 ❌|9|9|"}));
    EXPECT_EQ(state.Entries[1].Name + state.Entries[4].Checksum,
              "sony" + Checksums("{nikon@2.1.0}"));
    EXPECT_FALSE(state.Entries[1].IsExtension || !state.Entries[4].IsExtension || view.badCall);
    EXPECT_EQ(state.SelectedIndex + view.waitDepth, -1) << "no row selected, the hourglass gone";
    EXPECT_EQ(state.Hub + view.Controls(), "h/hublist close install sync3");
    // Another account's cache gives no rows and leaves Hub; without an
    // account there are no sync buttons.
    process.UserName = "1234567";
    catalogue.LoadExtensionCache();
    EXPECT_EQ(QString::number(view.rows.size()) + state.Hub + view.Controls(), "4h/hublist close");
    EXPECT_EQ(prompt.Take(), QStringList());
}

TEST_F(WorldTest, UnreadableFilesShowTheirMessageAndAreNeverOverwritten)
{
    const auto fails = [&](const char* situation, bool extdb) {
        SCOPED_TRACE(situation);
        const QByteArray before = ReadFile(Path("extdb.cfg"));
        catalogue.LoadExtensionCache();
        EXPECT_EQ(prompt.Take(), QStringList{"无法加载内置数据库！|16|"});
        EXPECT_EQ(view.Lines(), QStringList{" nikon pack|1.0.0|2|待下载 ☁|2|2|"});
        EXPECT_EQ(catalogue.SaveInstalledDatabase() + view.waitDepth, !extdb);
        EXPECT_TRUE(!extdb || ReadFile(Path("extdb.cfg")) == before);
    };
    Cache({"nikon 1.0.0 OK 2"});
    fails("missing", false);
    WriteFile(Path("Update/equipdb.cfg"), "");
    fails("empty", false);
    WriteFile(Path("Update/equipdb.cfg"), QByteArray(33, 'x'));
    fails("length not a multiple of 16", false);
    Encrypt("Update/equipdb.cfg", "not json");
    fails("not a document", false);
    Encrypt("Update/equipdb.cfg", R"({"makers":[{"id":"canon"}],"bodies":{"canon":[1,2,3]}})");
    catalogue.LoadLocalDatabases();
    WriteFile(Path("extdb.cfg"), ReadFile(Path("extdb.cfg")) + "x");
    fails("extdb.cfg of odd length", true);
    ASSERT_TRUE(QFile::remove(Path("extdb.cfg")) && QDir().mkpath(Path("extdb.cfg")));
    fails("extdb.cfg is a folder", true);
    ASSERT_TRUE(QDir().rmdir(Path("extdb.cfg")) &&
                QFile::link("/proc/self/mem", Path("extdb.cfg")));
    fails("extdb.cfg gives an I/O error", true);
    EXPECT_EQ(state.EquipmentDb->Item("bodies").Item("canon").count(), 3) << "the last one kept";
    // A file of no bytes is no database; a cache that cannot be deciphered
    // has its own message, and UpdateControls is not run.
    QFile::remove(Path("extdb.cfg")), WriteFile(Path("extdb.cfg"), "");
    WriteFile(Path("extcache.cfg"), QByteArray(33, 'z'));
    state.CatalogueLoaded = view.controls[2] = true;
    catalogue.LoadExtensionCache();
    EXPECT_EQ(prompt.Take(), QStringList{"读取扩展包信息失败！|16|"});
    EXPECT_EQ(view.Lines().size() + state.CatalogueLoaded + view.controls[2], 2);
    EXPECT_TRUE(catalogue.SaveInstalledDatabase());
    // A descriptor that breaks the document: nothing is written.
    const QByteArray before = ReadFile(Path("extdb.cfg"));
    state.Entries = {ExtensionEntry{"", "", "", "not a member", "", true, true, PendingInstall}};
    EXPECT_FALSE(catalogue.SaveInstalledDatabase());
    EXPECT_EQ(prompt.Take(), QStringList{"创建数据库文件失败！|16|错误"});
    EXPECT_EQ(ReadFile(Path("extdb.cfg")), before);
}

// Two managers on one program folder (the single-instance guard aside), each
// saving with the list it read last: a save keeps what the other recorded
// meanwhile, and only the package removed leaves.
TEST_F(WorldTest, TwoCataloguesOnOneFolder_KeepEachOthersRecords)
{
    Encrypt("Update/equipdb.cfg", R"({"version":"1.0","makers":[]})");
    WriteFile(root.filePath("models"), R"([{"name":"M1"}])");
    for (const QString name : {"pentax", "olympus", "canon"})
        Vendor({"pack", "--name", name, "--version", "1.0.0", "--models", root.filePath("models"),
                "--out", Path("Downloads")});
    Cache({"pentax 1.0.0 OK 1", "olympus 1.0.0 OK 1", "canon 1.0.0 OK 1"});
    MainState otherState;
    FakeView otherView;
    Catalogue other{otherState, otherView, prompt, process};
    Catalogue* const managers[] = {&catalogue, &other};
    catalogue.LoadExtensionCache(), other.LoadExtensionCache();
    // manager, 'i'nstall, 'r'emove or re'l'oad, package: the packages recorded after it
    const std::tuple<int, char, QString, QString> steps[] = {
        {0, 'i', "pentax", "pentax"},
        {1, 'i', "olympus", "olympus pentax"}, // its read had no pentax
        {1, 'l', "pentax", "olympus pentax"},  // now its list has pentax installed
        {0, 'r', "pentax", "olympus"},         // its read had no olympus
        {1, 'i', "canon", "canon olympus"},    // its read still has pentax
    };
    for (const auto& [who, action, name, recorded] : steps) {
        const QString sum = Checksums("{" + name + "@1.0.0}");
        EXPECT_TRUE(action == 'l'   ? (managers[who]->RefreshList(), true)
                    : action == 'i' ? managers[who]->InstallPackage(sum, false)
                                    : managers[who]->UninstallPackage(sum));
        const auto db = JsonNode::parse(ReadEnvelopeFile(Path("extdb.cfg"), true).value_or(""));
        EXPECT_EQ(db ? db->value().toObject().keys().join(' ') : "-", recorded);
    }
}

// The progress line of a download: sizes in units of 1024 written alike in
// every locale, the bar in permille when the length is known, and between the
// first event and the end at most one update per 100 ms.
TEST(DownloadProgress, LineBarAndAtMostTenUpdatesASecond)
{
    static uint32_t now;
    FakeView view;
    {
        cDownloadProgress progress(view, "宾得扩展", 2, 5, [] { return now; });
        for (const auto& [ms, status, bytes, speed] : {std::tuple{0u, 0, 0, 0},
                                                       {99u, 2, 1023, 9},
                                                       {100u, 2, 3250586, 1258291},
                                                       {150u, 2, 6291456, 0},
                                                       {160u, 3, 12582912, 0}})
            now = ms, progress.OnEvent(status, bytes, speed, 12582912);
    }
    EXPECT_EQ(view.progress, QStringList({"0|宾得扩展 0 B / 12.0 MB · 0 B/s (2/5)",
                                          "258|宾得扩展 3.1 MB / 12.0 MB · 1.2 MB/s (2/5)",
                                          "1000|宾得扩展 12.0 MB / 12.0 MB · 0 B/s (2/5)", "-1|"}));
    EXPECT_EQ(DownloadProgressLine("x", 1048524, -1, 1023, 0, 0), "x 1023.9 KB · 1023 B/s");
    EXPECT_EQ(FormatByteSize(1024) + FormatByteSize(1048575) + FormatByteSize(5LL << 30),
              "1.0 KB1.0 MB5.0 GB");
}
