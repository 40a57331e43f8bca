// The envelope of the encrypted files: the machine identifier and the two keys,
// the hex codec of package checksums, and the files themselves.

#include "crypto/Envelope.h"

#include "crypto/MachineKey.h"
#include "crypto/cRijndael.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {
// Hardware sources that answer fixed texts and count the board queries.
class Envelope : public ::testing::Test
{
protected:
    void SetUp() override { Install(); }
    void TearDown() override { SetHardwareSources(DefaultHardwareSources()); }
    void Install()
    {
        ResetMachineIdCache();
        SetHardwareSources({[this] { return ++boardQueries, board; }, [this] { return cpu; }});
    }
    QString board = "SERIAL-000001", cpu = "BFEBFBFF000906EA";
    int boardQueries = 0;
};

// The built-in key's cipher of the hardware text, in groups of 8 hex digits.
QString Enciphered(QByteArray hardware)
{
    cRijndael cipher;
    cipher.SetCipherKey(GetBuiltinKey(), 128);
    cipher.ArrayEncrypt(QByteArray(hardware), hardware, 0);
    return QString(hardware.toHex().toUpper()).insert(24, '-').insert(16, '-').insert(8, '-');
}
} // namespace

TEST_F(Envelope, MachineIdFromTheLast16CharactersKeptOnceFound)
{
    EXPECT_TRUE(EncryptBytes(QByteArray("x"), false) && !EncryptBytes(std::nullopt, false));
    EXPECT_EQ(boardQueries, 1) << "the machine key is made even for the built-in key";
    // A placeholder or a serial shorter than 6 once trimmed gives way to the processor.
    // clang-format off
    const std::pair<QString, QString> cases[] = {
        {"0123456789ABCDEFGHIJ", "456789ABCDEFGHIJ"}, {"  SN-123456  ", "SN-123456"},
        {"To be filled by O.E.M.", cpu}, {"  ab12 ", cpu}, {QString::fromUtf16(u"  abc12\0zz", 10), cpu},
        {"o.e.m. in lower case", "o.e.m. in lower case"}, {"", cpu}};
    // clang-format on
    for (const auto& [serial, used] : cases) {
        board = serial;
        Install();
        EXPECT_EQ(GetMachineID(), Enciphered(used.right(16).toLatin1())) << serial.toStdString();
        EXPECT_EQ(Hex(GetMachineKey()), GetMachineID().remove('-').toStdString());
    }
    board = "SERIAL-999999";
    EXPECT_EQ(GetMachineID(), Enciphered(cpu.toLatin1())) << "kept";
    board = cpu = "";
    Install();
    boardQueries = 0;
    EXPECT_EQ(GetMachineID() + GetMachineID(), "");
    EXPECT_EQ(boardQueries, 2) << "not kept while empty";
    EXPECT_EQ(GetMachineKey(), QByteArray(16, '\0'));
}

TEST_F(Envelope, FilesHoldTheRawCiphertextUnderEitherKeyAndAreReplacedWhole)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("extdb.cfg"), odd = dir.filePath("odd");
    const QByteArray plain(20, 'd');
    for (const bool machine : {false, true}) {
        ASSERT_TRUE(WriteEnvelopeFile(path, plain, machine));
        EXPECT_EQ(ReadFile(path), EncryptBytes(plain, machine)) << "no header, no trailer";
        EXPECT_EQ(ReadFile(path).size(), 32);
        EXPECT_EQ(ReadEnvelopeFile(path, machine), plain + QByteArray(12, '\0'));
    }
    EXPECT_NE(EncryptBytes(plain, false), EncryptBytes(plain, true));
    ASSERT_TRUE(WriteFile(odd, QByteArray(17, 'x')));
    EXPECT_FALSE(ReadEnvelopeFile(odd, false) || ReadEnvelopeFile(dir.filePath("none"), false));
    EXPECT_FALSE(DecryptBytes(std::nullopt, false));
    // No room: a file-size limit below the new file's size leaves the old file.
    const QByteArray before = ReadFile(path);
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const rlimit tight{64, old.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    const bool wrote = WriteEnvelopeFile(path, QByteArray(4096, 'n'), false);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(wrote);
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).join(','), "extdb.cfg,odd");
}

TEST_F(Envelope, HexCodecAndChecksums)
{
    // Pairs of hex digits, anything else skipped; no pair gives no storage, shown as "none".
    const auto hex = [](const QString& text) { return HexToBytes(text).value_or("none").toHex(); };
    EXPECT_EQ(hex("0a-FF x1") + hex("deadBEEF") + hex("") + hex("1"),
              "0affdeadbeef" + QByteArray("none").toHex().repeated(2));
    const QByteArray bytes = QByteArray::fromHex("000102030405");
    EXPECT_EQ(BytesToHex(bytes, 6, 16) + "|" + BytesToHex(bytes, 6, 2) + "|" +
                  BytesToHex(bytes, 3, 0),
              "000102030405|0001  0203  0405|000102");
    const ByteArray cipher = EncryptBytes(QByteArray("canon@1.2.0"), false);
    const QString checksum = BytesToHex(*cipher, cipher->size(), 16);
    // clang-format off
    const std::pair<QString, QString> cases[] = {
        {checksum, "canon@1.2.0"}, {checksum.toLower(), "canon@1.2.0"}, {"", ""},
        {QChar(0) + checksum, ""}, {checksum.left(31), ""}, {"zz", ""}};
    // clang-format on
    for (const auto& [text, want] : cases)
        EXPECT_EQ(DecryptHexString(text), want) << text.toStdString();
}
