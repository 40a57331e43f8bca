#include "SiteFixture.h"

#include <csignal>
#include <sys/resource.h>

class PackagesTest : public SiteTest
{
protected:
    QString InstalledDbText()
    {
        const ByteArray plain = ReadEnvelopeFile(process.ProgramFolder + "/extdb.cfg", true);
        return plain ? QString::fromUtf8(*plain).remove(QChar(0)) : QString();
    }
    QStringList ProgramFiles(const QString& folder) const
    {
        return QDir(process.ProgramFolder + "/" + folder)
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }
};

TEST_F(PackagesTest, DownloadUnpackAndRecord)
{
    StartSite();
    const QString c = Pack("canon", "1.2.0");
    AddRow("canon", "1.2.0", c);
    EXPECT_TRUE(catalogue.InstallPackage(c, false));
    EXPECT_TRUE(QFile::exists(catalogue.ArchivePath(c)));
    EXPECT_TRUE(QFile::exists(catalogue.DescriptorPath(c)));
    EXPECT_EQ(InstalledDbText(), R"({"canon":[{"name":"M1"},{"name":"M2"}]})");
    EXPECT_EQ(Settings::Read(Settings::Tovarinth, "canon"), "1.2.0");
    EXPECT_FALSE(state.Entries[0].PendingSave) << "saved";
    EXPECT_FALSE(state.Busy);
    EXPECT_FALSE(view.busyIndicator);
    EXPECT_EQ(Requests("/hub/" + c + ".Z").size(), 1);
    EXPECT_EQ(ProgramFiles("Downloads"), QStringList{c + ".Z"}) << "no temporary file left";
    EXPECT_EQ(ProgramFiles("Packages"), QStringList{c}) << "no staging folder left";

    // Removal takes it out of the database and the settings; the files stay.
    EXPECT_TRUE(catalogue.UninstallPackage(c));
    EXPECT_EQ(InstalledDbText(), "{}");
    EXPECT_EQ(Settings::Read(Settings::Tovarinth, "canon", "gone"), "gone");
    EXPECT_TRUE(QFile::exists(catalogue.DescriptorPath(c)));
    QString descriptor;
    EXPECT_EQ(catalogue.GetExtensionStatus("canon", "1.2.0", "OK", c, descriptor), PendingInstall);

    // Installing again needs neither the network nor unpacking.
    const int requests = site->LogLines().size();
    EXPECT_TRUE(catalogue.InstallPackage(c, false));
    EXPECT_EQ(site->LogLines().size(), requests);
    EXPECT_EQ(catalogue.GetExtensionStatus("canon", "1.2.0", "OK", c, descriptor), Installed);
}

TEST_F(PackagesTest, ArchivePresentIsUnpackedWithoutDownload)
{
    StartSite();
    const QString c = Pack("nikon", "2.0.1");
    AddRow("nikon", "2.0.1", c);
    QDir().mkpath(process.ProgramFolder + "/Downloads");
    ASSERT_TRUE(QFile::copy(SiteRoot() + "/hub/" + c + ".Z", catalogue.ArchivePath(c)));
    QFile::remove(SiteRoot() + "/hub/" + c + ".Z");
    EXPECT_TRUE(catalogue.InstallPackage(c, false));
    EXPECT_TRUE(Requests("/hub/").isEmpty());
}

TEST_F(PackagesTest, DescriptorInSubfolderIsFlattened)
{
    StartSite();
    const QString c = Pack("sony", "3.1.0", R"([{"name":"A7"}])", {"--subfolder", "deep/er"});
    AddRow("sony", "3.1.0", c);
    EXPECT_TRUE(catalogue.InstallPackage(c, false));
    EXPECT_TRUE(QFile::exists(catalogue.DescriptorPath(c)));
}

TEST_F(PackagesTest, ChecksumWithoutTwoPartsUnpacksButRecordsNothing)
{
    StartSite();
    // The archive is named after a checksum whose text has two "@".
    const QString good = Pack("fuji", "1.0.0");
    const QString bad = Checksum("fuji@1.0.0", "x");
    ASSERT_TRUE(
        QFile::rename(SiteRoot() + "/hub/" + good + ".Z", SiteRoot() + "/hub/" + bad + ".Z"));
    AddRow("fuji", "1.0.0", bad);
    EXPECT_FALSE(catalogue.InstallPackage(bad, false));
    EXPECT_TRUE(QFile::exists(catalogue.DescriptorPath(bad)))
        << "downloaded and unpacked before the check";
    EXPECT_TRUE(state.Entries[0].Descriptor.isEmpty());
    EXPECT_FALSE(state.Entries[0].PendingSave);
    EXPECT_EQ(Settings::Read(Settings::Tovarinth, "fuji", "none"), "none");
    EXPECT_FALSE(catalogue.UninstallPackage(bad));
    EXPECT_FALSE(catalogue.UninstallPackage("../" + good))
        << "a checksum names folders: plain hex only";
    EXPECT_FALSE(catalogue.InstallPackage("../" + good, false));
}

TEST_F(PackagesTest, TwoRowsWithOneChecksumUpdateOnlyTheFirst)
{
    StartSite();
    const QString c = Pack("leica", "1.0.0");
    AddRow("leica", "1.0.0", c);
    AddRow("leica", "1.0.0", c);
    EXPECT_TRUE(catalogue.InstallPackage(c, true));
    EXPECT_FALSE(state.Entries[0].Descriptor.isEmpty());
    EXPECT_TRUE(state.Entries[0].PendingSave);
    EXPECT_TRUE(state.Entries[1].Descriptor.isEmpty());
    // A batch leaves Busy set and the database unsaved.
    EXPECT_TRUE(state.Busy);
    EXPECT_FALSE(QFile::exists(process.ProgramFolder + "/extdb.cfg"));
    EXPECT_EQ(Settings::Read(Settings::Tovarinth, "leica"), "1.0.0");
}

TEST_F(PackagesTest, RemovalOfHandDeletedFolderFails)
{
    StartSite();
    const QString c = Pack("ricoh", "1.0.0");
    AddRow("ricoh", "1.0.0", c);
    ASSERT_TRUE(catalogue.InstallPackage(c, false));
    ASSERT_TRUE(QDir(catalogue.PackageFolder(c)).removeRecursively());
    EXPECT_FALSE(catalogue.UninstallPackage(c));
    EXPECT_EQ(Settings::Read(Settings::Tovarinth, "ricoh"), "1.0.0");
}

TEST_F(PackagesTest, CutOffOrErrorPageIsNotKeptAndNextAttemptDownloadsAgain)
{
    const QString c = Pack("casio", "1.0.0", QByteArray("[") + QByteArray(20000, ' ') + "]");
    AddRow("casio", "1.0.0", c);
    for (const QString& fault : {QString("/hub/=truncate:100"), QString("/hub/=status:404"),
                                 QString("/hub/=status:500"), QString("/hub/=close")}) {
        StartSite({fault});
        EXPECT_FALSE(catalogue.InstallPackage(c, false)) << fault.toStdString();
        EXPECT_TRUE(ProgramFiles("Downloads").isEmpty()) << fault.toStdString();
        EXPECT_TRUE(ProgramFiles("Packages").isEmpty()) << fault.toStdString();
        EXPECT_FALSE(state.Busy);
    }
    StartSite();
    EXPECT_TRUE(catalogue.InstallPackage(c, false));
}

TEST_F(PackagesTest, DamagedArchiveStaysAndLeavesPackageFolderAsItWas)
{
    StartSite();
    const QString c = Pack("pentax", "1.0.0");
    QByteArray archive = ReadFile(SiteRoot() + "/hub/" + c + ".Z");
    archive[archive.size() / 2] = static_cast<char>(archive[archive.size() / 2] ^ 0x5A);
    archive.chop(10);
    ASSERT_TRUE(WriteFile(SiteRoot() + "/hub/" + c + ".Z", archive));
    AddRow("pentax", "1.0.0", c);
    EXPECT_FALSE(catalogue.InstallPackage(c, false));
    EXPECT_EQ(ReadFile(catalogue.ArchivePath(c)), archive)
        << "a complete body stays, as it arrived";
    EXPECT_TRUE(ProgramFiles("Packages").isEmpty());
    EXPECT_FALSE(catalogue.InstallPackage(c, false)) << "fails again at unpacking";
    EXPECT_EQ(Requests("/hub/").size(), 1);
}

TEST_F(PackagesTest, PasswordProtectedArchiveAnsweredOrRefused)
{
    StartSite();
    const QString c = Pack("olympus", "1.0.0", R"([{"name":"OM-1"}])", {"--password", "s3cret"});
    AddRow("olympus", "1.0.0", c);
    EXPECT_FALSE(catalogue.InstallPackage(c, false)) << "no answer";
    ASSERT_EQ(prompt.inputPrompts.size(), 1);
    EXPECT_EQ(prompt.inputPrompts[0], "Please Enter The Password!");
    EXPECT_TRUE(ProgramFiles("Packages").isEmpty());
    prompt.inputs = {"s3cret"};
    EXPECT_TRUE(catalogue.InstallPackage(c, false));
    EXPECT_TRUE(InstalledDbText().contains("OM-1"));
}

TEST_F(PackagesTest, FullDiskWhileUnpackingLeavesPackageFolderAsItWas)
{
    StartSite();
    const QString c =
        Pack("panasonic", "1.0.0", QByteArray("[\"") + PseudoRandomBytes(60000, 1).toHex() + "\"]");
    AddRow("panasonic", "1.0.0", c);
    QDir().mkpath(process.ProgramFolder + "/Downloads");
    ASSERT_TRUE(QFile::copy(SiteRoot() + "/hub/" + c + ".Z", catalogue.ArchivePath(c)));

    ::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit tight = old;
    tight.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    const bool installed = catalogue.InstallPackage(c, false);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(installed);
    EXPECT_TRUE(ProgramFiles("Packages").isEmpty());
    EXPECT_EQ(Settings::Read(Settings::Tovarinth, "panasonic", "none"), "none");
    EXPECT_TRUE(catalogue.InstallPackage(c, false)) << "works once there is room";
}

TEST_F(PackagesTest, InstallAllRecordsEveryPackageAndMarksFailures)
{
    StartSite();
    WriteEquipDb(kSmallEquipDb);
    const QString a = Pack("apple", "1.0.0");
    const QString h = Pack("huawei", "2.0.0");
    WriteCache(
        Profile("alice.photo",
                {Package("apple", "1.0", "OK", "2", a), Package("huawei", "2.0", "OK", "2", h),
                 Package("samsung", "1.0", "OK", "2")},
                site->Url("/hub/")));
    catalogue.LoadExtensionCache();
    ASSERT_EQ(state.Entries.size(), 7u);
    state.EditorBuild = 1316;
    catalogue.InstallAll();
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, QString::fromUtf16(u"部分扩展包安装失败！"))
        << "samsung is not on the hub";
    EXPECT_EQ(prompt.messages[0].title, QString::fromUtf16(u"提醒"));
    EXPECT_EQ(prompt.messages[0].style, 48);
    EXPECT_FALSE(state.Busy);
    EXPECT_EQ(InstalledDbText(),
              R"({"apple":[{"name":"M1"},{"name":"M2"}],"huawei":[{"name":"M1"},{"name":"M2"}]})");
    // The refresh evaluated every row again.
    EXPECT_EQ(state.Entries[4].Status, Installed);
    EXPECT_EQ(state.Entries[5].Status, Installed);
    EXPECT_EQ(state.Entries[6].Status, PendingDownload);
}

TEST_F(PackagesTest, InstallOneAndRemoveFromTheMenu)
{
    StartSite();
    WriteEquipDb(kSmallEquipDb);
    const QString c = Pack("canon", "1.5.0");
    WriteCache(Profile("alice.photo", {Package("canon", "1.5", "OK", "2", c)}, site->Url("/hub")));
    catalogue.LoadExtensionCache();
    state.EditorBuild = 1400;
    state.SelectedIndex = 4;
    catalogue.ContextCommand(0);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, QString::fromUtf16(u"成功安装 canon pack 扩展包！"));
    EXPECT_EQ(prompt.messages[0].style, 64);
    EXPECT_EQ(state.Entries[4].Status, Installed);
    EXPECT_EQ(state.Entries[0].Status, Superseded)
        << "the built-in canon row is superseded by 1.5.0";
    state.SelectedIndex = 4;
    catalogue.ContextCommand(1);
    ASSERT_EQ(prompt.messages.size(), 2u);
    EXPECT_EQ(prompt.messages[1].text, QString::fromUtf16(u"成功卸载 canon pack 扩展包！"));
    EXPECT_EQ(state.Entries[4].Status, PendingInstall);
    EXPECT_EQ(state.Entries[0].Status, Installed);
}

TEST_F(PackagesTest, ChecksumOfAnotherVersionIsNotRecordedUnderTheRow)
{
    StartSite();
    const QString c = Pack("olympus", "1.3.0.9"); // the row says 1.3.0
    AddRow("olympus", "1.3.0", c);
    EXPECT_FALSE(catalogue.InstallPackage(c, false));
    EXPECT_FALSE(QFile::exists(process.ProgramFolder + "/extdb.cfg"));
    EXPECT_EQ(Settings::Read(Settings::Tovarinth, "olympus", "none"), "none");
    EXPECT_TRUE(state.Entries[0].Descriptor.isEmpty());
}

TEST_F(PackagesTest, InstallingOneKeepsOtherInstalledPackagesInTheDatabase)
{
    StartSite();
    // canon 1.4.0 is installed; its row is to update to 1.5.0 and has no
    // descriptor. leica is installed but no longer in the catalogue.
    WriteInstalledDb(R"({"canon":[{"name":"R5"}],"leica":[{"name":"M11"},{"name":"Q3"}]})");
    catalogue.LoadLocalDatabases();
    ASSERT_TRUE(state.InstalledDb);
    AddRow("canon", "1.5.0", Checksum("canon", "1.5.0")).Status = PendingUpdate;
    const QString n = Pack("nikon", "1.2.0");
    AddRow("nikon", "1.2.0", n);
    ASSERT_TRUE(catalogue.InstallPackage(n, false));
    EXPECT_EQ(
        InstalledDbText(),
        R"({"nikon":[{"name":"M1"},{"name":"M2"}],"canon":[{"name":"R5"}],"leica":[{"name":"M11"},{"name":"Q3"}]})");

    // Removing nikon takes out nikon alone.
    EXPECT_TRUE(catalogue.UninstallPackage(n));
    EXPECT_EQ(InstalledDbText(),
              R"({"canon":[{"name":"R5"}],"leica":[{"name":"M11"},{"name":"Q3"}]})");
}
