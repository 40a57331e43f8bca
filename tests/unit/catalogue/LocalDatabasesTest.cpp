#include "CatalogueFixture.h"

namespace {
const QString kInstalled = QString::fromUtf16(u"已安装 \u2714");
const QString kSuperseded = QString::fromUtf16(u"已覆盖 \u2796");
} // namespace

TEST_F(CatalogueTest, BuiltinRows_OnePerMakerWithBodies)
{
    WriteEquipDb(kSmallEquipDb);
    catalogue.LoadLocalDatabases();
    EXPECT_TRUE(prompt.messages.empty());
    EXPECT_FALSE(view.badCall);
    EXPECT_EQ(view.Lines(),
              (QStringList{
                  QString::fromUtf16(u" 佳能 (内置)|1.2.0|3|") + kInstalled + "|1|0|ghosted",
                  QString::fromUtf16(u" 尼康 (内置)|1.2.0|2|") + kInstalled + "|2|0|ghosted",
                  QString::fromUtf16(u" 索尼 (内置)|1.2.0|1|") + kInstalled + "|3|0|ghosted",
                  QString::fromUtf16(u" 大写 (内置)|1.2.0|1|") + kInstalled + "|0|0|ghosted",
              }));
    ASSERT_EQ(state.Entries.size(), 4u);
    EXPECT_EQ(state.Entries[2].Name, "sony");
    EXPECT_EQ(state.Entries[2].Display, QString::fromUtf16(u"索尼"));
    EXPECT_FALSE(state.Entries[2].IsExtension);
    EXPECT_TRUE(state.Entries[2].Checksum.isEmpty());
    EXPECT_TRUE(state.EquipmentDb);
    EXPECT_EQ(state.SelectedIndex, -1);
    EXPECT_EQ(view.waitDepth, 0) << "the hourglass is restored";
    EXPECT_EQ(view.waitCount, 1);
}

TEST_F(CatalogueTest, BuiltinRows_SupersededByNewerInstalledPackage)
{
    WriteEquipDb(kSmallEquipDb);
    WriteInstalledDb(R"({"canon":[{"name":"EOS R7"}],"nikon":[]})");
    Settings::Write(Settings::Tovarinth, "canon", "1.3.0");
    Settings::Write(Settings::Tovarinth, "nikon", "9.0"); // empty model list: not installed
    catalogue.LoadLocalDatabases();
    ASSERT_GE(view.rows.size(), 2u);
    EXPECT_EQ(view.rows[0].tag, Superseded);
    EXPECT_EQ(view.rows[0].columns[2], kSuperseded);
    EXPECT_EQ(state.Entries[0].Status, Superseded);
    EXPECT_EQ(view.rows[1].tag, Installed);

    Settings::Write(Settings::Tovarinth, "canon", "1.2.5"); // both count as 1.2
    catalogue.LoadLocalDatabases();
    EXPECT_EQ(view.rows[0].tag, Installed);
}

TEST_F(CatalogueTest, BuiltinRows_MissingMembersArePassedOver)
{
    WriteEquipDb(
        R"({"makers":[{"id":"canon"},{"name_zh-CN":"无键"},{"id":"nikon","name_zh-CN":"尼康"}],
                     "bodies":{"canon":[{}],"nikon":"not an array"}})");
    catalogue.LoadLocalDatabases();
    EXPECT_TRUE(prompt.messages.empty());
    EXPECT_EQ(view.Lines(),
              (QStringList{QString::fromUtf16(u"  (内置)||1|") + kInstalled + "|1|0|ghosted"}));
}

TEST_F(CatalogueTest, BuiltinDatabaseFailures_ShowOneMessageAndKeepListEmpty)
{
    const auto expectFailure = [&](const char* situation) {
        prompt.messages.clear();
        catalogue.LoadLocalDatabases();
        ASSERT_EQ(prompt.messages.size(), 1u) << situation;
        EXPECT_EQ(prompt.messages[0].text, QString::fromUtf16(u"无法加载内置数据库！"))
            << situation;
        EXPECT_EQ(prompt.messages[0].style, 16) << situation;
        EXPECT_EQ(prompt.messages[0].title, "") << situation;
        EXPECT_TRUE(view.rows.empty()) << situation;
        EXPECT_TRUE(state.Entries.empty()) << situation;
        EXPECT_EQ(view.waitDepth, 0) << situation;
    };
    expectFailure("missing file");

    WriteEquipDb(kSmallEquipDb);
    catalogue.LoadLocalDatabases();
    ASSERT_TRUE(state.EquipmentDb);
    const int bodies = state.EquipmentDb->Item("bodies").Item("canon").count();

    ASSERT_TRUE(WriteFile(catalogue.EquipmentDbPath(), ""));
    expectFailure("empty file");
    ASSERT_TRUE(WriteFile(catalogue.EquipmentDbPath(), QByteArray(33, 'x')));
    expectFailure("length not a multiple of 16");
    ASSERT_TRUE(
        WriteFile(catalogue.EquipmentDbPath(), *EncryptBytes(QByteArray(kSmallEquipDb), true)));
    expectFailure("enciphered under another key");
    WriteEquipDb("not json");
    expectFailure("not a document");
    EXPECT_EQ(state.EquipmentDb->Item("bodies").Item("canon").count(), bodies)
        << "the old document is kept";

    // A damaged installed-extension database ends the rebuild the same way.
    WriteEquipDb(kSmallEquipDb);
    ASSERT_TRUE(WriteFile(process.ProgramFolder + "/extdb.cfg", QByteArray(20, 'y')));
    expectFailure("extdb.cfg of odd length");
}

TEST_F(CatalogueTest, InstalledDatabase_SilentlyAbsentWhenUnusable)
{
    WriteEquipDb(kSmallEquipDb);
    for (const QByteArray& onDisk :
         {QByteArray(), *EncryptBytes(QByteArray(R"({"canon":[1]})"), false),
          *EncryptBytes(QByteArray(R"( {"canon":[1]})"), true)}) {
        ASSERT_TRUE(WriteFile(process.ProgramFolder + "/extdb.cfg", onDisk));
        state.InstalledDb = JsonNode::parse("{}");
        catalogue.LoadLocalDatabases();
        EXPECT_FALSE(state.InstalledDb);
        EXPECT_TRUE(prompt.messages.empty());
        EXPECT_EQ(view.rows.size(), 4u);
    }
    WriteInstalledDb(QByteArray(R"({"canon":[1,2]})") + QByteArray("\0\0", 2));
    catalogue.LoadLocalDatabases();
    ASSERT_TRUE(state.InstalledDb);
    EXPECT_EQ(state.InstalledDb->Item("canon").count(), 2);
}

TEST_F(CatalogueTest, SaveInstalledDatabase_JoinsRecordedDescriptorsInRowOrder)
{
    auto row = [](QString descriptor, int32_t status, bool pending, bool extension = true) {
        ExtensionEntry e;
        e.Descriptor = std::move(descriptor);
        e.Status = status;
        e.PendingSave = pending;
        e.IsExtension = extension;
        return e;
    };
    state.Entries = {
        row(R"("a":[1])", Installed, false),
        row(R"("builtin":[1])", Installed, true, false),
        row("", Installed, true),
        row(R"("skip":[1])", PendingUpdate, false),
        row(QString::fromUtf16(u"\"b\":[2]\0\0", 9), PendingUpdate, true),
        row(R"("c":[3])", PendingInstall, true),
    };
    ASSERT_TRUE(catalogue.SaveInstalledDatabase());
    const ByteArray plain = ReadEnvelopeFile(process.ProgramFolder + "/extdb.cfg", true);
    ASSERT_TRUE(plain);
    EXPECT_EQ(QString::fromUtf8(*plain).remove(QChar(0)), R"({"a":[1],"b":[2],"c":[3]})");
    EXPECT_FALSE(state.Entries[4].PendingSave);
    EXPECT_FALSE(state.Entries[5].PendingSave);
    EXPECT_TRUE(state.Entries[2].PendingSave) << "an empty descriptor keeps its mark";
    EXPECT_TRUE(state.Entries[1].PendingSave) << "built-in rows are never written";
    ASSERT_TRUE(state.InstalledDb);
    EXPECT_EQ(state.InstalledDb->count(), 3);
    // Bound to this computer: the built-in key does not read it.
    EXPECT_FALSE(JsonNode::parse(
        Utf8ToString(ReadEnvelopeFile(process.ProgramFolder + "/extdb.cfg", false))));
}

TEST_F(CatalogueTest, SaveInstalledDatabase_NoRowsWritesEmptyObject)
{
    ASSERT_TRUE(catalogue.SaveInstalledDatabase());
    EXPECT_EQ(*ReadEnvelopeFile(process.ProgramFolder + "/extdb.cfg", true),
              QByteArray("{}") + QByteArray(14, '\0'));
    ASSERT_TRUE(state.InstalledDb);
    EXPECT_EQ(state.InstalledDb->count(), 0);
}

TEST_F(CatalogueTest, SaveInstalledDatabase_UnparsableTextWritesNothing)
{
    WriteInstalledDb(R"({"old":[1]})");
    const QByteArray before = ReadFile(process.ProgramFolder + "/extdb.cfg");
    state.InstalledDb = JsonNode::parse(R"({"old":[1]})");
    ExtensionEntry broken;
    broken.IsExtension = true;
    broken.PendingSave = true;
    broken.Descriptor = "not a member";
    state.Entries = {broken};
    EXPECT_FALSE(catalogue.SaveInstalledDatabase());
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, QString::fromUtf16(u"创建数据库文件失败！"));
    EXPECT_EQ(prompt.messages[0].title, QString::fromUtf16(u"错误"));
    EXPECT_EQ(prompt.messages[0].style, 16);
    EXPECT_EQ(ReadFile(process.ProgramFolder + "/extdb.cfg"), before);
    EXPECT_EQ(state.InstalledDb->Item("old").count(), 1);
    EXPECT_TRUE(state.Entries[0].PendingSave);
}
