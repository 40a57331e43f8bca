#include "startup/Settings.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSysInfo>
#include <QThread>
#include <gtest/gtest.h>

namespace {
QString Ini()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME") + "/Kestrovia/Kestrovia.ini";
}
} // namespace

TEST(Settings, PlainTextValuesOtherWritersLocksAndDamage)
{
    const QString odd = QString::fromUtf8("a,b \"q\" =x 中文 "), cjk = QString::fromUtf8("中文");
    QDir().mkpath(QFileInfo(Ini()).path());
    ASSERT_TRUE(WriteFile(Ini(), "\xEF\xBB\xBF[AppInfo]\nEditor=/opt/Kestrovia, Inc/editor.exe\r\n"
                                 "UserName=a,b \"q\" =x 中文 \n  Spaced key =  kept  \n"
                                 "UserName=second\n[ Tovarinth ]\nnot a line\n"));
    // clang-format off
    const std::tuple<QString, QString, QString> read[] = {
        {Settings::AppInfo, "Editor", "/opt/Kestrovia, Inc/editor.exe"},
        {Settings::AppInfo, "UserName", odd}, {Settings::AppInfo, "Spaced key", "  kept  "},
        {Settings::Tovarinth, "not a line", "<none>"}, {Settings::Tovarinth, "Editor", "<none>"}};
    // clang-format on
    for (const auto& [section, key, want] : read)
        EXPECT_EQ(Settings::Read(section, key, "<none>"), want) << key.toStdString();

    // What we write reads back unchanged, through us and as a plain "key=value" line.
    for (const QString& value : {odd, QString("/opt/K, Inc/e.exe"), QString(), QString("=")}) {
        ASSERT_TRUE(Settings::Write(Settings::Tovarinth, cjk, value)) << value.toStdString();
        EXPECT_EQ(Settings::Read(Settings::Tovarinth, cjk, "<none>"), value);
        EXPECT_TRUE(ReadFile(Ini()).contains(QString('\n' + cjk + '=' + value + '\n').toUtf8()));
    }
    // What would not read back as written is refused, and the file stays as it was.
    const QByteArray before = ReadFile(Ini());
    // clang-format off
    const std::pair<QString, QString> refused[] = {{"UserName", "a\nb"}, {"UserName", "a\rb"},
        {"UserName", QString::fromUtf16(u"a\0b", 3)}, {"a=b", "v"}, {" padded", "v"}, {"[x", "v"}};
    // clang-format on
    for (const auto& [key, value] : refused)
        EXPECT_FALSE(Settings::Write(Settings::AppInfo, key, value)) << key.toStdString();
    EXPECT_EQ(ReadFile(Ini()), before);
    EXPECT_TRUE(Settings::Delete("Tovarinth", cjk) && Settings::Read("Tovarinth", cjk).isNull());

    ASSERT_TRUE(Settings::Write(Settings::Tovarinth, "nikon", "2.0.1"));
    ASSERT_EQ(RunProcess("sed", {"-i", "s/^nikon=2.0.1$/nikon=2.0.2/", Ini()}).exitCode, 0);
    EXPECT_EQ(Settings::Read(Settings::Tovarinth, "nikon"), "2.0.2") << "seen at once";
    const QDateTime modified = QFileInfo(Ini()).lastModified();
    QThread::msleep(20);
    EXPECT_TRUE(Settings::Write(Settings::Tovarinth, "nikon", "2.0.2"));
    EXPECT_EQ(QFileInfo(Ini()).lastModified(), modified) << "storing what it holds leaves it";

    QProcess holder; // a live process holds the lock, as Qt's lock files record it
    holder.start("sleep", {"30"});
    ASSERT_TRUE(holder.waitForStarted());
    ASSERT_TRUE(WriteFile(Ini() + ".lock", QByteArray::number(holder.processId()) + "\nsleep\n" +
                                               QSysInfo::machineHostName().toUtf8() + "\n"));
    const qint64 start = QDateTime::currentMSecsSinceEpoch();
    EXPECT_FALSE(Settings::Write(Settings::Tovarinth, "nikon", "2.0.3"));
    EXPECT_FALSE(Settings::Delete(Settings::Tovarinth, "nikon"));
    EXPECT_LT(QDateTime::currentMSecsSinceEpoch() - start, 2000) << "no wait for the editor";
    holder.kill();
    holder.waitForFinished();
    EXPECT_TRUE(Settings::Write(Settings::Tovarinth, "nikon", "2.0.3")) << "a stale lock";
    QFile empty(Ini() + ".lock"); // its writer died before it wrote into it
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.setFileTime(QDateTime::currentDateTime().addSecs(-1), QFileDevice::FileModificationTime);
    empty.close();
    EXPECT_TRUE(Settings::Write(Settings::Tovarinth, "nikon", "2.0.5")) << "an empty lock";
    ASSERT_TRUE(WriteFile(Ini(), PseudoRandomBytes(4096, 7))); // damaged: defaults, writable
    EXPECT_EQ(Settings::Read(Settings::Tovarinth, "nikon", "dflt"), "dflt");
    EXPECT_TRUE(Settings::Write(Settings::Tovarinth, "nikon", "2.0.4"));
}
