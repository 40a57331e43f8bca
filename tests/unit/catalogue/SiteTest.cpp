#include "World.h"
#include "net/VendorUrl.h"

#include <QLockFile>
#include <QTimer>
#include <csignal>
#include <sys/resource.h>

// The sync and the commands against the local site, in the demo world.
TEST_F(WorldTest, DemoWorld)
{
    DemoWorld();
    catalogue.CheckOnline(); // the probe, then the sync in its event
    catalogue.CheckVersion();
    EXPECT_FALSE(QFile::exists(Path("extcache.tmp")) || view.warningShown);
    EXPECT_EQ(state.Endpoint + " " + view.Controls(),
              site->BaseUrl() + " list close install sync2");
    QString icons;
    for (const FakeView::Row& row : view.rows)
        icons += QString::number(row.icon) + " ";
    EXPECT_EQ(icons + Tags("fuji"),
              "1 2 3 4 5 6 7 8 9 10 11 12 13 0 1 4 2 3 0 9 6 5 10 0 0 10 0 0 0 "
              "0 0 0 0 0 0 0 3 0 2 5 2 1 8 9 2.0.0");
    EXPECT_EQ(view.Lines()[13] + view.Lines()[14] + view.Lines()[21],
              " 哈苏 (内置)|1.3.0|8|已安装 ✔|0|0|ghosted 佳能 Canon 2026|1.5.0|42|待更新 ☁|1|3|"
              " 奥林巴斯 OM System|1.3.0|12|失败 ❌|5|9|");
    state.SelectedIndex = 21;
    const QString machine = Vendor({"machine-id"});
    catalogue.ContextCommand(2);
    EXPECT_TRUE(prompt.urls.value(0).startsWith(
        VendorUrl() + "/login?email=demo.photographer&sn=" + machine + "&t=1"));
    EXPECT_TRUE(prompt.urls.value(0).endsWith("&from=%2Fregister%2Fmy-plans%3Fext%3Dolympus"));
    const QStringList requests = site->LogLines().filter("/kvxta_user_ext_info/");
    ASSERT_EQ(requests.size(), 1);
    EXPECT_TRUE(requests[0].startsWith(
        "GET /kvxta_user_ext_info/?u=demo.photographer&s=" + machine + "&t="));
    EXPECT_TRUE(requests[0].endsWith("&a=TVH0180 Ksvro/2.1.0.1316 (demo.photographer)"));
    EXPECT_EQ(prompt.Take().size() + prompt.urls.size(), 1);

    // dji is not on the hub and olympus proves another version: both are
    // marked failed, the others installed, until the refresh reads the disk.
    QFile::remove(root.filePath("site/hub/" + Checksums("{dji@1.0.0}") + ".Z"));
    QString marked;
    prompt.onMessage = [&] {
        for (const ExtensionEntry& row : state.Entries)
            marked += QString::number(row.Status) + " ";
        marked += view.Controls() + "/";
    };
    catalogue.InstallAll();
    prompt.onMessage();
    EXPECT_EQ(prompt.Take(), QStringList{"部分扩展包安装失败！|48|提醒"});
    EXPECT_EQ(marked, "10 0 0 10 0 0 0 0 0 0 0 0 0 0 0 0 0 0 9 1 8 9 sync1 busy cancel-off/"
                      "10 0 10 10 0 0 0 0 0 0 0 0 0 0 0 0 0 0 2 1 8 9 list close install sync2/");
    EXPECT_EQ(Setting("canon") + Setting("dji"), "1.5.0-");

    // A failed sync keeps the cache, lists its rows with their statuses from
    // the files, says when it was synced and offers to try again (Retry for
    // the profile's messages, Cancel for the endpoint's).
    const QByteArray cache = ReadFile(Path("extcache.cfg"));
    ASSERT_EQ(RunProcess("touch", {"-d", "2026-12-07 10:15:42", Path("extcache.cfg")}).exitCode, 0);
    const QStringList synced = view.Lines();
    const QString endpoint = root.filePath("site/update/tvh_endpoint.txt");
    const QString profile = root.filePath("site/kvxta_user_ext_info/demo.photographer");
    const QByteArray url = site->BaseUrl().toUtf8(), demo = ReadFile(profile);
    const QString b = "下载配置文件失败！", c = "获取用户扩展包信息失败！";
    const std::tuple<const char*, QByteArray, QByteArray, QString> cases[] = {
        {"capitals", "HTTP://x", demo, b},
        {"byte-order mark", "\xEF\xBB\xBF" + url, demo, b},
        {"space", " " + url, demo, b},
        {"empty endpoint", "", demo, b},
        {"no extensions", url, R"({"code":403,"message":"账户已过期","extensions":[]})",
         "[403] 账户已过期"},
        {"no extensions member", url, R"({"code":"E1","message":"m"})", "[E1] m"},
        {"no code", url, R"({"message":"m"})", c},
        {"not json", url, "<html>", c},
        {"empty profile", url, "", c},
        {"write fails", url, demo, c}};
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit tight{static_cast<rlim_t>(demo.size() / 2), RLIM_INFINITY};
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    for (const auto& [situation, endpointText, profileText, message] : cases) {
        SCOPED_TRACE(situation);
        WriteFile(endpoint, endpointText), WriteFile(profile, profileText);
        prompt.answers = {message == c ? 4 : 2};
        const int enabled = view.checkOnlineEnabled;
        if (QString(situation) == "write fails") { // though an earlier attempt's file would pass
            Encrypt("extcache.tmp",
                    R"({"id":"demo.photographer","extensions":[{"name":"x","count":1}]})");
            setrlimit(RLIMIT_FSIZE, &tight);
        }
        catalogue.PingReturn(true);
        setrlimit(RLIMIT_FSIZE, &old);
        EXPECT_EQ(prompt.Take(), QStringList{message + "|21|错误"});
        EXPECT_EQ(ReadFile(Path("extcache.cfg")), cache);
        EXPECT_EQ(view.checkOnlineEnabled - enabled, message == c);
        EXPECT_EQ(view.Lines() << view.Controls() << view.tips[3],
                  synced + QStringList({"list close install sync3",
                                        "点击重试\n当前列表为 2026-12-07 10:15 同步的结果"}));
    }
    // A cache that cannot be deciphered leaves the built-in rows and says no
    // more than the sync's message.
    WriteFile(Path("extcache.cfg"), QByteArray(33, 'z'));
    prompt.answers = {2};
    catalogue.PingReturn(false); // the probe could not start
    EXPECT_EQ(prompt.Take(), QStringList{"服务器无响应！|21|错误"});
    EXPECT_EQ(QString::number(view.Lines().size()) + view.tips[3], "14点击重试");
}

// Installing and removing one package from the menu, also while the database
// cannot be replaced (extdb.cfg a folder) and without the network.
TEST_F(WorldTest, InstallAndRemove)
{
    StartSite();
    Encrypt("Update/equipdb.cfg",
            R"({"version":"1.2","makers":[{"id":"canon"}],"bodies":{"canon":[1]}})");
    WriteFile(root.filePath("models"), R"([{"name":"M1"},{"name":"M2"}])");
    const QString c = Vendor({"pack", "--name", "canon", "--version", "1.5.0", "--models",
                              root.filePath("models"), "--out", root.filePath("site/hub")});
    const QString hub = root.filePath("site/hub/" + c + ".Z");
    Cache({"canon 1.5 OK 2"});
    catalogue.LoadExtensionCache();
    const auto run = [&](int index, const QString& message, const QString& after,
                         bool noDb = false) {
        if (noDb)
            QFile::rename(Path("extdb.cfg"), Path("extdb.bak")), QDir().mkpath(Path("extdb.cfg"));
        state.SelectedIndex = 1;
        index < 0 ? catalogue.InstallAll() : catalogue.ContextCommand(index);
        if (noDb)
            QDir().rmdir(Path("extdb.cfg")), QFile::rename(Path("extdb.bak"), Path("extdb.cfg"));
        EXPECT_EQ(prompt.Take().join('\n'), message);
        EXPECT_EQ(Tags("canon"), after);
    };
    const QString failed = "安装扩展包失败！|16|错误", removeFailed = "卸载扩展包失败！|16|错误";
    const QString done = "成功安装所有已购买的扩展包！|64|提示";
    run(-1, "当前编辑器版本不支持扩展包，请升级到最新版后重试|16|错误", "0 2 -");
    state.EditorBuild = 1316;
    QFile::rename(hub, hub + ".away");
    WriteFile(hub, ""); // an empty body is no archive, now or on the next attempt
    run(0, failed, "0 2 -");
    // A hub that serves another package's archive: a failure; nothing is
    // recorded, and neither the archive nor its folder stays.
    const QString other = Vendor({"pack", "--name", "nikon", "--version", "1.5.0", "--models",
                                  root.filePath("models"), "--out", root.filePath("site")});
    QFile::remove(hub), QFile::rename(root.filePath("site/" + other + ".Z"), hub);
    run(0, failed, "0 2 -");
    EXPECT_TRUE(QDir(Path("Downloads")).isEmpty() && QDir(Path("Packages")).isEmpty());
    QFile::remove(hub), QFile::rename(hub + ".away", hub);
    // A line that stalls, cancelled: no message, no file, and the row counts
    // as installable again; the list has the focus on it.
    const LocalSite stalled(root.filePath("site"), {"/hub/=stall:100"});
    state.Hub = stalled.Url("/hub");
    QTimer::singleShot(300, [&] { catalogue.CancelWork(); });
    run(0, "", "0 2 -");
    state.Hub = site->Url("/hub");
    EXPECT_EQ(view.Controls() + QString::number(view.focused.last()), "list close install sync31");
    EXPECT_TRUE(QDir(Path("Downloads")).isEmpty() && QDir(Path("Packages")).isEmpty());
    run(0, failed, "0 2 -", true);
    // The editor holds the settings' lock: the version cannot be written, so
    // the package is a failure and stays out of the database.
    QLockFile editor(qEnvironmentVariable("XDG_CONFIG_HOME") + "/Kestrovia/Kestrovia.ini.lock");
    ASSERT_TRUE(editor.lock());
    run(0, failed, "0 2 -");
    editor.unlock();
    catalogue.RefreshList();
    EXPECT_EQ(Tags("canon"), "0 5 -");
    QStringList shown; // the row's status while each message shows
    prompt.onMessage = [&] { shown << view.rows[1].columns[2]; };
    run(0, "成功安装 canon pack 扩展包！|64|提示", "10 0 1.5.0");
    run(1, removeFailed, "10 0 1.5.0", true);
    run(1, "成功卸载 canon pack 扩展包！|64|提示", "0 5 -");
    EXPECT_EQ(shown, QStringList({"已安装 ✔", "已安装 ✔", "正在卸载 ....."}));
    prompt.onMessage = nullptr;
    site.reset(); // installing again needs neither the network nor unpacking
    run(-1, "部分扩展包安装失败！|48|提醒\n无法加载内置数据库！|16|", "5 -", true);
    catalogue.RefreshList();
    run(-1, done, "10 0 1.5.0");
    run(-1, done, "10 0 1.5.0"); // nothing installable: still saved and refreshed
    QDir(Path("Packages/" + c)).removeRecursively();
    run(1, removeFailed, "10 0 1.5.0");
}
