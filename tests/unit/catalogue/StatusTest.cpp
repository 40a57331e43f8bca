#include "World.h"

// The status of a package row from its order status, its checksum, the files
// on disk, the installed-extension database and the installed-version setting,
// through the rebuild's folder listing and outside a rebuild.
TEST_F(WorldTest, ExtensionStatus)
{
    Encrypt("Update/equipdb.cfg", R"({"version":"1.0","makers":[]})");
    const char* k = "{canon@1.2.0}"; // "{name@version}": the checksum that proves it
    // situation, version, order status, checksum, models in the installed-extension
    // database (-1: an empty list), installed-version setting, what is on disk.
    const std::tuple<const char*, const char*, const char*, const char*, int, const char*,
                     const char*, int32_t>
        cases[] = {
            {"order pending", "1.2", "PENDING", "00", 0, "", "", OrderPending},
            {"order in lower case", "1.2", "ok", k, 0, "", "", NotPurchased},
            {"proves 1.2, not 1.2.0", "1.2", "OK", "{canon@1.2}", 0, "", "", Failed},
            {"proves another name", "1.2", "OK", "{Canon@1.2.0}", 0, "", "", Failed},
            {"two @", "1.2", "OK", "{canon@x@1.2.0}", 0, "", "", Failed},
            {"deciphers to nothing", "1.2", "OK", "00112233", 0, "", "", Failed},
            {"a path in it", "1.2", "OK", "../{canon@1.2.0}", 0, "", "", Failed},
            {"nothing anywhere", "1.2", "OK", k, 0, "", "", PendingDownload},
            {"installed, older", "1.2", "OK", k, 1, "1.1.0", "", PendingUpdate},
            {"installed, equal by number", "1.2", "OK", k, 1, "1.2.5", "", PendingDownload},
            {"installed, no setting", "1.2", "OK", k, 1, "", "", PendingDownload},
            {"empty model list", "1.2", "OK", k, -1, "1.1.0", "", PendingDownload},
            {"1.10 is below 1.9", "1.10", "OK", "{canon@1.10.0}", 1, "1.9", "", PendingDownload},
            {"archive", "1.2", "OK", k, 0, "", "archive", PendingInstall},
            {"folder named like the archive", "1.2", "OK", k, 0, "", "Downloads/", PendingDownload},
            {"empty package folder", "1.2", "OK", k, 1, "1.1.0", "Packages/", PendingUpdate},
            {"installed", "1.2", "OK", k, 1, "1.2.5", "descriptor", Installed},
            {"no setting", "1.2", "OK", k, 1, "", "descriptor", Installed},
            {"older setting", "1.2", "OK", k, 1, "1.1", "descriptor", PendingInstall},
            {"not recorded", "1.2", "OK", k, 0, "", "descriptor", PendingInstall},
            {"undecipherable", "1.2", "OK", k, 1, "1.1.0", "17 bytes", PendingDownload},
            {"unreadable", "1.2", "OK", k, 1, "1.1.0", "I/O error", PendingDownload},
        };
    for (const auto& [situation, version, order, checksum, models, setting, disk_, expected] :
         cases) {
        SCOPED_TRACE(situation);
        QDir(Path("Packages")).removeRecursively(), QDir(Path("Downloads")).removeRecursively();
        QFile::remove(Path("extdb.cfg")), Settings::Delete(Settings::Tovarinth, "canon");
        const QString sum = Checksums(checksum), disk = disk_;
        const QString descriptor = "Packages/" + sum + "/extension.cfg";
        if (models)
            Encrypt("extdb.cfg", models > 0 ? R"({"canon":[1]})" : R"({"canon":[]})");
        if (*setting)
            Settings::Write(Settings::Tovarinth, "canon", setting);
        // The Downloads folder, a folder named like the archive, or the package's.
        if (!disk.isEmpty())
            QDir().mkpath(Path(disk == "archive"      ? "Downloads"
                               : disk == "Downloads/" ? "Downloads/" + sum + ".Z"
                                                      : "Packages/" + sum));
        if (disk == "archive")
            WriteFile(Path("Downloads/" + sum + ".Z"), "PK");
        if (disk == "descriptor")
            Encrypt(descriptor, R"("canon":[1])");
        if (disk == "17 bytes")
            WriteFile(Path(descriptor), QByteArray(17, 'x'));
        if (disk == "I/O error")
            QFile::link("/proc/self/mem", Path(descriptor));
        Cache({QString("canon %1 %2 1 %3").arg(version, order, sum)});
        catalogue.RefreshList();
        ASSERT_EQ(view.rows.size(), 1u);
        EXPECT_EQ(view.rows[0].tag, expected);
        QString text;
        const QString normalised = NormalizeVersion(version);
        EXPECT_EQ(catalogue.GetExtensionStatus("canon", normalised, order, sum, text), expected);
        EXPECT_EQ(text.remove(QChar(0)), disk == "descriptor" ? R"("canon":[1])" : "");
    }
    EXPECT_EQ(prompt.Take(), QStringList());
}
