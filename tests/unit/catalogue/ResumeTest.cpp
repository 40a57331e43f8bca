// Package downloads over a poor line, against the real local site: what was
// asked for (Range, If-Range), what is left in Downloads, what the user
// reads. Rows run in order; a row that does not start "fresh" begins with
// what the row before it left.

#include "World.h"
#include "startup/FileIo.h"

#include <QElapsedTimer>
#include <QLocale>

TEST_F(WorldTest, ResumeAndRetry_RequestsDiskAndMessages)
{
    Encrypt("Update/equipdb.cfg", R"({"version":"1","makers":[{"id":"canon"}],"bodies":{}})");
    QStringList models;
    for (int i = 0; i < 500; ++i)
        models << QString(R"({"name":"Model %1"})").arg(i);
    WriteFile(root.filePath("many"), "[" + models.join(',').toUtf8() + "]");
    WriteFile(root.filePath("more"), "[" + (models + models).join(',').toUtf8() + "]");
    const auto pack = [&](const QString& list, const QString& out) {
        return Vendor({"pack", "--name", "canon", "--version", "1.5.0", "--models",
                       root.filePath(list), "--out", root.filePath(out)});
    };
    const QString c = pack("many", "site/hub"), hub = root.filePath("site/hub/" + c + ".Z");
    const QString changed = root.filePath("other/" + c + ".Z");
    pack("more", "other"); // larger, so the share after a restart is below the kept one
    const QByteArray archive = ReadFile(hub);
    ASSERT_GT(archive.size(), 6000); // three cuts at 2000 leave it short
    const QString part = Path("Downloads/" + c + ".Z.part"), info = part + ".info";
    state.EditorBuild = kMinimumEditorBuild;
    const QString lastModified = QLocale::c().toString(QFileInfo(hub).lastModified().toUTC(),
                                                       "ddd, dd MMM yyyy hh:mm:ss 'GMT'");
    const QString ok = "成功安装 canon pack 扩展包！|64|提示", failed = "安装扩展包失败！|16|错误";

    // Setup: "fresh" (empty Downloads, not installed), "416" (a partial file
    // longer than the site's archive, its record naming the site's
    // Last-Modified), "total" (a record of another length), "bare" (a record
    // without validators), "flip" or "cancel" at the first retry. Requests: per request of the
    // archive, "-" or its range and If-Range. Disk: the Downloads folder and the setting. Reads:
    // the retry lines, whether the bar then stood at the kept share, the messages.
    // clang-format off
    const struct { const char *setup, *faults, *requests, *disk; QString reads; } rows[] = {
        {"fresh", "drop:3000", "- | 3000- etag", "Z 1.5.0", "(2/3) kept | " + ok},
        {"fresh", "drop:3000 noranges", "- | 3000- etag", "Z 1.5.0", "(2/3) from 0 | " + ok},
        {"fresh", "drop:3000 change", "- | 3000- etag", "changed 1.5.0", "(2/3) from 0 | " + ok},
        {"fresh", "truncate:2000", "- | 2000- etag | 4000- etag", "part:6000 info -",
         "(2/3) kept (3/3) kept | " + failed},
        {"", "", "6000- etag", "Z 1.5.0", "| " + ok},
        {"fresh flip", "drop:3000", "- | 3000- etag", "-", "(2/3) kept | " + failed},
        {"", "", "-", "Z 1.5.0", "| " + ok},
        {"fresh 416", "", "20000- date | -", "Z 1.5.0", "| " + ok},
        {"fresh total", "", "3000- date | -", "Z 1.5.0", "| " + ok},
        {"fresh bare", "", "-", "Z 1.5.0", "| " + ok},
        {"fresh cancel", "drop:3000", "-", "-", "(2/3) kept |"}, // the line ends at the kept share
    };
    // clang-format on
    for (const auto& [setup, faults, requests, disk, reads] : rows) {
        SCOPED_TRACE(std::string(faults) + " after " + setup);
        const QString how = setup;
        if (how.contains("fresh")) {
            QDir(Path("Downloads")).removeRecursively(), QDir(Path("Packages")).removeRecursively();
            Settings::Delete(Settings::Tovarinth, "canon");
            QDir().mkpath(Path("Downloads"));
        }
        const QByteArray date = "\nlast-modified=" + lastModified.toUtf8();
        if (how.contains("416"))
            WriteFile(part, QByteArray(20000, 'x')), WriteFile(info, "total=30000" + date);
        if (how.contains("total")) // the site's copy is one byte shorter than recorded
            WriteFile(part, archive.left(3000)),
                WriteFile(info, "total=" + QByteArray::number(archive.size() + 1) + date);
        if (how.contains("bare"))
            WriteFile(part, archive.left(3000)),
                WriteFile(info, "total=" + QByteArray::number(archive.size()));
        QStringList siteFaults;
        for (const QString& f : QString(faults).split(' ', Qt::SkipEmptyParts))
            siteFaults << "/hub/=" + (f == "change" ? "change:" + changed : f);
        StartSite(siteFaults);
        Cache({"canon 1.5 OK 500"});
        catalogue.LoadExtensionCache();
        view.progress.clear();
        QElapsedTimer sinceCancel;
        view.onProgress = [&](const QString& line) {
            if (!line.contains("重新连接 (2/3)"))
                return;
            if (how.contains("flip")) { // the kept bytes are damaged on disk
                QByteArray bytes = ReadFile(part);
                bytes[1000] = char(bytes[1000] ^ 0x55);
                WriteFile(part, bytes);
            }
            if (how.contains("cancel"))
                catalogue.CancelWork(), sinceCancel.start();
        };
        state.SelectedIndex = 0; // the package (the built-in maker has no bodies)
        catalogue.ContextCommand(0);
        view.onProgress = nullptr;
        EXPECT_TRUE(!sinceCancel.isValid() || sinceCancel.elapsed() < 1000)
            << sinceCancel.elapsed();

        QStringList asked, onDisk, retries;
        for (QString r : site->LogLines().filter("/hub/")) {
            r = r.section(" | ", 1).replace(" | If-Range: ", " ").remove("Range: bytes=");
            asked << (r.isEmpty() ? "-" : r.replace(QRegularExpression("\"[^\"]*\""), "etag"))
                         .replace(lastModified, "date");
        }
        for (const QFileInfo& f : QDir(Path("Downloads")).entryInfoList(QDir::Files)) {
            const QByteArray bytes = ReadFile(f.filePath());
            onDisk << (f.filePath() == part         ? QString("part:%1").arg(bytes.size())
                       : f.filePath() == info       ? "info"
                       : bytes == archive           ? "Z"
                       : bytes == ReadFile(changed) ? "changed"
                                                    : f.fileName());
        }
        // After each retry line, the first share shown: at least the kept one?
        const QStringList& shown = view.progress;
        for (qsizetype i = 0; i < shown.size(); ++i)
            if (shown[i].contains("重新连接"))
                retries << shown[i].section(' ', -1)
                        << (shown.value(i + 1).section('|', 0, 0).toInt() >=
                                    shown[i].section('|', 0, 0).toInt()
                                ? "kept"
                                : "from 0");
        EXPECT_EQ(asked.join(" | "), requests);
        EXPECT_EQ((onDisk << Setting("canon")).join(' '), disk);
        EXPECT_EQ((retries << "|" << prompt.Take()).join(' '), reads);
    }
}

// Install-all over a line that drops every package once: all of them install
// after one retry each, and the user reads nothing of it. (olympus, whose
// checksum proves another version, fails on any line and is left out.) The
// sync before it tidies the partial downloads of packages the account no
// longer holds and those older than a week.
TEST_F(WorldTest, InstallAllOverADroppingLineAfterATidySync)
{
    DemoWorld({"/hub/=drop:500"});
    const QString profile = root.filePath("site/kvxta_user_ext_info/demo.photographer");
    WriteFile(profile, QString(ReadFile(profile))
                           .remove(QRegularExpression(R"(,\{[^{}]*"name":"olympus"[^{}]*\})"))
                           .toUtf8());
    const auto leave = [&](const QString& package, int days) { // a partial file and record
        const QString part = Path("Downloads/" + Checksums(package) + ".Z.part");
        for (QFile file : {part, part + ".info"}) {
            WriteFile(file.fileName(), "total=9\netag=\"e\"\n");
            file.open(QIODevice::ReadWrite);
            file.setFileTime(QDateTime::currentDateTime().addDays(-days),
                             QFileDevice::FileModificationTime);
        }
        return QFileInfo(part).fileName();
    };
    const QString held = leave("{leica@1.0.1}", 6);
    leave("{panasonic@1.1.0}", 8), leave("{gone@1.0.0}", 0);
    state.EditorBuild = kMinimumEditorBuild;
    catalogue.CheckOnline(); // the probe, then the sync
    const QStringList partial = {held, held + ".info"};
    EXPECT_EQ(QDir(Path("Downloads")).entryList({"*.part*"}, QDir::Files), partial);
    QStringList fetched; // installable, its archive not at hand
    for (const ExtensionEntry& row : state.Entries)
        if (IsInstallable(row.Status) && !IsExistingFile(catalogue.ArchivePath(row.Checksum)))
            fetched << row.Checksum;
    catalogue.InstallAll();
    EXPECT_EQ(prompt.Take(), QStringList{"成功安装所有已购买的扩展包！|64|提示"});
    const QStringList asked = site->LogLines().filter("/hub/");
    ASSERT_GE(fetched.size(), 3);
    for (const QString& checksum : fetched) {
        EXPECT_TRUE(IsExistingFile(Path("Packages/" + checksum + "/extension.cfg")))
            << checksum.toStdString();
        EXPECT_EQ(asked.filter(checksum).size(), 2);
        EXPECT_EQ(asked.filter(checksum).filter("| Range: bytes=500- | If-Range: \"").size(), 1);
    }
    EXPECT_EQ(QDir(Path("Downloads")).entryList({"*.part*"}, QDir::Files), partial);
}
