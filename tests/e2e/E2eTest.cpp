// The real program as a user meets it: on a virtual display (ctest runs this
// program under xvfb-run), against the local vendor site, driven by clicks and
// keys through xdotool, its message boxes answered with keys. Only what window
// tests cannot show: a whole installation, a sync fault and its Retry,
// start-up refused, Qt's own command-line switches ignored, and second starts
// on the same program folder. Each test's world and screenshots stay in
// worlds/<test>/ of this build folder.

#include "crypto/Envelope.h"
#include "startup/JsonNode.h"
#include "support/LocalSite.h"
#include "support/TestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSettings>
#include <QThread>
#include <gmock/gmock.h>
#include <unistd.h>

namespace {

using namespace Qt::StringLiterals;
using ::testing::AnyOf;
using ::testing::HasSubstr;
using ::testing::Not;

const QString kMainTitle = u"Kestrovia Morvelin扩展包管理器"_s;
constexpr int kWaitMs = 30000; // a window, the sync or the exit, in a sanitizer build
// Pixel columns while the main window sits at (0,0): the left of "型号数量"
// (its counts are right-aligned) and the "状态" column.
constexpr int kProbeX = 380, kStatusLeft = 462, kStatusWidth = 186;
// nikon is the third of the account's eight packages, which end the list.
constexpr int kNikonAboveLast = 5;

template <typename Condition> bool WaitFor(int ms, Condition condition)
{
    const QDeadlineTimer deadline(ms);
    for (; !condition(); QThread::msleep(100))
        if (deadline.hasExpired())
            return false;
    return true;
}

// The status colour of the text in rect: installed, pending or none (a few
// pixels of the exact colour are text, not anti-aliasing).
QString Colour(const QImage& image, const QRect& rect)
{
    QMap<QRgb, int> n;
    const QImage cell = image.copy(rect);
    for (int y = 0; y < cell.height(); ++y)
        for (int x = 0; x < cell.width(); ++x)
            ++n[cell.pixel(x, y)];
    const int green = n[qRgb(0, 128, 0)], orange = n[qRgb(217, 147, 0)];
    return green > 3 && green > orange ? u"green"_s : orange > 3 ? u"orange"_s : u"none"_s;
}

class E2e : public ::testing::Test
{
protected:
    const QString world = E2E_OUTPUT_DIR "/worlds/"_L1 +
                          ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const QString ini = world + u"/config/Kestrovia/Kestrovia.ini"_s;
    std::unique_ptr<LocalSite> site;
    QProcess manager;
    QString main; // the main window's id
    int nikonY = 0;
    QImage box; // the last message box answered

    void SetUp() override
    {
        QDir(world).removeRecursively();
        QDir().mkpath(world + u"/site"_s);
        site = std::make_unique<LocalSite>(world + u"/site"_s);
        ASSERT_TRUE(site->IsRunning()) << site->Error().toStdString();
        ASSERT_TRUE(Run(TOVARINTH_VENDOR_TOOL,
                        {"demo-world", "--data", TOVARINTH_DEMO_DATA, "--world", world, "--url",
                         site->BaseUrl(), "--manager", E2E_MANAGER}));
    }
    void TearDown() override { manager.kill(), manager.waitForFinished(); }

    QProcessEnvironment Environment(const QString& vendorUrl = {}) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_CONFIG_HOME"_s, world + u"/config"_s);
        // This program runs offscreen, the manager on the display; without
        // the accessibility bus, which only delays start-up.
        env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        env.insert(u"NO_AT_BRIDGE"_s, u"1"_s);
        env.insert(u"TOVARINTH_VENDOR_URL"_s, vendorUrl);
        env.insert(u"TOVARINTH_TRACE_FILE"_s, world + u"/trace.txt"_s);
        return env;
    }

    // A helper program (demo-world, xdotool, import): true when it ends well within 15 s.
    bool Run(const QString& program, const QStringList& args, QByteArray* out = nullptr) const
    {
        QProcess process;
        process.setProcessEnvironment(Environment());
        process.start(program, args);
        const bool ok = process.waitForFinished(15000) &&
                        process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
        if (out)
            *out = process.readAllStandardOutput();
        return ok;
    }

    bool Start(const QString& vendorUrl, const QStringList& args = {})
    {
        QFile::remove(world + u"/trace.txt"_s);
        manager.setProcessEnvironment(Environment(vendorUrl));
        manager.setProcessChannelMode(QProcess::MergedChannels);
        manager.setStandardOutputFile(world + u"/manager.log"_s);
        manager.start(world + u"/editor/tovarinth"_s, args);
        return manager.waitForStarted();
    }
    std::string Log() const { return ReadFile(world + u"/manager.log"_s).toStdString(); }

    // The last run's trace, one event each; message boxes as "title: text".
    QStringList Events() const
    {
        QStringList events; // "message-box:TITLE:TEXT <ms> <ms>", percent-encoded
        for (const QByteArray& line : ReadFile(world + u"/trace.txt"_s).split('\n')) {
            const QList<QByteArray> p = line.split(' ').first().split(':');
            events << QString::fromUtf8(p[0] == "message-box"
                                            ? QByteArray::fromPercentEncoding(p.value(1)) + ": " +
                                                  QByteArray::fromPercentEncoding(p.value(2))
                                            : p[0]);
        }
        return events;
    }
    bool Synced() const
    {
        return WaitFor(kWaitMs, [&] { return Events().contains(u"sync-done"_s); });
    }

    // The visible window titled exactly so, waiting up to ms; empty when none.
    QString Window(const QString& title, int ms) const
    {
        QByteArray ids;
        WaitFor(ms, [&] {
            return Run(u"xdotool"_s, {"search", "--onlyvisible", "--name", '^' + title + '$'},
                       &ids);
        });
        return QString::fromLatin1(ids).section(u'\n', 0, 0);
    }
    // Without a window manager nobody gives the focus back after a message
    // box: it is set before every key.
    bool Key(const QString& id, const QString& keys) const
    {
        return Run(u"xdotool"_s, {"windowfocus", id, "key", "--clearmodifiers", keys});
    }
    bool Click(int x, int y, int repeat = 1) const
    {
        QThread::msleep(500); // clicks closer than 400 ms would make a double click
        return Run(u"xdotool"_s, {"mousemove", QString::number(x), QString::number(y), "click",
                                  "--repeat", QString::number(repeat), "--delay", "80", "1"});
    }
    QImage Shot(const QString& step) const
    {
        const QString file = world + u"/%1.png"_s.arg(step);
        Run(u"import"_s, {"-window", "root", file});
        return QImage(file).convertToFormat(QImage::Format_RGB32);
    }

    // Selects the last row (a click into the list, then End), which scrolls
    // the account's rows into view, and gives the colour of nikon's status
    // (nikonY: its row). The list takes no clicks while it is busy, so this
    // also waits for work to end.
    QString NikonStatus(const QString& step)
    {
        QImage shot;
        int top = 0, height = 0;
        WaitFor(kWaitMs, [&] {
            Click(kProbeX, 120);
            Key(main, u"End"_s);
            shot = Shot(step);
            // The selected row is the band of the style's blue highlight, low in the list.
            const auto blue = [&](int y) {
                const QRgb p = shot.pixel(kProbeX, y);
                return qBlue(p) > 120 && qBlue(p) - qRed(p) > 60;
            };
            for (top = 200; top < shot.height() && !blue(top); ++top) {
            }
            for (height = 0; top + height < shot.height() && blue(top + height); ++height) {
            }
            return height >= 12;
        });
        nikonY = top - kNikonAboveLast * height + height / 2;
        return Colour(shot, QRect(kStatusLeft, nikonY - height / 2 + 2, kStatusWidth, height - 4));
    }

    // Waits for a message box titled so, keeps its picture (box) and answers it with Return, its
    // default button (again when the first came before the box had the focus).
    void Answer(const QString& title, const QString& step)
    {
        const QString id = Window(title, kWaitMs);
        ASSERT_FALSE(id.isEmpty()) << "no message box " << title.toStdString() << "\n" << Log();
        QThread::msleep(500); // mapped is not yet painted
        box = Shot(step);
        const auto gone = [&](int ms) {
            return WaitFor(ms, [&] { return Window(title, 0) != id; });
        };
        ASSERT_TRUE(Key(id, u"Return"_s));
        if (!gone(3000))
            Key(id, u"Return"_s);
        ASSERT_TRUE(gone(5000)) << "the message box stayed";
    }

    // The manager ends by itself, with code 0 and no sanitizer report.
    void ExpectEnds()
    {
        ASSERT_TRUE(manager.waitForFinished(kWaitMs)) << "the manager did not end";
        EXPECT_EQ(manager.exitStatus() == QProcess::NormalExit ? manager.exitCode() : -1, 0);
        EXPECT_THAT(Log(), Not(AnyOf(HasSubstr("Sanitizer"), HasSubstr("runtime error"))));
    }
};

// nikon, bought and on the hub, is double-clicked and Yes answered: its
// archive comes from the site, is unpacked and recorded, the success message
// shows and the row turns from pending to installed.
TEST_F(E2e, DoubleClickInstall_DownloadsUnpacksRecordsAndRowTurnsInstalled)
{
    ASSERT_TRUE(Start(site->BaseUrl()));
    main = Window(kMainTitle, kWaitMs);
    ASSERT_TRUE(!main.isEmpty() && Synced()) << Log();
    const QString profile = world + u"/site/kvxta_user_ext_info/demo.photographer"_s;
    const JsonNode nikon = JsonNode::parse(ReadFile(profile)).value().Item(u"extensions"_s).Item(3);
    ASSERT_EQ(nikon.Item(u"name"_s).text(), u"nikon"_s);
    const QString checksum = nikon.Item(u"checksum"_s).text();

    EXPECT_EQ(NikonStatus(u"before"_s), u"orange"_s);
    ASSERT_TRUE(Click(kProbeX, nikonY, 2));
    ASSERT_NO_FATAL_FAILURE(Answer(u"安装扩展包"_s, u"ask"_s));
    ASSERT_NO_FATAL_FAILURE(Answer(u"提示"_s, u"installed"_s));
    EXPECT_EQ(Events().filter(u": "_s),
              QStringList({u"安装扩展包: 是否安装 尼康 Nikon 2026 型号扩展包？"_s,
                           u"提示: 成功安装 尼康 Nikon 2026 扩展包！"_s}));
    EXPECT_EQ(NikonStatus(u"after"_s), u"green"_s);

    // The site's archive is kept and unpacked, and the package recorded in
    // the database (this computer's key) and the settings.
    const QString editor = world + u"/editor/"_s;
    EXPECT_EQ(ReadFile(editor + u"Downloads/%1.Z"_s.arg(checksum)),
              ReadFile(world + u"/site/hub/%1.Z"_s.arg(checksum)));
    EXPECT_TRUE(ReadEnvelopeFile(editor + u"Packages/%1/extension.cfg"_s.arg(checksum), false));
    const std::optional<JsonNode> db =
        JsonNode::parse(ReadEnvelopeFile(editor + u"extdb.cfg"_s, true).value_or(""));
    const std::optional<JsonNode> models =
        JsonNode::parse(ReadFile(TOVARINTH_DEMO_DATA "/packages/nikon.json"_L1));
    ASSERT_TRUE(db && models);
    EXPECT_EQ(db->Item(u"nikon"_s).count(), models->count());
    EXPECT_EQ(QSettings(ini, QSettings::IniFormat).value(u"Tovarinth/nikon"_s), u"1.2.0"_s);
    ASSERT_TRUE(Key(main, u"alt+x"_s));
    ExpectEnds();
}

// The profile service answers 500 during the sync: the user sees the failure
// with Retry and Cancel; Retry, once the service is back, syncs again and the
// account's rows show.
TEST_F(E2e, ProfileServiceError_MessageThenRetrySyncs)
{
    LocalSite failing(world + u"/site"_s, {u"/kvxta_user_ext_info/=status:500"_s});
    ASSERT_TRUE(failing.IsRunning()) << failing.Error().toStdString();
    const QString endpoint = world + u"/site/update/tvh_endpoint.txt"_s;
    ASSERT_TRUE(WriteFile(endpoint, failing.BaseUrl().toUtf8()));
    ASSERT_TRUE(Start(site->BaseUrl()));
    main = Window(kMainTitle, kWaitMs);
    ASSERT_FALSE(Window(u"错误"_s, kWaitMs).isEmpty()) << Log();
    ASSERT_TRUE(WriteFile(endpoint, site->BaseUrl().toUtf8()));
    ASSERT_NO_FATAL_FAILURE(Answer(u"错误"_s, u"failed"_s));
    ASSERT_TRUE(Synced()) << Log();
    EXPECT_EQ(NikonStatus(u"retried"_s), u"orange"_s);
    EXPECT_EQ(Events().filter(u": "_s), QStringList({u"错误: 获取用户扩展包信息失败！"_s}));
    EXPECT_EQ(failing.LogLines().filter(u"/kvxta_user_ext_info/"_s).size(), 1);
    EXPECT_EQ(site->LogLines().filter(u"/kvxta_user_ext_info/"_s).size(), 1);
}

// Without the editor's path start-up stops at one message and no main
// window, and the process ends when it is answered. Qt's own switches change
// nothing: the message box looks the same with them.
TEST_F(E2e, NoEditor_OneMessageAndNoWindow_QtSwitchesIgnored)
{
    QSettings(ini, QSettings::IniFormat).remove(u"AppInfo/Editor"_s);
    QImage plain;
    for (const QStringList& args :
         {QStringList(), QStringList({"-reverse"}), QStringList({"-style", "windows"}),
          QStringList({"-platform", "offscreen"})}) {
        SCOPED_TRACE(args.join(u' ').toStdString());
        ASSERT_TRUE(Start(site->BaseUrl(), args));
        ASSERT_FALSE(Window(u"提示"_s, kWaitMs).isEmpty()) << Log();
        EXPECT_TRUE(Window(kMainTitle, 0).isEmpty());
        EXPECT_EQ(Events().filter(u": "_s),
                  QStringList({u"提示: 未找到 Kestrovia 元数据编辑器！"_s}));
        ASSERT_NO_FATAL_FAILURE(Answer(u"提示"_s, "box" + args.join(QString())));
        plain = plain.isNull() ? box : plain;
        EXPECT_TRUE(!box.isNull() && box == plain) << "the message box differs from the plain run";
        ExpectEnds();
    }
    EXPECT_TRUE(site->LogLines().isEmpty());
}

// A second start on the same program folder opens no window of its own: it
// brings the first one's window to the front and ends. A first start killed
// outright leaves its lock file behind, and the next start opens all the same.
TEST_F(E2e, SecondStart_RaisesTheFirstAndEnds_KilledFirstDoesNotBlock)
{
    ASSERT_TRUE(Start(site->BaseUrl()));
    main = Window(kMainTitle, kWaitMs);
    QProcess cover, second; // cover: another program's window over it, as the editor's would be
    cover.start(u"xmessage"_s, {"-geometry", "1000x700+0+0", "Kestrovia"});
    const QString editor = Window(u"xmessage"_s, kWaitMs);
    const auto mainInFront = [&] { // the root's children are listed top first
        QByteArray tree;
        const auto at = [&](const QString& id) {
            return tree.indexOf("0x" + QByteArray::number(id.toULongLong(), 16) + ' ');
        };
        return Run(u"xwininfo"_s, {"-root", "-children"}, &tree) && at(main) < at(editor);
    };
    ASSERT_TRUE(!main.isEmpty() && !editor.isEmpty() && !mainInFront()) << Log();
    second.setProcessEnvironment(Environment(site->BaseUrl()));
    second.start(world + u"/editor/tovarinth"_s);
    EXPECT_TRUE(second.waitForFinished(kWaitMs) && second.exitCode() == 0) << "no end, or failed";
    EXPECT_TRUE(WaitFor(kWaitMs, mainInFront)) << "not in front";
    EXPECT_TRUE(Events().contains(u"raised"_s) && Events().filter(u": "_s).isEmpty());
    cover.kill(), cover.waitForFinished();

    manager.kill(); // SIGKILL: its lock file stays
    ASSERT_TRUE(manager.waitForFinished() && QFile::exists(world + u"/editor/tovarinth.lock"_s));
    ASSERT_TRUE(Start(site->BaseUrl()));
    EXPECT_FALSE((main = Window(kMainTitle, kWaitMs)).isEmpty()) << Log();
    // The lock of another user's manager (root can give it away): a message says whose.
    if (chown(qPrintable(world + u"/editor/tovarinth.lock"_s), 65534, 65534) == 0) {
        second.start(world + u"/editor/tovarinth"_s);
        ASSERT_NO_FATAL_FAILURE(Answer(u"提示"_s, u"other-user"_s));
        EXPECT_TRUE(second.waitForFinished(kWaitMs) && Window(kMainTitle, 0) == main);
        EXPECT_EQ(Events().filter(u": "_s),
                  QStringList(u"提示: 扩展包管理器正由用户 nobody 使用，请在其关闭后重试"_s));
    }
}

} // namespace
