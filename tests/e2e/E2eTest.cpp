// The real program, as a user meets it: under Xvfb, against the local vendor
// site, driven by mouse clicks and key presses, its message boxes answered
// with keys. Each scenario checks what the user sees (screenshots kept under
// the build folder), the files in the program folder and the shared settings.

#include "E2eScene.h"
#include "crypto/Envelope.h"
#include "crypto/MachineKey.h"
#include "startup/JsonNode.h"
#include "support/LocalSite.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QSettings>
#include <QThread>
#include <arpa/inet.h>
#include <functional>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString kMainTitle = QStringLiteral("Kestrovia Morvelin扩展包管理器");
const QString kUser = QStringLiteral("demo.photographer");
const QString kAskBuy = QStringLiteral("当前尚未购买 松下 Panasonic 2026 扩展包，是否前往购买？");
const QString kNoEndpoint = QStringLiteral("下载配置文件失败！");
const QString kTooOld = QStringLiteral("当前编辑器版本不支持扩展包，请升级到最新版后重试");

// Pixel columns of the list while the window sits at (0,0): the left part of
// "型号数量" (right-aligned counts leave it empty) and the "状态" column.
constexpr int kProbeX = 380;
constexpr int kStatusLeft = 462;
constexpr int kStatusWidth = 186;

constexpr int kWindowMs = 20000; // a window or message box to show up
constexpr int kSyncMs = 20000;   // start-up and the first sync
constexpr int kExitMs = 15000;   // the manager to end (leak check included)

// The status colours of the "状态" column.
enum class Colour
{
    None,
    Green,
    Orange,
    Red
};
constexpr QRgb kGreen = qRgb(0, 128, 0);    // installed
constexpr QRgb kOrange = qRgb(217, 147, 0); // pending: order, download, update, install
constexpr QRgb kRed = qRgb(160, 53, 53);    // failed

const char* ColourName(Colour c)
{
    switch (c) {
    case Colour::Green:
        return "green";
    case Colour::Orange:
        return "orange";
    case Colour::Red:
        return "red";
    default:
        return "none";
    }
}

QByteArray WithoutPadding(QByteArray bytes)
{
    while (bytes.endsWith('\0'))
        bytes.chop(1);
    return bytes;
}

QString DemoFile(const QString& name)
{
    return QStringLiteral(E2E_DEMO_DATA) + u'/' + name;
}

int DemoModelCount(const QString& package)
{
    const std::optional<JsonNode> models = JsonNode::parse(
        QString::fromUtf8(ReadFile(DemoFile(QStringLiteral("packages/%1.json").arg(package)))));
    return models ? models->count() : -1;
}

// A port of 127.0.0.1 with nothing listening on it.
int DeadPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 1;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

class E2e : public ::testing::Test
{
protected:
    std::unique_ptr<E2eScene> scene;
    std::unique_ptr<LocalSite> site;
    QString main;   // the main window's id
    int rowTop = 0; // top of row 0 on the screen
    int rowHeight = 0;
    int builtIn = 0;      // rows of the editor's own makers, before the packages
    QStringList packages; // the account's packages, in profile order
    QMap<QString, QString> checksums;

    // A fresh world and display for this test, and the site serving it.
    void Open(const QStringList& worldArgs = {})
    {
        const QString name =
            QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name());
        scene = std::make_unique<E2eScene>(name);
        ASSERT_TRUE(scene->StartDisplay()) << scene->Error().toStdString();
        site = std::make_unique<LocalSite>(scene->SiteRoot());
        ASSERT_TRUE(site->IsRunning()) << site->Error().toStdString();
        ASSERT_TRUE(scene->MakeWorld(site->BaseUrl(), worldArgs)) << scene->Error().toStdString();

        const std::optional<JsonNode> equipment =
            JsonNode::parse(QString::fromUtf8(ReadFile(DemoFile(QStringLiteral("equipdb.json")))));
        ASSERT_TRUE(equipment);
        builtIn = equipment->Item(QStringLiteral("makers")).count();
        const std::optional<JsonNode> profile = JsonNode::parse(QString::fromUtf8(
            ReadFile(scene->SiteRoot() + QStringLiteral("/kvxta_user_ext_info/") + kUser)));
        ASSERT_TRUE(profile);
        const JsonNode extensions = profile->Item(QStringLiteral("extensions"));
        for (int i = 1; i <= extensions.count(); ++i) {
            const QString name = extensions.Item(i).Item(QStringLiteral("name")).text();
            packages << name;
            checksums[name] = extensions.Item(i).Item(QStringLiteral("checksum")).text();
        }
        ASSERT_EQ(packages.size(), 8);
    }

    int Row(const QString& package) const { return builtIn + packages.indexOf(package); }
    int RowCentre(int row) const { return rowTop + row * rowHeight + rowHeight / 2; }

    // Starts the manager against url and waits for its main window.
    void Start(const QString& url)
    {
        ASSERT_TRUE(scene->StartManager(url)) << scene->Error().toStdString();
        main = scene->WaitForWindow(kMainTitle, kWindowMs);
        ASSERT_FALSE(main.isEmpty()) << "no main window; log:\n"
                                     << scene->ManagerLog().toStdString();
    }

    // Starts the manager against the site, waits for the sync to store the
    // catalogue cache, and finds the rows on the screen.
    void StartAndSync(bool resize = true)
    {
        const QString cache = scene->EditorFile(QStringLiteral("extcache.cfg"));
        const QDateTime before = QFileInfo(cache).lastModified();
        ASSERT_NO_FATAL_FAILURE(Start(site->BaseUrl()));
        ASSERT_TRUE(WaitFor(
            kSyncMs,
            [&] { return QFileInfo::exists(cache) && QFileInfo(cache).lastModified() != before; }))
            << "the sync stored no catalogue cache; site log:\n"
            << site->LogLines().join(u'\n').toStdString();
        if (resize) {
            ASSERT_NO_FATAL_FAILURE(Enlarge());
        }
        ASSERT_NO_FATAL_FAILURE(FindRows());
    }

    template <typename Condition> static bool WaitFor(int ms, Condition condition)
    {
        QDeadlineTimer deadline(ms);
        while (!condition()) {
            if (deadline.hasExpired())
                return false;
            QThread::msleep(50);
        }
        return true;
    }

    // Taller, so that every row shows without scrolling (a user would do the
    // same with the mouse).
    void Enlarge()
    {
        const QRect g = scene->Geometry(main);
        ASSERT_TRUE(scene->Resize(main, g.width(), g.height() + 200));
    }

    // Clicks into the list and goes to the first row: the selected row's
    // band gives the list's first row and the row height. The list refuses
    // clicks while it is busy, so this also waits for the sync to end.
    void FindRows()
    {
        std::optional<std::pair<int, int>> band;
        ASSERT_TRUE(WaitFor(kSyncMs, [&] {
            scene->Click(kProbeX, 200);
            scene->KeyTo(main, QStringLiteral("Home"));
            band = E2ePixels::HighlightBand(scene->Shot(QStringLiteral("rows")), kProbeX, 40, 400);
            return band.has_value();
        })) << "no selected row after a click and Home";
        rowTop = band->first;
        rowHeight = band->second;
        ASSERT_GE(rowHeight, 18);
        ASSERT_LE(rowHeight, 40);
    }

    // The number of rows: End selects the last one.
    int RowCount()
    {
        scene->KeyTo(main, QStringLiteral("End"));
        std::optional<std::pair<int, int>> band;
        WaitFor(5000, [&] {
            band = E2ePixels::HighlightBand(scene->Shot(QStringLiteral("rows")), kProbeX, rowTop,
                                            scene->Geometry(main).bottom());
            return band.has_value() && band->first > rowTop;
        });
        if (!band)
            return -1;
        return (band->first - rowTop + rowHeight / 2) / rowHeight + 1;
    }

    // A click on the empty space below the rows leaves no row selected, so
    // that every row shows its own colours.
    void Deselect(int rows) { scene->Click(kProbeX, rowTop + rows * rowHeight + rowHeight); }

    Colour StatusColour(const QImage& shot, int row) const
    {
        const QRect cell(kStatusLeft, rowTop + row * rowHeight + 2, kStatusWidth, rowHeight - 4);
        const int green = E2ePixels::CountColour(shot, cell, kGreen);
        const int orange = E2ePixels::CountColour(shot, cell, kOrange);
        const int red = E2ePixels::CountColour(shot, cell, kRed);
        const int most = std::max({green, orange, red});
        if (most < 3)
            return Colour::None;
        return most == green ? Colour::Green : most == orange ? Colour::Orange : Colour::Red;
    }

    // Waits until every listed package's row shows its colour; the final
    // screenshot is kept as step.
    void ExpectColours(const QMap<QString, Colour>& expected, const QString& step)
    {
        Deselect(builtIn + static_cast<int>(packages.size()));
        QMap<QString, Colour> seen;
        WaitFor(5000, [&] {
            const QImage shot = scene->Shot(step);
            for (auto it = expected.cbegin(); it != expected.cend(); ++it)
                seen[it.key()] = StatusColour(shot, Row(it.key()));
            return seen == expected;
        });
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            EXPECT_STREQ(ColourName(seen[it.key()]), ColourName(it.value()))
                << "status colour of the row of " << it.key().toStdString() << " ("
                << step.toStdString() << ")";
    }

    // Waits for a message box with this title, keeps a screenshot of it and
    // answers it with keys.
    void Answer(const QString& title, const QString& text, const QString& keys, const QString& step)
    {
        const QString box = scene->WaitForWindow(title, kWindowMs);
        ASSERT_FALSE(box.isEmpty()) << "no message box \"" << title.toStdString() << "\"";
        const QStringList messages = scene->Messages();
        ASSERT_FALSE(messages.isEmpty());
        EXPECT_EQ(messages.last(), title + QStringLiteral(": ") + text);
        scene->ShotOfNewWindow(step);
        ASSERT_TRUE(scene->KeyTo(box, keys));
        if (!scene->WaitWindowGone(box, 3000)) // a key pressed before the box had the focus is lost
            scene->KeyTo(box, keys);
        ASSERT_TRUE(scene->WaitWindowGone(box, 5000))
            << "the message box \"" << title.toStdString() << "\" stayed";
    }

    // Right-click on a row, then the menu item's accelerator.
    void ContextMenu(const QString& package, const QString& accelerator)
    {
        ASSERT_TRUE(scene->Click(kProbeX, RowCentre(Row(package)), 3));
        const QString menu = scene->WaitForWindow(QStringLiteral("Tovarinth"), kWindowMs);
        ASSERT_FALSE(menu.isEmpty()) << "no context menu";
        scene->ShotOfNewWindow(QStringLiteral("menu-") + package);
        ASSERT_TRUE(scene->Xdo({QStringLiteral("key"), accelerator}));
        ASSERT_TRUE(scene->WaitWindowGone(menu, 5000));
    }

    void DoubleClick(const QString& package)
    {
        ASSERT_TRUE(scene->Click(kProbeX, RowCentre(Row(package)), 1, 2));
    }

    // Alt+X, then the process must end by itself, without leaks of our own.
    void Close()
    {
        ASSERT_TRUE(scene->KeyTo(main, QStringLiteral("alt+x")));
        int code = -1;
        ASSERT_TRUE(scene->WaitManagerFinished(kExitMs, &code)) << "the manager did not end";
        ExpectCleanExit(code);
    }

    void ExpectCleanExit(int code)
    {
        const QString log = scene->ManagerLog();
        EXPECT_FALSE(log.contains(QLatin1String("LeakSanitizer")) ||
                     log.contains(QLatin1String("AddressSanitizer")) ||
                     log.contains(QLatin1String("runtime error")))
            << log.toStdString();
        EXPECT_EQ(code, 0) << log.toStdString();
    }

    QString Setting(const QString& key) const
    {
        QSettings ini(scene->SettingsFile(), QSettings::IniFormat);
        return ini.value(key).toString();
    }
    QStringList SettingKeys(const QString& group) const
    {
        QSettings ini(scene->SettingsFile(), QSettings::IniFormat);
        ini.beginGroup(group);
        return ini.childKeys();
    }

    int SiteRequests(const LocalSite& s, const QString& part) const
    {
        int n = 0;
        for (const QString& line : s.LogLines())
            n += line.contains(part) ? 1 : 0;
        return n;
    }

    QString Archive(const QString& package) const
    {
        return scene->EditorFile(QStringLiteral("Downloads/%1.Z").arg(checksums[package]));
    }
    QString Descriptor(const QString& package) const
    {
        return scene->EditorFile(
            QStringLiteral("Packages/%1/extension.cfg").arg(checksums[package]));
    }

    // The installed-extension database opens only with this computer's key;
    // its members with their model counts.
    QMap<QString, int> InstalledDatabase()
    {
        const QString path = scene->EditorFile(QStringLiteral("extdb.cfg"));
        const ByteArray builtinKey = ReadEnvelopeFile(path, false);
        EXPECT_TRUE(builtinKey);
        EXPECT_FALSE(
            JsonNode::parse(QString::fromUtf8(WithoutPadding(builtinKey.value_or(QByteArray())))))
            << "extdb.cfg reads with the built-in key";
        const ByteArray plain = ReadEnvelopeFile(path, true);
        QMap<QString, int> members;
        EXPECT_TRUE(plain) << "extdb.cfg does not decipher";
        if (!plain)
            return members;
        const std::optional<JsonNode> root = JsonNode::parse(QString::fromUtf8(*plain));
        EXPECT_TRUE(root) << "extdb.cfg does not parse: " << plain->toStdString();
        if (!root)
            return members;
        const QJsonObject object = root->value().toObject();
        for (auto it = object.constBegin(); it != object.constEnd(); ++it)
            members[it.key()] = static_cast<int>(it.value().toArray().size());
        return members;
    }

    // The package's archive is the hub's, and its folder holds the hub's
    // descriptor (built-in key).
    void ExpectUnpacked(const QString& package)
    {
        const QByteArray hub =
            ReadFile(scene->SiteRoot() + QStringLiteral("/hub/%1.Z").arg(checksums[package]));
        ASSERT_FALSE(hub.isEmpty());
        EXPECT_EQ(ReadFile(Archive(package)), hub) << package.toStdString();
        const ByteArray plain = ReadEnvelopeFile(Descriptor(package), false);
        ASSERT_TRUE(plain) << package.toStdString() << ": no descriptor";
        EXPECT_EQ(WithoutPadding(*plain),
                  '"' + package.toUtf8() +
                      "\":" + ReadFile(DemoFile(QStringLiteral("packages/%1.json").arg(package))));
    }
};

// Scenario 1: the first start with an account. The sync stores the profile
// as the catalogue cache, the rows show the statuses the profile gives, and
// the manager records where it lives.
TEST_F(E2e, FirstStartWithAccount_SyncsAndShowsProfileRows)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_NO_FATAL_FAILURE(StartAndSync(false));
    // No warning panel for an editor of build 1316: the window keeps its size.
    EXPECT_EQ(scene->Geometry(main), QRect(0, 0, 680, 640));
    scene->Shot();
    ASSERT_NO_FATAL_FAILURE(Enlarge());
    ASSERT_NO_FATAL_FAILURE(FindRows());

    // The cache is the site's profile under the built-in key.
    const ByteArray cache =
        ReadEnvelopeFile(scene->EditorFile(QStringLiteral("extcache.cfg")), false);
    ASSERT_TRUE(cache);
    EXPECT_EQ(WithoutPadding(*cache),
              ReadFile(scene->SiteRoot() + QStringLiteral("/kvxta_user_ext_info/") + kUser));

    // Two requests: the endpoint file, then the profile with the account,
    // this computer's identifier, the time and the revision tag.
    const QStringList log = site->LogLines();
    ASSERT_EQ(log.size(), 2) << log.join(u'\n').toStdString();
    const QString agent = QStringLiteral(" Ksvro/2.1.0.1316 (demo.photographer)");
    EXPECT_EQ(log[0], QStringLiteral("GET /update/tvh_endpoint.txt") + agent);
    EXPECT_TRUE(
        log[1].startsWith(QStringLiteral("GET /kvxta_user_ext_info/?u=demo.photographer&s=") +
                          GetMachineID() + QStringLiteral("&t=")))
        << log[1].toStdString();
    EXPECT_TRUE(log[1].endsWith(QStringLiteral("&a=TVH0180") + agent)) << log[1].toStdString();

    // Where the manager lives and its revision.
    EXPECT_EQ(QFileInfo(Setting(QStringLiteral("AppInfo/Tovarinth"))).canonicalFilePath(),
              QFileInfo(scene->Manager()).canonicalFilePath());
    EXPECT_EQ(Setting(QStringLiteral("AppInfo/Tovarinth")), scene->Manager());
    EXPECT_EQ(Setting(QStringLiteral("AppInfo/TovarinthVersion")), QStringLiteral("0180"));

    // The editor's 14 makers, then the 8 packages of the account.
    EXPECT_EQ(RowCount(), builtIn + 8);
    ASSERT_NO_FATAL_FAILURE(ExpectColours({{QStringLiteral("canon"), Colour::Orange},
                                           {QStringLiteral("fuji"), Colour::Green},
                                           {QStringLiteral("nikon"), Colour::Orange},
                                           {QStringLiteral("sony"), Colour::Orange},
                                           {QStringLiteral("dji"), Colour::Orange},
                                           {QStringLiteral("leica"), Colour::Orange},
                                           {QStringLiteral("panasonic"), Colour::None},
                                           {QStringLiteral("olympus"), Colour::Red}},
                                          QStringLiteral("rows")));
    EXPECT_EQ(scene->Messages(), QStringList());
    ASSERT_NO_FATAL_FAILURE(Close());
}

// Scenario 2: install one package from its context menu, then all that are
// left, then remove one; after each the files, the installed-extension
// database (readable with this computer's key only) and the settings. The
// hub has lost dji's archive, so install-all has one real failure to report.
TEST_F(E2e, InstallOneAllAndRemove_FilesDatabaseAndSettingsFollow)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_TRUE(
        QFile::remove(scene->SiteRoot() + QStringLiteral("/hub/%1.Z").arg(checksums["dji"])));
    ASSERT_NO_FATAL_FAILURE(StartAndSync());
    const QMap<QString, int> before = InstalledDatabase();
    EXPECT_EQ(before.keys(), QStringList({"canon", "fuji"}));

    // One package: nikon, to download.
    ASSERT_NO_FATAL_FAILURE(ContextMenu(QStringLiteral("nikon"), QStringLiteral("i")));
    ASSERT_NO_FATAL_FAILURE(Answer(QStringLiteral("提示"),
                                   QStringLiteral("成功安装 尼康 Nikon 2026 扩展包！"),
                                   QStringLiteral("Return"), QStringLiteral("installed-nikon")));
    ASSERT_NO_FATAL_FAILURE(ExpectUnpacked(QStringLiteral("nikon")));
    EXPECT_FALSE(QFileInfo::exists(Archive(QStringLiteral("nikon")) + QStringLiteral(".part")));
    QMap<QString, int> db = InstalledDatabase();
    EXPECT_EQ(db.value(QStringLiteral("nikon")), DemoModelCount(QStringLiteral("nikon")));
    EXPECT_EQ(db.value(QStringLiteral("fuji")), DemoModelCount(QStringLiteral("fuji")));
    EXPECT_EQ(Setting(QStringLiteral("Tovarinth/nikon")), QStringLiteral("1.2.0"));
    EXPECT_EQ(Setting(QStringLiteral("Tovarinth/fuji")), QStringLiteral("2.0.0"));
    EXPECT_EQ(SiteRequests(*site, QStringLiteral("/hub/")), 1);
    ASSERT_NO_FATAL_FAILURE(ExpectColours({{QStringLiteral("nikon"), Colour::Green},
                                           {QStringLiteral("fuji"), Colour::Green},
                                           {QStringLiteral("sony"), Colour::Orange}},
                                          QStringLiteral("after-nikon")));

    // All the others: canon's update and dji come from the hub, sony's
    // archive is at hand; dji's download fails.
    ASSERT_TRUE(scene->KeyTo(main, QStringLiteral("alt+i")));
    ASSERT_NO_FATAL_FAILURE(Answer(QStringLiteral("提醒"), QStringLiteral("部分扩展包安装失败！"),
                                   QStringLiteral("Return"), QStringLiteral("install-all")));
    ASSERT_NO_FATAL_FAILURE(ExpectUnpacked(QStringLiteral("canon")));
    ASSERT_NO_FATAL_FAILURE(ExpectUnpacked(QStringLiteral("sony")));
    EXPECT_FALSE(QFileInfo::exists(Archive(QStringLiteral("dji"))));
    EXPECT_FALSE(QFileInfo::exists(Archive(QStringLiteral("dji")) + QStringLiteral(".part")));
    EXPECT_FALSE(QFileInfo::exists(Descriptor(QStringLiteral("dji"))));
    db = InstalledDatabase();
    for (const QString name : {"canon", "fuji", "nikon", "sony"})
        EXPECT_EQ(db.value(name), DemoModelCount(name)) << name.toStdString();
    EXPECT_FALSE(db.contains(QStringLiteral("dji")));
    EXPECT_EQ(Setting(QStringLiteral("Tovarinth/canon")), QStringLiteral("1.5.0"));
    EXPECT_EQ(Setting(QStringLiteral("Tovarinth/sony")), QStringLiteral("3.1.2"));
    EXPECT_EQ(Setting(QStringLiteral("Tovarinth/dji")), QString());
    // Leica's order is pending and panasonic is not bought: neither is asked for.
    EXPECT_EQ(SiteRequests(*site, checksums["leica"]), 0);
    EXPECT_EQ(SiteRequests(*site, checksums["panasonic"]), 0);
    EXPECT_EQ(SiteRequests(*site, checksums["sony"]), 0);
    ASSERT_NO_FATAL_FAILURE(ExpectColours({{QStringLiteral("canon"), Colour::Green},
                                           {QStringLiteral("fuji"), Colour::Green},
                                           {QStringLiteral("nikon"), Colour::Green},
                                           {QStringLiteral("sony"), Colour::Green},
                                           {QStringLiteral("dji"), Colour::Orange},
                                           {QStringLiteral("leica"), Colour::Orange},
                                           {QStringLiteral("panasonic"), Colour::None}},
                                          QStringLiteral("after-all")));

    // Remove nikon: out of the database and the settings, its files stay.
    ASSERT_NO_FATAL_FAILURE(ContextMenu(QStringLiteral("nikon"), QStringLiteral("u")));
    ASSERT_NO_FATAL_FAILURE(Answer(QStringLiteral("提示"),
                                   QStringLiteral("成功卸载 尼康 Nikon 2026 扩展包！"),
                                   QStringLiteral("Return"), QStringLiteral("removed-nikon")));
    db = InstalledDatabase();
    EXPECT_FALSE(db.contains(QStringLiteral("nikon")));
    for (const QString name : {"canon", "fuji", "sony"})
        EXPECT_EQ(db.value(name), DemoModelCount(name)) << name.toStdString();
    EXPECT_FALSE(SettingKeys(QStringLiteral("Tovarinth")).contains(QStringLiteral("nikon")));
    EXPECT_EQ(Setting(QStringLiteral("Tovarinth/canon")), QStringLiteral("1.5.0"));
    EXPECT_TRUE(QFileInfo::exists(Archive(QStringLiteral("nikon"))));
    EXPECT_TRUE(QFileInfo::exists(Descriptor(QStringLiteral("nikon"))));
    // Unpacked but not recorded: to install.
    ASSERT_NO_FATAL_FAILURE(ExpectColours(
        {{QStringLiteral("nikon"), Colour::Orange}, {QStringLiteral("canon"), Colour::Green}},
        QStringLiteral("after-remove")));
    EXPECT_EQ(scene->Messages(),
              QStringList({QStringLiteral("提示: 成功安装 尼康 Nikon 2026 扩展包！"),
                           QStringLiteral("提醒: 部分扩展包安装失败！"),
                           QStringLiteral("提示: 成功卸载 尼康 Nikon 2026 扩展包！")}));
    scene->Shot();
    ASSERT_NO_FATAL_FAILURE(Close());
}

// Scenario 3: buying. A package that is not bought asks first; No opens
// nothing, Yes hands the purchase link to the browser; the context menu's
// buy item does the same without asking.
TEST_F(E2e, BuyNotPurchased_PurchaseLinkGoesToBrowser)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_NO_FATAL_FAILURE(StartAndSync());
    const QString prefix = site->BaseUrl() + QStringLiteral("/login?email=demo.photographer&sn=") +
                           GetMachineID() + QStringLiteral("&t=");
    const QString suffix = QStringLiteral("&from=%2Fregister%2Fmy-plans%3Fext%3Dpanasonic");
    const auto links = [&] {
        return QString::fromUtf8(ReadFile(scene->BrowserLog())).split(u'\n', Qt::SkipEmptyParts);
    };

    ASSERT_NO_FATAL_FAILURE(DoubleClick(QStringLiteral("panasonic")));
    ASSERT_NO_FATAL_FAILURE(Answer(QStringLiteral("购买扩展包"), kAskBuy, QStringLiteral("Escape"),
                                   QStringLiteral("ask-no")));
    EXPECT_FALSE(WaitFor(1000, [&] { return QFileInfo::exists(scene->BrowserLog()); }));

    const qint64 from = QDateTime::currentSecsSinceEpoch();
    ASSERT_NO_FATAL_FAILURE(DoubleClick(QStringLiteral("panasonic")));
    ASSERT_NO_FATAL_FAILURE(Answer(QStringLiteral("购买扩展包"), kAskBuy, QStringLiteral("Return"),
                                   QStringLiteral("ask-yes")));
    ASSERT_TRUE(WaitFor(10000, [&] { return links().size() == 1; }));
    ASSERT_NO_FATAL_FAILURE(ContextMenu(QStringLiteral("panasonic"), QStringLiteral("p")));
    ASSERT_TRUE(WaitFor(10000, [&] { return links().size() == 2; }));
    const qint64 to = QDateTime::currentSecsSinceEpoch();
    for (const QString& link : links()) {
        ASSERT_TRUE(link.startsWith(prefix)) << link.toStdString();
        ASSERT_TRUE(link.endsWith(suffix)) << link.toStdString();
        bool ok = false;
        const qint64 t =
            link.mid(prefix.size(), link.size() - prefix.size() - suffix.size()).toLongLong(&ok);
        EXPECT_TRUE(ok && t >= from && t <= to + 1) // the link rounds to the nearest second
            << link.toStdString() << " " << from << ".." << to;
    }
    // Nothing was downloaded or recorded for it.
    EXPECT_EQ(SiteRequests(*site, QStringLiteral("/hub/")), 0);
    EXPECT_EQ(Setting(QStringLiteral("Tovarinth/panasonic")), QString());
    // The menu's buy item asks nothing.
    EXPECT_EQ(scene->Messages(), QStringList({QStringLiteral("购买扩展包: ") + kAskBuy,
                                              QStringLiteral("购买扩展包: ") + kAskBuy}));
    scene->Shot();
    ASSERT_NO_FATAL_FAILURE(Close());
}

// Scenario 5: an editor of build 1220 is too old for packages: the warning
// panel shows above the list, and installing one or all is refused with a
// message, before anything is downloaded.
TEST_F(E2e, EditorTooOld_WarningPanelAndInstallRefused)
{
    ASSERT_NO_FATAL_FAILURE(
        Open({QStringLiteral("--editor-version"), QStringLiteral("2.0.0.1220")}));
    ASSERT_NO_FATAL_FAILURE(StartAndSync(false));
    // The panel makes the window taller and sits above the controls.
    const QRect window = scene->Geometry(main);
    EXPECT_EQ(window.width(), 680);
    EXPECT_GT(window.height(), 640);
    const QImage shot = scene->Shot();
    EXPECT_GT(E2ePixels::CountColour(shot, QRect(0, 0, 680, window.height() - 640),
                                     qRgb(0xFF, 0xF4, 0xCE)),
              5000)
        << "no warning panel at the top of the window";
    EXPECT_GT(rowTop, 85);
    ASSERT_NO_FATAL_FAILURE(Enlarge());
    ASSERT_NO_FATAL_FAILURE(FindRows());
    const QByteArray db = ReadFile(scene->EditorFile(QStringLiteral("extdb.cfg")));
    const QByteArray settings = ReadFile(scene->SettingsFile());

    ASSERT_NO_FATAL_FAILURE(ContextMenu(QStringLiteral("nikon"), QStringLiteral("i")));
    ASSERT_NO_FATAL_FAILURE(Answer(QStringLiteral("错误"), kTooOld, QStringLiteral("Return"),
                                   QStringLiteral("refused-one")));
    ASSERT_TRUE(scene->KeyTo(main, QStringLiteral("alt+i")));
    ASSERT_NO_FATAL_FAILURE(Answer(QStringLiteral("错误"), kTooOld, QStringLiteral("Return"),
                                   QStringLiteral("refused-all")));

    EXPECT_EQ(SiteRequests(*site, QStringLiteral("/hub/")), 0);
    EXPECT_FALSE(QFileInfo::exists(Archive(QStringLiteral("nikon"))));
    EXPECT_EQ(ReadFile(scene->EditorFile(QStringLiteral("extdb.cfg"))), db);
    EXPECT_EQ(ReadFile(scene->SettingsFile()), settings);
    ASSERT_NO_FATAL_FAILURE(ExpectColours(
        {{QStringLiteral("nikon"), Colour::Orange}, {QStringLiteral("sony"), Colour::Orange}},
        QStringLiteral("after")));
    EXPECT_EQ(scene->Messages(), QStringList({QStringLiteral("错误: ") + kTooOld,
                                              QStringLiteral("错误: ") + kTooOld}));
    ASSERT_NO_FATAL_FAILURE(Close());
}

// Scenario 6: settings without the editor's path. One message, no main
// window; the manager's own path and revision are written all the same, and
// the process ends when the message is answered.
TEST_F(E2e, NoEditor_MessageThenEndsWithSettingsWritten)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    {
        QSettings ini(scene->SettingsFile(), QSettings::IniFormat);
        ini.remove(QStringLiteral("AppInfo/Editor"));
        ini.sync();
        ASSERT_EQ(ini.status(), QSettings::NoError);
    }
    ASSERT_TRUE(scene->StartManager(site->BaseUrl()));
    const QString box = scene->WaitForWindow(QStringLiteral("提示"), kWindowMs);
    ASSERT_FALSE(box.isEmpty()) << scene->ManagerLog().toStdString();
    scene->ShotOfNewWindow();
    for (const QString& id : scene->VisibleWindows())
        EXPECT_NE(scene->WindowName(id), kMainTitle);
    EXPECT_EQ(Setting(QStringLiteral("AppInfo/Tovarinth")), scene->Manager());
    EXPECT_EQ(Setting(QStringLiteral("AppInfo/TovarinthVersion")), QStringLiteral("0180"));
    EXPECT_EQ(Setting(QStringLiteral("AppInfo/Editor")), QString());
    EXPECT_EQ(scene->Messages(),
              QStringList({QStringLiteral("提示: 未找到 Kestrovia 元数据编辑器！")}));

    ASSERT_TRUE(scene->KeyTo(box, QStringLiteral("Return")));
    int code = -1;
    ASSERT_TRUE(scene->WaitManagerFinished(kExitMs, &code)) << "the manager did not end";
    ExpectCleanExit(code);
    EXPECT_TRUE(site->LogLines().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(scene->EditorFile(QStringLiteral("extcache.cfg"))));
}

// Scenario 4: the vendor site down, hanging or answering with an error page.
// An earlier good sync left a catalogue cache. The failing sync asks Retry or
// Cancel; Retry makes another attempt that fails the same way, Cancel leaves
// the editor's rows only, and no file is lost or changed.
class E2eSiteFault : public E2e
{
protected:
    QByteArray cache, db, settings;

    void SyncedOnce()
    {
        ASSERT_NO_FATAL_FAILURE(Open());
        ASSERT_NO_FATAL_FAILURE(StartAndSync(false));
        EXPECT_EQ(scene->Messages(), QStringList());
        ASSERT_NO_FATAL_FAILURE(Close());
        cache = ReadFile(scene->EditorFile(QStringLiteral("extcache.cfg")));
        db = ReadFile(scene->EditorFile(QStringLiteral("extdb.cfg")));
        settings = ReadFile(scene->SettingsFile());
        ASSERT_FALSE(cache.isEmpty());
    }

    // attempts(): the failing requests so far, or -1 when nothing can count them.
    void FailTwiceThenCancel(const QString& url, const QString& message,
                             const std::function<int()>& attempts)
    {
        const QString shown = QStringLiteral("错误: ") + message;
        ASSERT_NO_FATAL_FAILURE(Start(url));
        const QString first = scene->WaitForWindow(QStringLiteral("错误"), kWindowMs);
        ASSERT_FALSE(first.isEmpty()) << "no failure message";
        if (attempts() >= 0) {
            EXPECT_EQ(attempts(), 1);
        }
        EXPECT_EQ(scene->Messages(), QStringList({shown}));
        scene->ShotOfNewWindow(QStringLiteral("failed"));
        ASSERT_TRUE(scene->KeyTo(first, QStringLiteral("Return"))); // Retry
        ASSERT_TRUE(scene->WaitWindowGone(first, 5000));

        const QString again = scene->WaitForWindow(QStringLiteral("错误"), kWindowMs);
        ASSERT_FALSE(again.isEmpty()) << "Retry made no second attempt";
        if (attempts() >= 0) {
            EXPECT_EQ(attempts(), 2);
        }
        EXPECT_EQ(scene->Messages(), QStringList({shown, shown}));
        scene->ShotOfNewWindow(QStringLiteral("failed-again"));
        ASSERT_TRUE(scene->KeyTo(again, QStringLiteral("Escape"))); // Cancel
        ASSERT_TRUE(scene->WaitWindowGone(again, 5000));
        EXPECT_TRUE(scene->StaysAbsent(QStringLiteral("错误"), 500)) << "Cancel asked again";

        // The editor's makers only; the cache, the database and the settings
        // are those of the good sync.
        ASSERT_NO_FATAL_FAILURE(Enlarge());
        ASSERT_NO_FATAL_FAILURE(FindRows());
        EXPECT_EQ(RowCount(), builtIn);
        scene->Shot();
        EXPECT_EQ(ReadFile(scene->EditorFile(QStringLiteral("extcache.cfg"))), cache);
        EXPECT_EQ(ReadFile(scene->EditorFile(QStringLiteral("extdb.cfg"))), db);
        EXPECT_EQ(ReadFile(scene->SettingsFile()), settings);
        EXPECT_EQ(scene->Messages(), QStringList({shown, shown}));
        ASSERT_NO_FATAL_FAILURE(Close());
    }
};

// Nothing listens: the endpoint file cannot be fetched.
TEST_F(E2eSiteFault, SiteDown_RetryAsksAgainCancelKeepsCache)
{
    ASSERT_NO_FATAL_FAILURE(SyncedOnce());
    FailTwiceThenCancel(QStringLiteral("http://127.0.0.1:%1").arg(DeadPort()), kNoEndpoint,
                        [] { return -1; });
}

// The site takes every request and never answers: each attempt ends after
// the connection time-out.
TEST_F(E2eSiteFault, SiteHangs_RetryAsksAgainCancelKeepsCache)
{
    ASSERT_NO_FATAL_FAILURE(SyncedOnce());
    LocalSite hanging(scene->SiteRoot(), {QStringLiteral("*=hang")});
    ASSERT_TRUE(hanging.IsRunning()) << hanging.Error().toStdString();
    FailTwiceThenCancel(hanging.BaseUrl(), kNoEndpoint, [&] {
        return SiteRequests(hanging, QStringLiteral("/update/tvh_endpoint.txt"));
    });
}

// The endpoint file comes back as an error page.
TEST_F(E2eSiteFault, SiteErrorPage_RetryAsksAgainCancelKeepsCache)
{
    ASSERT_NO_FATAL_FAILURE(SyncedOnce());
    LocalSite failing(scene->SiteRoot(), {QStringLiteral("/update/=status:500")});
    ASSERT_TRUE(failing.IsRunning()) << failing.Error().toStdString();
    FailTwiceThenCancel(failing.BaseUrl(), kNoEndpoint, [&] {
        return SiteRequests(failing, QStringLiteral("/update/tvh_endpoint.txt"));
    });
    EXPECT_EQ(SiteRequests(failing, QStringLiteral("kvxta_user_ext_info")), 0);
}

// The endpoint file is fine, the profile service answers with an error page.
TEST_F(E2eSiteFault, ProfileErrorPage_RetryAsksAgainCancelKeepsCache)
{
    ASSERT_NO_FATAL_FAILURE(SyncedOnce());
    LocalSite failing(scene->SiteRoot(), {QStringLiteral("/kvxta_user_ext_info/=status:500")});
    ASSERT_TRUE(failing.IsRunning()) << failing.Error().toStdString();
    ASSERT_TRUE(WriteFile(scene->SiteRoot() + QStringLiteral("/update/tvh_endpoint.txt"),
                          failing.BaseUrl().toUtf8()));
    FailTwiceThenCancel(failing.BaseUrl(), QStringLiteral("获取用户扩展包信息失败！"), [&] {
        return SiteRequests(failing, QStringLiteral("/kvxta_user_ext_info/?u="));
    });
    EXPECT_EQ(SiteRequests(failing, QStringLiteral("/update/tvh_endpoint.txt")), 2);
}

// Olympus's checksum proves version 1.3.0.9 while the profile says 1.3.0, so
// its row shows failed: install-all tries it, records nothing and reports the
// failure.
TEST_F(E2e, InstallAllUnprovenPackage_ReportsFailureAndRecordsNothing)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_NO_FATAL_FAILURE(StartAndSync());
    ASSERT_TRUE(scene->KeyTo(main, QStringLiteral("alt+i")));
    EXPECT_NO_FATAL_FAILURE(Answer(QStringLiteral("提醒"), QStringLiteral("部分扩展包安装失败！"),
                                   QStringLiteral("Return"), QStringLiteral("install-all")));
    EXPECT_EQ(Setting(QStringLiteral("Tovarinth/olympus")), QString());
    EXPECT_FALSE(InstalledDatabase().contains(QStringLiteral("olympus")));
}

// Canon 1.4.0 is installed and 1.5.0 waits on the hub (to update). Installing
// nikon keeps canon's models in the installed database and its setting.
TEST_F(E2e, InstallOne_KeepsOutdatedPackageInDatabase)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_NO_FATAL_FAILURE(StartAndSync());
    ASSERT_EQ(InstalledDatabase().value(QStringLiteral("canon")),
              DemoModelCount(QStringLiteral("canon")));
    ASSERT_NO_FATAL_FAILURE(ContextMenu(QStringLiteral("nikon"), QStringLiteral("i")));
    ASSERT_NO_FATAL_FAILURE(Answer(QStringLiteral("提示"),
                                   QStringLiteral("成功安装 尼康 Nikon 2026 扩展包！"),
                                   QStringLiteral("Return"), QStringLiteral("installed-nikon")));
    EXPECT_EQ(InstalledDatabase().value(QStringLiteral("canon")),
              DemoModelCount(QStringLiteral("canon")));
    EXPECT_EQ(Setting(QStringLiteral("Tovarinth/canon")), QStringLiteral("1.4.0"));
    ASSERT_NO_FATAL_FAILURE(Close());
}

} // namespace
