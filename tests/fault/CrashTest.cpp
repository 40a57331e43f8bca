// Kills the writers of the program's files at every rename and at random
// moments, and checks that what is left is the old state or the new one,
// both readable, and that a package is installed and recorded completely or
// not at all.

#include "../unit/catalogue/SiteFixture.h"

#include <QProcess>
#include <QRandomGenerator>
#include <functional>
#include <unistd.h>

namespace {

struct ChildRun
{
    int exitCode = -1;
    bool killed = false;
    QByteArray out;
};

// Runs the writer; crashAt 0 runs it to its end. wrapper: a command that
// runs it (a lower file-size limit, another user).
ChildRun Crashee(const QStringList& args, int crashAt = 0, const char* when = "before",
                 int killAfterMs = 0, const QStringList& wrapper = {})
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("CRASH_AT", QString::number(crashAt));
    env.insert("CRASH_WHEN", when);
    child.setProcessEnvironment(env);
    if (wrapper.isEmpty())
        child.start(QStringLiteral(TOVARINTH_CRASHEE), args);
    else
        child.start(wrapper.first(),
                    wrapper.mid(1) + QStringList{QStringLiteral(TOVARINTH_CRASHEE)} + args);
    ChildRun run;
    if (!child.waitForStarted(10000))
        return run;
    if (killAfterMs > 0 && !child.waitForFinished(killAfterMs))
        child.kill();
    child.waitForFinished(60000);
    run.killed = child.exitStatus() == QProcess::CrashExit;
    run.exitCode = run.killed ? -1 : child.exitCode();
    run.out = child.readAllStandardOutput();
    return run;
}

// The number of renames a complete run makes from the state reset() leaves.
int RenamesOf(const QStringList& args, const std::function<void()>& reset)
{
    for (int n = 1; n < 200; ++n) {
        reset();
        if (!Crashee(args, n).killed)
            return n - 1;
    }
    return -1;
}

} // namespace

class CrashTest : public SiteTest
{
protected:
    QString ExtdbText() const
    {
        const ByteArray plain = ReadEnvelopeFile(process.ProgramFolder + "/extdb.cfg", true);
        return plain ? QString::fromUtf8(*plain).remove(QChar(0)) : QString("<unreadable>");
    }
    QString CacheText() const
    {
        const ByteArray plain = ReadEnvelopeFile(process.ProgramFolder + "/extcache.cfg", false);
        return plain ? QString::fromUtf8(*plain).remove(QChar(0)) : QString("<unreadable>");
    }
};

TEST_F(CrashTest, InstalledDatabaseIsOldOrNewAtEveryKill)
{
    const QStringList args{"extdb", process.ProgramFolder, "2"};
    const auto reset = [&] { QFile::remove(process.ProgramFolder + "/extdb.cfg"); };
    const int renames = RenamesOf(args, reset);
    ASSERT_GT(renames, 0);
    const QStringList states{"", R"({"a":[1]})", R"({"b":[2,2]})"};
    for (int n = 1; n <= renames; ++n) {
        for (const char* when : {"before", "after"}) {
            reset();
            const ChildRun run = Crashee(args, n, when);
            EXPECT_TRUE(run.killed) << n << when;
            const QString text =
                QFile::exists(process.ProgramFolder + "/extdb.cfg") ? ExtdbText() : QString();
            EXPECT_TRUE(states.contains(text)) << n << when << ": " << text.toStdString();
        }
    }
    // Random moments in a longer run.
    for (int i = 0; i < 8; ++i) {
        Crashee({"extdb", process.ProgramFolder, "400"}, 0, "before",
                20 + QRandomGenerator::global()->bounded(300));
        EXPECT_TRUE(states.contains(ExtdbText())) << ExtdbText().toStdString();
    }
}

TEST_F(CrashTest, CatalogueCacheIsOldOrNewAtEveryKill)
{
    StartSite();
    ASSERT_TRUE(WriteFile(SiteRoot() + "/update/tvh_endpoint.txt", site->BaseUrl().toUtf8()));
    const QStringList args{"cache", process.ProgramFolder, "2", SiteRoot(), "crash.tester"};
    const QString a = R"({"id":"crash.tester","extensions":[{"name":"p","count":1}]})";
    const QString b = R"({"id":"crash.tester","extensions":[{"name":"p","count":2}]})";
    const auto reset = [&] {
        QFile::remove(process.ProgramFolder + "/extcache.cfg");
        QFile::remove(process.ProgramFolder + "/extcache.tmp");
    };
    const int renames = RenamesOf(args, reset);
    ASSERT_GT(renames, 0);
    for (int n = 1; n <= renames; ++n) {
        for (const char* when : {"before", "after"}) {
            reset();
            const ChildRun run = Crashee(args, n, when);
            EXPECT_TRUE(run.killed);
            if (QFile::exists(process.ProgramFolder + "/extcache.cfg")) {
                const QString text = CacheText();
                EXPECT_TRUE(text == a || text == b) << n << when << ": " << text.toStdString();
            }
        }
    }
    // A complete run after a crash replaces the cache; a leftover temporary
    // file is never taken for the cache.
    ASSERT_TRUE(WriteFile(process.ProgramFolder + "/extcache.tmp", "half-written"));
    EXPECT_EQ(Crashee(args).exitCode, 0);
    EXPECT_EQ(CacheText(), b);
}

TEST_F(CrashTest, InstallationIsCompleteOrAbsentAtEveryKill)
{
    StartSite();
    const QString c = Pack("canon", "1.2.0");
    const QStringList args{"install", process.ProgramFolder, c, site->Url("/hub")};
    const QByteArray archive = ReadFile(SiteRoot() + "/hub/" + c + ".Z");
    // Every run starts from nothing, the version in the settings included:
    // a value already stored is not written again, which would leave one
    // rename fewer to kill at.
    const auto reset = [&] {
        QDir(process.ProgramFolder).removeRecursively();
        QDir().mkpath(process.ProgramFolder);
        Settings::Delete(Settings::Tovarinth, "canon");
    };
    const int renames = RenamesOf(args, reset);
    ASSERT_GT(renames, 2) << "download, unpacking and the database each put a file in place";
    const QString recorded = R"({"canon":[{"name":"M1"},{"name":"M2"}]})";
    for (int n = 1; n <= renames; ++n) {
        for (const char* when : {"before", "after"}) {
            reset();
            const ChildRun run = Crashee(args, n, when);
            EXPECT_TRUE(run.killed) << n << when;
            const QString where = QStringLiteral("rename %1 %2").arg(n).arg(when);
            // The archive is whole or absent.
            if (QFile::exists(catalogue.ArchivePath(c))) {
                EXPECT_EQ(ReadFile(catalogue.ArchivePath(c)), archive) << where.toStdString();
            }
            // The descriptor is whole or absent; recorded only when it is there.
            const bool unpacked = QFile::exists(catalogue.DescriptorPath(c));
            if (unpacked) {
                EXPECT_EQ(ReadFile(catalogue.DescriptorPath(c)).size() % 16, 0)
                    << where.toStdString();
            }
            const bool inDb = QFile::exists(process.ProgramFolder + "/extdb.cfg");
            if (inDb) {
                EXPECT_EQ(ExtdbText(), recorded) << where.toStdString();
                EXPECT_TRUE(unpacked) << where.toStdString();
            }
            // Whatever was left, the next installation completes it.
            EXPECT_EQ(Crashee(args).exitCode, 0) << where.toStdString();
            EXPECT_EQ(ExtdbText(), recorded) << where.toStdString();
            EXPECT_EQ(ReadFile(catalogue.ArchivePath(c)), archive) << where.toStdString();
        }
    }
}

TEST_F(CrashTest, FullDiskOrReadOnlyFolderLeavesFilesAsTheyWere)
{
    // A database of one member is on disk; the writer then writes bigger ones.
    ASSERT_EQ(Crashee({"extdb", process.ProgramFolder, "1"}).exitCode, 0);
    const QByteArray before = ReadFile(process.ProgramFolder + "/extdb.cfg");
    const ChildRun full =
        Crashee({"extdb", process.ProgramFolder, "2"}, 0, "before", 0, {"prlimit", "--fsize=8"});
    EXPECT_EQ(full.exitCode, 3) << "the save reports the failure";
    EXPECT_EQ(ReadFile(process.ProgramFolder + "/extdb.cfg"), before);

    // A folder the user may not write (root may write anywhere: run as nobody).
    if (geteuid() == 0) {
        QFile::setPermissions(process.ProgramFolder, QFile::ReadOwner | QFile::WriteOwner |
                                                         QFile::ExeOwner | QFile::ReadOther |
                                                         QFile::ExeOther);
        QFile::setPermissions(root.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                               QFile::ReadOther | QFile::ExeOther);
        const ChildRun denied =
            Crashee({"extdb", process.ProgramFolder, "2"}, 0, "before", 0,
                    {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
        EXPECT_EQ(denied.exitCode, 3);
        EXPECT_EQ(ReadFile(process.ProgramFolder + "/extdb.cfg"), before);
    }
}
