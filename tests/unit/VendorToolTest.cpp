#include "crypto/MachineKey.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
QString KeyHex()
{
    return QString::fromLatin1(RunVendor({"key"}).out.trimmed());
}
} // namespace

TEST(VendorTool, KeyIsTheBuiltinKeysEffectiveBytes)
{
    const ProcessResult result = RunVendor({"key"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out.trimmed().toStdString(), Hex(GetBuiltinKey().left(16)));
}

TEST(VendorTool, MachineIdMatchesTheLibrary)
{
    const ProcessResult result = RunVendor({"machine-id"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(QString::fromLatin1(result.out.trimmed()), GetMachineID());
}

TEST(VendorTool, InteroperatesWithOpenSslBothWays)
{
    QTemporaryDir dir;
    const QByteArray plain = PseudoRandomBytes(1000, 3) + QByteArray("end"); // not a multiple of 16
    ASSERT_TRUE(WriteFile(dir.filePath("plain"), plain));
    QByteArray padded = plain;
    padded.append((16 - padded.size() % 16) % 16, '\0');
    ASSERT_TRUE(WriteFile(dir.filePath("padded"), padded));

    // openssl enciphers, we decipher.
    const ProcessResult enc =
        RunProcess("openssl", {"enc", "-aes-128-ecb", "-nopad", "-K", KeyHex(), "-in",
                               dir.filePath("padded"), "-out", dir.filePath("ossl.bin")});
    ASSERT_EQ(enc.exitCode, 0) << enc.err.toStdString();
    const ProcessResult dec = RunVendor(
        {"decrypt", "--key", "builtin", dir.filePath("ossl.bin"), dir.filePath("ours.txt")});
    ASSERT_EQ(dec.exitCode, 0) << dec.err.toStdString();
    EXPECT_EQ(ReadFile(dir.filePath("ours.txt")), plain);

    // We encipher, openssl deciphers to the zero-padded bytes.
    ASSERT_EQ(
        RunVendor({"encrypt", "--key", "builtin", dir.filePath("plain"), dir.filePath("ours.bin")})
            .exitCode,
        0);
    EXPECT_EQ(ReadFile(dir.filePath("ours.bin")), ReadFile(dir.filePath("ossl.bin")));
    const ProcessResult back =
        RunProcess("openssl", {"enc", "-d", "-aes-128-ecb", "-nopad", "-K", KeyHex(), "-in",
                               dir.filePath("ours.bin"), "-out", dir.filePath("back")});
    ASSERT_EQ(back.exitCode, 0) << back.err.toStdString();
    EXPECT_EQ(ReadFile(dir.filePath("back")), padded);
}

TEST(VendorTool, MachineKeyEnvelopeRoundTrips)
{
    QTemporaryDir dir;
    ASSERT_TRUE(WriteFile(dir.filePath("db.json"), "{\"canon\":[]}"));
    ASSERT_EQ(RunVendor({"encrypt", "--key", "machine", dir.filePath("db.json"),
                         dir.filePath("extdb.cfg")})
                  .exitCode,
              0);
    EXPECT_EQ(*DecryptBytes(ReadFile(dir.filePath("extdb.cfg")), true),
              QByteArray("{\"canon\":[]}") + QByteArray(4, '\0'));
    ASSERT_EQ(
        RunVendor({"decrypt", "--key", "machine", dir.filePath("extdb.cfg"), dir.filePath("out")})
            .exitCode,
        0);
    EXPECT_EQ(ReadFile(dir.filePath("out")), "{\"canon\":[]}");
}

TEST(VendorTool, ChecksumDecryptsToNameAtVersion)
{
    const ProcessResult result = RunVendor({"checksum", QString::fromUtf16(u"佳能"), "1.2.0"});
    ASSERT_EQ(result.exitCode, 0);
    const QString hex = QString::fromLatin1(result.out.trimmed());
    EXPECT_TRUE(QRegularExpression("^[0-9A-F]{32}$").match(hex).hasMatch()) << hex.toStdString();
    EXPECT_EQ(DecryptHexString(hex), QString::fromUtf16(u"佳能@1.2.0"));
}

TEST(VendorTool, BadInputGivesOneLineAndExitCode2)
{
    QTemporaryDir dir;
    ASSERT_TRUE(WriteFile(dir.filePath("odd"), QByteArray(17, 'x')));
    const QList<QStringList> bad = {
        {"frobnicate"},
        {},
        {"encrypt", "--key", "builtin", dir.filePath("missing"), dir.filePath("o")},
        {"decrypt", "--key", "builtin", dir.filePath("odd"), dir.filePath("o")},
        {"decrypt", "--key", "other", dir.filePath("odd"), dir.filePath("o")},
        {"encrypt", "builtin"},
        {"checksum", "only-name"},
        {"key", "extra"},
    };
    for (const QStringList& args : bad) {
        const ProcessResult result = RunVendor(args);
        EXPECT_EQ(result.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_EQ(result.err.count('\n'), 1) << result.err.toStdString();
        EXPECT_TRUE(result.err.startsWith("tovarinth-vendor: ")) << result.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("o")));
}

TEST(VendorTool, HelpDocumentsEveryCommand)
{
    const ProcessResult result = RunVendor({"--help"});
    EXPECT_EQ(result.exitCode, 0);
    for (const char* command :
         {"key", "machine-id", "encrypt --key", "decrypt --key", "checksum NAME VERSION"})
        EXPECT_TRUE(result.out.contains(command)) << command;
}
