#include "startup/Settings.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSysInfo>
#include <QThread>
#include <gtest/gtest.h>

namespace {
QString IniPath()
{
    return QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).filePath("Kestrovia/Kestrovia.ini");
}
} // namespace

TEST(Settings, ReadsDefaultsAndWritesAndDeletes)
{
    EXPECT_EQ(Settings::Read(Settings::AppInfo, "Missing", "dflt"), "dflt");
    ASSERT_TRUE(Settings::Write(Settings::AppInfo, "Editor", "/opt/kestrovia/Kestrovia.exe"));
    EXPECT_EQ(Settings::Read(Settings::AppInfo, "Editor"), "/opt/kestrovia/Kestrovia.exe");
    ASSERT_TRUE(Settings::Write(Settings::Tovarinth, QString::fromUtf16(u"佳能"), "1.2.0"));
    EXPECT_EQ(Settings::Read(Settings::Tovarinth, QString::fromUtf16(u"佳能"), "x"), "1.2.0");
    ASSERT_TRUE(Settings::Delete(Settings::Tovarinth, QString::fromUtf16(u"佳能")));
    EXPECT_EQ(Settings::Read(Settings::Tovarinth, QString::fromUtf16(u"佳能"), "gone"), "gone");
    EXPECT_TRUE(QFile::exists(IniPath()));
}

TEST(Settings, AnotherProcessSeesOurWritesAndWeSeeItsWrites)
{
    ASSERT_TRUE(Settings::Write(Settings::Tovarinth, "nikon", "2.0.1"));
    // A shell stands for the editor: it reads the store as plain INI text...
    const ProcessResult seen =
        RunProcess("/bin/sh", {"-c", "sed -n '/^\\[Tovarinth\\]/,/^\\[/p' \"$0\"", IniPath()});
    EXPECT_TRUE(seen.out.contains("nikon=2.0.1")) << seen.out.toStdString();

    // ...and changes it; our next read sees the change at once.
    const ProcessResult wrote =
        RunProcess("/bin/sh", {"-c", "sed -i 's/^nikon=2.0.1$/nikon=2.0.2/' \"$0\"", IniPath()});
    ASSERT_EQ(wrote.exitCode, 0);
    EXPECT_EQ(Settings::Read(Settings::Tovarinth, "nikon"), "2.0.2");
}

TEST(Settings, DamagedOrHalfWrittenFileGivesDefaults)
{
    QDir().mkpath(QFileInfo(IniPath()).path());
    ASSERT_TRUE(WriteFile(
        IniPath(), QByteArray("[AppInfo]\nUserName=alice\n[Tovari\xFF\x00\x01garbage=", 39)));
    EXPECT_EQ(Settings::Read(Settings::AppInfo, "UserName", "none"), "alice");
    EXPECT_EQ(Settings::Read(Settings::Tovarinth, "canon", "1.0"), "1.0");
    ASSERT_TRUE(WriteFile(IniPath(), PseudoRandomBytes(4096, 7)));
    EXPECT_EQ(Settings::Read(Settings::AppInfo, "Editor", "dflt"), "dflt");
    // Writing over a damaged file works and leaves a store that reads back.
    EXPECT_TRUE(Settings::Write(Settings::AppInfo, "Tovarinth", "/x/tovarinth"));
    EXPECT_EQ(Settings::Read(Settings::AppInfo, "Tovarinth"), "/x/tovarinth");
}

TEST(Settings, AValueAlreadyStoredLeavesTheFileAlone)
{
    ASSERT_TRUE(Settings::Write(Settings::AppInfo, "TovarinthVersion", "0180"));
    const QFileInfo before(IniPath());
    const QDateTime modified = before.lastModified();
    const QByteArray bytes = ReadFile(IniPath());
    QThread::msleep(20);
    EXPECT_TRUE(Settings::Write(Settings::AppInfo, "TovarinthVersion", "0180"));
    EXPECT_EQ(QFileInfo(IniPath()).lastModified(), modified);
    EXPECT_EQ(ReadFile(IniPath()), bytes);
    EXPECT_TRUE(Settings::Write(Settings::AppInfo, "TovarinthVersion", "0181"));
    EXPECT_EQ(Settings::Read(Settings::AppInfo, "TovarinthVersion"), "0181");
    // An empty value is stored, not taken for a missing one.
    EXPECT_TRUE(Settings::Write(Settings::AppInfo, "UserName", ""));
    EXPECT_TRUE(ReadFile(IniPath()).contains("UserName="));
}

TEST(Settings, LockHeldByAnotherProgramSkipsTheWriteQuickly)
{
    ASSERT_TRUE(Settings::Write(Settings::AppInfo, "Tovarinth", "/before"));
    // Another live process holds the store's lock, as Qt's lock files record
    // it: process id, program name, host name.
    QProcess holder;
    holder.start("sleep", {"30"});
    ASSERT_TRUE(holder.waitForStarted());
    const QString lockPath = IniPath() + ".lock";
    ASSERT_TRUE(WriteFile(lockPath, QByteArray::number(holder.processId()) + "\nsleep\n" +
                                        QSysInfo::machineHostName().toUtf8() + "\n"));
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_FALSE(Settings::Write(Settings::AppInfo, "Tovarinth", "/after"));
    EXPECT_TRUE(Settings::Write(Settings::AppInfo, "Tovarinth", "/before"))
        << "a value the store already holds needs no lock";
    EXPECT_FALSE(Settings::Delete(Settings::AppInfo, "Tovarinth"));
    EXPECT_LT(elapsed.elapsed(), 2000) << "the window must not wait for the editor";
    EXPECT_EQ(Settings::Read(Settings::AppInfo, "Tovarinth"), "/before") << "reads need no lock";
    holder.kill();
    holder.waitForFinished();
    EXPECT_TRUE(Settings::Write(Settings::AppInfo, "Tovarinth", "/after"))
        << "a lock of a finished process is stale";
    EXPECT_EQ(Settings::Read(Settings::AppInfo, "Tovarinth"), "/after");
}
