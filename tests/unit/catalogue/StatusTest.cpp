#include "CatalogueFixture.h"

TEST(StatusText, LabelsAndSymbols)
{
    EXPECT_EQ(GetStatusText(0), QString::fromUtf16(u"已安装 \u2714"));
    EXPECT_EQ(GetStatusText(1), QString::fromUtf16(u"订单处理中 \u2601"));
    EXPECT_EQ(GetStatusText(2), QString::fromUtf16(u"待下载 \u2601"));
    EXPECT_EQ(GetStatusText(3), QString::fromUtf16(u"待更新 \u2601"));
    EXPECT_EQ(GetStatusText(4), QString::fromUtf16(u"正在下载 ....."));
    EXPECT_EQ(GetStatusText(5), QString::fromUtf16(u"待安装 \u2714"));
    EXPECT_EQ(GetStatusText(6), QString::fromUtf16(u"正在安装 ....."));
    EXPECT_EQ(GetStatusText(7), QString::fromUtf16(u"正在卸载 ....."));
    EXPECT_EQ(GetStatusText(8), QString::fromUtf16(u"未购买 \u274C"));
    EXPECT_EQ(GetStatusText(9), QString::fromUtf16(u"失败 \u274C"));
    EXPECT_EQ(GetStatusText(10), QString::fromUtf16(u"已覆盖 \u2796"));
    EXPECT_EQ(GetStatusText(11), "");
    EXPECT_EQ(GetStatusText(-1), "");
}

TEST(StatusText, InstallableOnlyFor2359)
{
    for (int32_t s = -1; s <= 11; ++s)
        EXPECT_EQ(IsInstallable(s), s == 2 || s == 3 || s == 5 || s == 9) << s;
}

TEST(StatusText, VersionNormalisation)
{
    EXPECT_EQ(NormalizeVersion("1.2"), "1.2.0");
    EXPECT_EQ(NormalizeVersion("1.23"), "1.23.0");
    EXPECT_EQ(NormalizeVersion("10.2"), "10.2");
    EXPECT_EQ(NormalizeVersion("1.2.3"), "1.2.3");
    EXPECT_EQ(NormalizeVersion("1"), "1");
    EXPECT_EQ(NormalizeVersion(""), "");
}

TEST(MakerIcons, ExactKeysOnly)
{
    const char* keys[] = {"canon", "nikon", "sony",  "fuji",    "olympus", "panasonic", "pentax",
                          "casio", "leica", "ricoh", "samsung", "apple",   "huawei"};
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(GetMakerIconIndex(keys[i]), i + 1) << keys[i];
    EXPECT_EQ(GetMakerIconIndex("Sony"), 0);
    EXPECT_EQ(GetMakerIconIndex(" sony"), 0);
    EXPECT_EQ(GetMakerIconIndex(""), 0);
    EXPECT_EQ(GetMakerIconIndex("hasselblad"), 0);
}

// The status decision, one row per situation.
class ExtensionStatusTest : public CatalogueTest
{
protected:
    int32_t Status(const QString& version, const QString& order, const QString& checksum)
    {
        QString descriptor;
        return catalogue.GetExtensionStatus("canon", version, order, checksum, descriptor);
    }
    void MarkInstalled()
    {
        state.InstalledDb = JsonNode::parse(R"({"canon":[{"name":"EOS R5"}]})");
    }
};

TEST_F(ExtensionStatusTest, OrderStatusDecidesFirst)
{
    EXPECT_EQ(Status("1.2.0", "PENDING", "garbage"), OrderPending);
    EXPECT_EQ(Status("1.2.0", "ok", Checksum("canon", "1.2.0")), NotPurchased);
    EXPECT_EQ(Status("1.2.0", "", Checksum("canon", "1.2.0")), NotPurchased);
    EXPECT_EQ(Status("1.2.0", "pending", Checksum("canon", "1.2.0")), NotPurchased);
    EXPECT_EQ(Status("1.2.0", "OK", Checksum("canon", "1.2.0")), PendingDownload);
}

TEST_F(ExtensionStatusTest, ChecksumMustDecryptToNameAndNormalisedVersion)
{
    EXPECT_EQ(Status("1.2.0", "OK", Checksum("canon", "1.2")), Failed);
    EXPECT_EQ(Status("1.2.0", "OK", Checksum("Canon", "1.2.0")), Failed);
    EXPECT_EQ(Status("1.2.0", "OK", Checksum("canon@x", "1.2.0")), Failed);
    EXPECT_EQ(Status("1.2.0", "OK", Checksum("canon1.2.0", "").chopped(0)), Failed);
    EXPECT_EQ(Status("1.2.0", "OK", ""), Failed);
    EXPECT_EQ(Status("1.2.0", "OK", "00112233"), Failed);
    // Separators between the hex digits would still decrypt, but the checksum
    // names a folder: refused.
    const QString good = Checksum("canon", "1.2.0");
    EXPECT_EQ(Status("1.2.0", "OK", good.left(16) + "/../" + good.mid(16)), Failed);
}

TEST_F(ExtensionStatusTest, FilesDatabaseAndSettingsDecide)
{
    const QString c = Checksum("canon", "1.2.0");
    // Not installed and nothing on disk.
    EXPECT_EQ(Status("1.2.0", "OK", c), PendingDownload);
    // Nothing on disk, installed: higher server version to update, equal to download.
    MarkInstalled();
    Settings::Write(Settings::Tovarinth, "canon", "1.1.0");
    EXPECT_EQ(Status("1.2.0", "OK", c), PendingUpdate);
    Settings::Write(Settings::Tovarinth, "canon", "1.2.5"); // equal by number
    EXPECT_EQ(Status("1.2.0", "OK", c), PendingDownload);
    // Only the archive present.
    WriteArchive(c);
    EXPECT_EQ(Status("1.2.0", "OK", c), PendingInstall);
    // Package folder present, installed, settings equal by number.
    WriteDescriptor(c, R"("canon":[{"name":"EOS R5"}])");
    QString descriptor;
    EXPECT_EQ(catalogue.GetExtensionStatus("canon", "1.2.0", "OK", c, descriptor), Installed);
    EXPECT_TRUE(descriptor.startsWith(R"("canon":[{"name":"EOS R5"}])"));
    EXPECT_EQ(descriptor.size() % 16, 0) << "the zero padding stays in the descriptor";
    // The same with a lower settings version.
    Settings::Write(Settings::Tovarinth, "canon", "1.1");
    EXPECT_EQ(Status("1.2.0", "OK", c), PendingInstall);
    // No settings value: the server's version counts as installed.
    Settings::Delete(Settings::Tovarinth, "canon");
    EXPECT_EQ(Status("1.2.0", "OK", c), Installed);
    // Descriptor present but not in the database.
    state.InstalledDb.reset();
    EXPECT_EQ(Status("1.2.0", "OK", c), PendingInstall);
}

TEST_F(ExtensionStatusTest, UndecipherableDescriptorCountsAsNotInstalled)
{
    const QString c = Checksum("canon", "1.2.0");
    MarkInstalled();
    QDir().mkpath(catalogue.PackageFolder(c));
    ASSERT_TRUE(WriteFile(catalogue.DescriptorPath(c), QByteArray(17, 'x')));
    WriteArchive(c);
    QString descriptor;
    EXPECT_EQ(catalogue.GetExtensionStatus("canon", "1.2.0", "OK", c, descriptor), PendingInstall);
    EXPECT_EQ(descriptor, "");
}

TEST_F(ExtensionStatusTest, VersionsCompareAsNumbers)
{
    const QString c = Checksum("canon", "1.10");
    MarkInstalled();
    Settings::Write(Settings::Tovarinth, "canon", "1.9");
    EXPECT_EQ(Status("1.10", "OK", c), PendingDownload) << "1.10 counts as lower than 1.9";
}
