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

TEST(Settings, AWriteOrDeleteChangesOneLineAndLeavesEveryOtherByte)
{
    const QByteArray file = "\xEF\xBB\xBF; Kestrovia\r\n[AppInfo]\r\nEditor=/opt/e.exe\r\n\r\n"
                            "; window\r\n[Window]\r\nMain View/geometry=9\r\n"
                            "[Window/Main View]\r\ngeometry=1\r\n";
    const QByteArray recent = "[Recent]\nfile=a.jpg\nfile=b.jpg\nnot a line\n[Tovarinth]\n";
    const QString none = "<none>";
    // The file before (none: no file, nor its folder) and after; section, key, what Read gives
    // then, and the value written (none: Delete).
    // clang-format off
    const std::tuple<std::optional<QByteArray>, QByteArray, QString, QString, QString,
                     std::optional<QString>> cases[] = {
        {file, QByteArray(file).replace("e.exe\r\n", "e.exe\r\nTovarinth=/opt/t\r\n"),
         "AppInfo", "Tovarinth", "/opt/t", "/opt/t"},
        {file, QByteArray(file).replace("y=1", "y=2"), "Window/Main View", "geometry", "2", "2"},
        {recent, QByteArray(recent).replace("a.jpg", "c.jpg"), "Recent", "file", "c.jpg", "c.jpg"},
        {recent, QByteArray(recent).replace("line\n", "line\nn=2\n"), "Recent", "n", "2", "2"},
        {recent, QByteArray(recent).replace("file=a.jpg\n", ""), "Recent", "file", "b.jpg", {}},
        {"[AppInfo]\r\nEditor=e", "[AppInfo]\r\nEditor=e\r\n[Tovarinth]\r\ncanon=1.2.0",
         "Tovarinth", "canon", "1.2.0", "1.2.0"},
        {{}, "[Tovarinth]\ncanon=1.2.0\n", "Tovarinth", "canon", "1.2.0", "1.2.0"},
        {"[AppInfo]\n User = a=b\n", "[AppInfo]\n User =x=y\n", "AppInfo", "User", "x=y", "x=y"},
        {"[Tovarinth]\n", "[Tovarinth]\n中文=a,b \"q\" =x 中文 \n", "Tovarinth", "中文",
         "a,b \"q\" =x 中文 ", "a,b \"q\" =x 中文 "},
        {"[Tovarinth]\r\ncanon=1\r\nnikon=2\r\n", "[Tovarinth]\r\nnikon=2\r\n", "Tovarinth",
         "canon", none, {}},
        {"; only\n", "; only\n", "Tovarinth", "canon", none, {}}};
    // clang-format on
    for (const auto& [before, after, section, key, reads, value] : cases) {
        const std::string what =
            (section + '/' + key + " on " + before.value_or("-")).toStdString();
        QDir(QFileInfo(Ini()).path()).removeRecursively();
        ASSERT_TRUE(!before ||
                    (QDir().mkpath(QFileInfo(Ini()).path()) && WriteFile(Ini(), *before)));
        const Settings::Snapshot snapshot; // which sees this process's writes at once all the same
        Settings::Read(section, key);
        EXPECT_TRUE(value ? Settings::Write(section, key, *value) : Settings::Delete(section, key))
            << what;
        EXPECT_EQ(ReadFile(Ini()).toStdString(), after.toStdString()) << what;
        EXPECT_EQ(Settings::Read(section, key, none), reads) << what;
    }
}

TEST(Settings, PlainTextValuesOtherWritersLocksAndDamage)
{
    const QString odd = QString::fromUtf8("a,b \"q\" =x 中文 ");
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

    // What would not read back as written is refused, and the file stays as it was.
    const QByteArray before = ReadFile(Ini());
    // clang-format off
    const std::tuple<QString, QString, QString> refused[] = {{"AppInfo", "UserName", "a\nb"},
        {"AppInfo", "UserName", "a\rb"}, {"AppInfo", "UserName", QString::fromUtf16(u"a\0b", 3)},
        {"AppInfo", "a=b", "v"}, {"AppInfo", " padded", "v"}, {"AppInfo", "[x", "v"},
        {"AppInfo ", "k", "v"}, {"", "k", "v"}, {"App\nInfo", "k", "v"}};
    // clang-format on
    for (const auto& [section, key, value] : refused)
        EXPECT_FALSE(Settings::Write(section, key, value)) << (section + '/' + key).toStdString();
    EXPECT_EQ(ReadFile(Ini()), before);

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
