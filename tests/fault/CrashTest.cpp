// Kills the writers of the program's files at every rename and at random
// moments, and runs them on a full disk and in a folder they may not write.
// Every file is always its old content or its new one, never half; an
// installation puts its files in place in order, so a later one is there
// only when the earlier ones are; a failure is reported and changes nothing;
// and a complete run afterwards always ends where an undisturbed one does.

#include "support/LocalSite.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

TEST(CrashTest, EveryFileIsOldOrNewAfterAKillAFullDiskOrAReadOnlyFolder)
{
    QTemporaryDir root;
    const QString site = root.filePath("site/"), folder = root.filePath("program/");
    const QString settings = qgetenv("XDG_CONFIG_HOME") + "/Kestrovia/Kestrovia.ini";
    QDir().mkpath(site + "kvxta_user_ext_info");
    QDir().mkpath(site + "update");
    LocalSite server(site);
    qputenv("TOVARINTH_VENDOR_URL", server.BaseUrl().toUtf8());
    WriteFile(site + "update/tvh_endpoint.txt", server.BaseUrl().toUtf8());
    for (const char* id : {"crash.tester0", "crash.tester1"}) // the accounts a sync alternates
        WriteFile(site + "kvxta_user_ext_info/" + id,
                  QByteArray(R"({"extensions":[{"name":"p","count":1}],"id":")") + id + "\"}");
    // The package to install, and the database of an earlier installation.
    WriteFile(root.filePath("models.json"), R"([{"name":"M1"},{"name":"M2"}])");
    RunVendor({"encrypt", "--key", "machine", root.filePath("models.json"), root.filePath("old")});
    const QString c = RunVendor({"pack", "--name", "canon", "--version", "1.2.0", "--models",
                                 root.filePath("models.json"), "--out", site + "update"})
                          .out.trimmed();
    // Each writer, run for two rounds: its arguments, and its files in the
    // order it puts them in place.
    const std::pair<QStringList, QStringList> writers[] = {
        {{"cache"}, {folder + "extcache.cfg"}},
        {{"install", c, server.Url("/update"), "canon", "1.2.0"},
         {folder + "Downloads/" + c + ".Z", folder + "Packages/" + c + "/extension.cfg",
          folder + "extdb.cfg", settings}}};
    // Another user may pass through the folders but not write them.
    ::chmod(QFile::encodeName(root.path()), 0755);
    for (const auto& [args, files] : writers) {
        // wrapper: a command that runs the writer (a file-size limit, another user, a kill).
        const auto run = [&](const QStringList& wrapper, int rounds) {
            const QStringList command =
                wrapper + QStringList{TOVARINTH_CRASHEE, folder, QString::number(rounds)} + args;
            return RunProcess(command.first(), command.mid(1));
        };
        const auto snapshot = [&] {
            QByteArrayList contents;
            for (const QString& file : files)
                contents << (QFile::exists(file) ? ReadFile(file) : "<absent>");
            return contents;
        };
        const auto reset = [&] { // the old database; settings the editor wrote
            QDir(folder).removeRecursively();
            QDir().mkpath(folder);
            QFile::copy(root.filePath("old"), folder + "extdb.cfg");
            QDir().mkpath(QFileInfo(settings).path());
            WriteFile(settings,
                      "\xEF\xBB\xBF; Kestrovia\r\n[AppInfo]\r\nEditor=/opt/K, Inc/e.exe\r\n"
                      "[Window/Main]\r\ngeometry=1\r\n");
            return snapshot();
        };
        // The valid states: before the first round and after each.
        std::vector<QByteArrayList> valid{reset()};
        ProcessResult whole;
        QElapsedTimer clock;
        for (int rounds = 1; rounds <= 2; ++rounds) {
            clock.start();
            whole = run({}, rounds);
            ASSERT_EQ(whole.exitCode, 0) << whole.err.toStdString();
            valid.push_back(snapshot());
            reset();
        }
        const int span = clock.elapsed(), renames = whole.out.split(' ').value(1).trimmed().toInt();
        ASSERT_GE(renames, files.size()) << "a rename puts each file in place";
        QList<QStringList> cases{{"prlimit", "--fsize=8"}}; // a full disk
        if (geteuid() == 0) // root may write anywhere, and run as another user
            cases.append({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
        for (int n = 1; n <= 2 * renames; ++n)
            cases.append({"env", QString("CRASH_AT=%1").arg((n + 1) / 2),
                          n % 2 ? "CRASH_WHEN=before" : "CRASH_WHEN=after"});
        for (int i = 0; i < 6; ++i)
            cases.append({"timeout", "-s", "KILL",
                          QString::number((1 + QRandomGenerator::global()->bounded(span)) / 1e3)});

        for (const QStringList& wrapper : cases) {
            const std::string where = (args[0] + " under " + wrapper.join(' ')).toStdString();
            const int exitCode = run(wrapper, 2).exitCode;
            const QByteArrayList left = snapshot();
            const bool fault = wrapper[0] == "prlimit" || wrapper[0] == "setpriv";
            EXPECT_TRUE(wrapper[0] != "env" || exitCode == -1) << where << ": not killed";
            EXPECT_TRUE(!fault || (exitCode == 3 && left == valid[0])) << where << ": " << exitCode;
            for (qsizetype f = 0; f < left.size(); ++f) {
                EXPECT_TRUE(std::any_of(valid.begin(), valid.end(),
                                        [&](const QByteArrayList& s) { return s[f] == left[f]; }))
                    << where << ": " << files[f].toStdString() << " is half written";
                EXPECT_TRUE(f == 0 || left[f] == valid[0][f] || left[f - 1] == valid[2][f - 1])
                    << where << ": " << files[f].toStdString() << " came too early";
            }
            EXPECT_EQ(run({}, 2).exitCode, 0) << where;
            EXPECT_EQ(snapshot(), valid[2]) << where;
            reset();
        }
    }
}
