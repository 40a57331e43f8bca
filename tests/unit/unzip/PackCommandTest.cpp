// tovarinth-vendor pack: package archives as the hub serves them, unpacked the
// way the package installation unpacks them.

#include "ZipFixtures.h"
#include "crypto/MachineKey.h"
#include "support/FakeView.h"
#include "support/TestSupport.h"
#include "unzip/cUnzipFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

constexpr char kModels[] =
    "[{\"Model\":\"EOS R5\",\"Type\":1},{\"Model\":\"EOS R6 \xe2\x85\xa1\",\"Type\":1}]";

class PackCommand : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(WriteFile(ModelsPath(), kModels)); }
    QString ModelsPath() const { return dir.filePath(QStringLiteral("models.json")); }
    QString Out() const { return dir.filePath(QStringLiteral("hub")); }
    QString Unpacked() const { return dir.filePath(QStringLiteral("package")); }
    QString Checksum(const QString& name, const QString& version) const
    {
        return QString::fromLatin1(RunVendor({"checksum", name, version}).out.trimmed());
    }
    // The descriptor's plaintext, without the cipher's zero padding.
    static QByteArray Plain(const QByteArray& cipher)
    {
        QByteArray plain = *DecryptBytes(cipher, false);
        while (plain.endsWith('\0'))
            plain.chop(1);
        return plain;
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(PackCommand, Archive_IsNamedByTheChecksumAndHoldsTheEncipheredDescriptor)
{
    const ProcessResult result = RunVendor(
        {"pack", "--name", "Canon", "--version", "1.2", "--models", ModelsPath(), "--out", Out()});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QString checksum = Checksum(QStringLiteral("Canon"), QStringLiteral("1.2"));
    ASSERT_EQ(checksum.size(), 32);
    EXPECT_EQ(QString::fromLatin1(result.out), checksum + "\n");
    EXPECT_EQ(DecryptHexString(checksum), QStringLiteral("Canon@1.2"));
    const QString archive = Out() + u'/' + checksum + QStringLiteral(".Z");

    // Unpacked as the installation does it: flat, defaults otherwise.
    cUnzipFiles files;
    files.SetZipFileName(archive);
    files.SetExtractDir(Unpacked());
    files.SetHonorDirectories(false);
    ASSERT_EQ(files.Unzip(), 0);
    EXPECT_EQ(ListTree(Unpacked()), QStringList({"extension.cfg"}));
    const QByteArray cipher = ReadFile(Unpacked() + QStringLiteral("/extension.cfg"));
    EXPECT_EQ(cipher.size() % 16, 0);
    EXPECT_EQ(Plain(cipher), QByteArray("\"Canon\":") + kModels);
}

TEST_F(PackCommand, Subfolder_IsFlattenedAwayByTheInstallation)
{
    const ProcessResult result =
        RunVendor({"pack", "--name", "Nikon", "--version", "3.0", "--models", ModelsPath(), "--out",
                   Out(), "--subfolder", "deep/er"});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QString archive = Out() + u'/' + Checksum("Nikon", "3.0") + ".Z";
    const ProcessResult listing = RunProcess(QStringLiteral("unzip"), {"-Z1", archive});
    EXPECT_EQ(listing.out, QByteArray("deep/er/extension.cfg\n"));

    cUnzipFiles files;
    files.SetHonorDirectories(false);
    ASSERT_EQ(files.Unzip(archive, Unpacked()), 0);
    EXPECT_EQ(ListTree(Unpacked()), QStringList({"extension.cfg"}));
    EXPECT_EQ(Plain(ReadFile(Unpacked() + "/extension.cfg")), QByteArray("\"Nikon\":") + kModels);
}

TEST_F(PackCommand, Password_EncryptsTheMemberTheWayUnzipReadsIt)
{
    const ProcessResult result =
        RunVendor({"pack", "--name", "Sony", "--version", "2.1", "--models", ModelsPath(), "--out",
                   Out(), "--password", "s3cret"});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QString archive = Out() + u'/' + Checksum("Sony", "2.1") + ".Z";
    const ProcessResult unzip = RunProcess(
        QStringLiteral("unzip"), {"-P", "s3cret", "-qq", archive, "-d", dir.filePath("unzip")});
    EXPECT_EQ(unzip.exitCode, 0) << unzip.err.toStdString();
    EXPECT_EQ(Plain(ReadFile(dir.filePath("unzip/extension.cfg"))),
              QByteArray("\"Sony\":") + kModels);

    ScriptedPrompt prompt;
    prompt.inputs = {"s3cret"};
    cUnzipFiles files(&prompt);
    ASSERT_EQ(files.Unzip(archive, Unpacked()), 0);
    EXPECT_EQ(prompt.inputPrompts.size(), 1);
    EXPECT_EQ(ReadFile(Unpacked() + "/extension.cfg"),
              ReadFile(dir.filePath("unzip/extension.cfg")));
}

TEST_F(PackCommand, BadInput_ExitsWith2AndOneLine)
{
    ASSERT_TRUE(WriteFile(dir.filePath("object.json"), "{\"Model\":\"EOS\"}"));
    ASSERT_TRUE(WriteFile(dir.filePath("broken.json"), "[{\"Model\":"));
    struct Case
    {
        QStringList args;
        QByteArray err;
    };
    const QString object = dir.filePath("object.json");
    const QString broken = dir.filePath("broken.json");
    const QString missing = dir.filePath("missing.json");
    const Case cases[] = {
        {{"--name", "C", "--version", "1", "--models", object, "--out", Out()},
         "tovarinth-vendor: " + object.toLocal8Bit() + ": not a JSON array\n"},
        {{"--name", "C", "--version", "1", "--models", broken, "--out", Out()},
         "tovarinth-vendor: " + broken.toLocal8Bit() + ": not a JSON array\n"},
        {{"--name", "C", "--version", "1", "--models", missing, "--out", Out()},
         "tovarinth-vendor: " + missing.toLocal8Bit() + ": no such file\n"},
        {{"--name", "C", "--models", ModelsPath(), "--out", Out()},
         "tovarinth-vendor: expected --name NAME --version VERSION --models MODELS.json --out "
         "DIR\n"},
        {{"--name", "C", "--version", "1", "--models", ModelsPath(), "--out", Out(), "--bogus",
          "x"},
         "tovarinth-vendor: unexpected argument \"--bogus\" (see --help)\n"},
    };
    for (const Case& c : cases) {
        const ProcessResult result = RunVendor(QStringList{"pack"} + c.args);
        EXPECT_EQ(result.exitCode, 2) << c.args.join(' ').toStdString();
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.out, QByteArray());
    }
    EXPECT_FALSE(QFileInfo::exists(Out()));
}
