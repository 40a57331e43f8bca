// The list's rebuild as it keeps its cost down: one pass per RefreshList, the
// package and archive folders listed once, the settings looked at once, and
// lookups of missing members that raise no error.

#include "CatalogueFixture.h"
#include "catalogue/JsonLookup.h"

namespace {

class RebuildTest : public CatalogueTest
{
protected:
    void SetUp() override
    {
        CatalogueTest::SetUp();
        WriteEquipDb(kSmallEquipDb);
    }
};

TEST_F(RebuildTest, RefreshListWithUnreadableBuiltinDb_ReportsOnceAndKeepsExtensionRows)
{
    ASSERT_TRUE(WriteFile(process.EditorFolder + "/Update/equipdb.cfg", "not sixteen bytes"));
    WriteCache(Profile("alice.photo", {Package("leica", "1.0", "OK", "4")}));
    catalogue.RefreshList();
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, CatalogueText::BuiltinDbFailed);
    ASSERT_EQ(view.rows.size(), 1u);
    EXPECT_EQ(view.rows[0].text, " leica pack");
    EXPECT_TRUE(state.CatalogueLoaded);
}

TEST_F(RebuildTest, ArchiveAndPackageFolders_AreSeenAsTheDiskHoldsThem)
{
    const QString archived = Checksum("leica", "1.0.0");
    const QString folderOnly = Checksum("ricoh", "1.0.0");
    const QString dirNamedLikeArchive = Checksum("pentax", "1.0.0");
    WriteArchive(archived);
    QDir().mkpath(catalogue.PackageFolder(folderOnly)); // a folder without descriptor
    QDir().mkpath(process.ProgramFolder + "/Downloads/" + dirNamedLikeArchive + ".Z");
    WriteCache(Profile("alice.photo",
                       {Package("leica", "1.0", "OK", "4"), Package("ricoh", "1.0", "OK", "4"),
                        Package("pentax", "1.0", "OK", "4")}));
    catalogue.RefreshList();
    ASSERT_EQ(state.Entries.size(), 4u + 3u);            // canon, nikon, sony, Sony
    EXPECT_EQ(state.Entries[4].Status, PendingInstall);  // archive in Downloads
    EXPECT_EQ(state.Entries[5].Status, PendingDownload); // empty package folder
    EXPECT_EQ(state.Entries[6].Status, PendingDownload); // a folder is no archive

    // Files that appear after a rebuild count at the next one, and outside a
    // rebuild the status looks at the disk itself.
    WriteArchive(folderOnly);
    QString descriptor;
    EXPECT_EQ(catalogue.GetExtensionStatus("ricoh", "1.0.0", "OK", folderOnly, descriptor),
              PendingInstall);
    catalogue.RefreshList();
    EXPECT_EQ(state.Entries[5].Status, PendingInstall);
}

TEST_F(RebuildTest, InstalledPackage_DescriptorReadAndSettingsVersionCompared)
{
    const QString checksum = Checksum("leica", "1.0.0");
    WriteDescriptor(checksum, R"("leica":[{"name":"M11"}])");
    WriteInstalledDb(R"({"leica":[{"name":"M11"}]})");
    ASSERT_TRUE(Settings::Write(Settings::Tovarinth, "leica", "1.0.0"));
    WriteCache(Profile("alice.photo", {Package("leica", "1.0", "OK", "1")}));
    catalogue.RefreshList();
    ASSERT_EQ(state.Entries.size(), 5u);
    EXPECT_EQ(state.Entries[4].Status, Installed);
    // The descriptor as deciphered, zero padding included.
    EXPECT_EQ(QString(state.Entries[4].Descriptor).remove(QChar(0)), R"("leica":[{"name":"M11"}])");

    // A version written between two rebuilds is seen by the next one.
    ASSERT_TRUE(Settings::Write(Settings::Tovarinth, "leica", "0.9.0"));
    catalogue.RefreshList();
    EXPECT_EQ(state.Entries[4].Status, PendingInstall);
}

QString IniPath()
{
    return QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).filePath("Kestrovia/Kestrovia.ini");
}

// Another process (the editor) rewrites one value of the store.
void ChangeOutside(const QString& from, const QString& to)
{
    const ProcessResult sed = RunProcess(
        "/bin/sh", {"-c", QStringLiteral("sed -i 's/^%1$/%2/' \"$0\"").arg(from, to), IniPath()});
    ASSERT_EQ(sed.exitCode, 0);
}

TEST(SettingsSnapshot, ReadsSeeOtherProcessesExceptWithinASnapshot)
{
    ASSERT_TRUE(Settings::Write(Settings::Tovarinth, "zeiss", "1.0.1"));
    EXPECT_EQ(Settings::Read(Settings::Tovarinth, "zeiss"), "1.0.1");
    ChangeOutside("zeiss=1.0.1", "zeiss=1.0.2");
    EXPECT_EQ(Settings::Read(Settings::Tovarinth, "zeiss"), "1.0.2");
    {
        const Settings::Snapshot outer;
        EXPECT_EQ(Settings::Read(Settings::Tovarinth, "zeiss"), "1.0.2");
        ChangeOutside("zeiss=1.0.2", "zeiss=1.0.3");
        {
            const Settings::Snapshot inner;
            EXPECT_EQ(Settings::Read(Settings::Tovarinth, "zeiss"), "1.0.2");
        }
        EXPECT_EQ(Settings::Read(Settings::Tovarinth, "zeiss"), "1.0.2");
        // This process's own writes are seen at once.
        ASSERT_TRUE(Settings::Write(Settings::Tovarinth, "zeiss", "1.0.4"));
        EXPECT_EQ(Settings::Read(Settings::Tovarinth, "zeiss"), "1.0.4");
        ASSERT_TRUE(Settings::Delete(Settings::Tovarinth, "zeiss"));
        EXPECT_EQ(Settings::Read(Settings::Tovarinth, "zeiss", "gone"), "gone");
    }
    ASSERT_TRUE(Settings::Write(Settings::Tovarinth, "zeiss", "2.0.0"));
    ChangeOutside("zeiss=2.0.0", "zeiss=2.0.1");
    EXPECT_EQ(Settings::Read(Settings::Tovarinth, "zeiss"), "2.0.1");
}

TEST(SettingsSnapshot, LargeStore_StillSeesAnotherProcessesChange)
{
    {
        QSettings store(QSettings::IniFormat, QSettings::UserScope, "Kestrovia", "Kestrovia");
        for (int i = 0; i < 800; ++i)
            store.setValue(QStringLiteral("Tovarinth/pack%1").arg(i), "1.0.0");
    }
    EXPECT_EQ(Settings::Read(Settings::Tovarinth, "pack799"), "1.0.0");
    ChangeOutside("pack799=1.0.0", "pack799=1.1.0");
    EXPECT_EQ(Settings::Read(Settings::Tovarinth, "pack799"), "1.1.0");
    EXPECT_EQ(Settings::Read(Settings::Tovarinth, "pack0"), "1.0.0");
}

TEST(JsonLookup, MissingScalarAndNodeMembers_GiveFallbacksWithoutRaising)
{
    const JsonNode root = *JsonNode::parse(R"({"a":"x","n":12,"list":[1,2],"obj":{"k":1}})");
    EXPECT_EQ(TextOr(root, "a"), "x");
    EXPECT_EQ(TextOr(root, "n"), "12");
    EXPECT_EQ(TextOr(root, "missing", "dflt"), "dflt");
    EXPECT_EQ(TextOr(root, "list", "dflt"), "dflt"); // a node is never text
    EXPECT_EQ(TextOr(root.Item("list"), "a", "dflt"), "dflt");
    EXPECT_EQ(CountOf(root, "list"), 2);
    EXPECT_EQ(CountOf(root, "obj"), 1);
    EXPECT_EQ(CountOf(root, "a"), 0); // a scalar has no count
    EXPECT_EQ(CountOf(root, "missing"), 0);
    EXPECT_EQ(CountOf(std::nullopt, "a"), 0);
    EXPECT_FALSE(MemberOf(JsonNode(), "a"));
    ASSERT_TRUE(MemberOf(root, "obj"));
    EXPECT_EQ(MemberOf(root, "obj")->count(), 1);
}

} // namespace
