// The envelope of the encrypted files: the machine identifier and the two keys,
// the hex codec of package checksums, and the files themselves.

#include "crypto/Envelope.h"

#include "crypto/MachineKey.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {
QString board, cpu = "BFEBFBFF000906EA";
int boardQueries = 0;

// Hardware sources that answer board and cpu and count the board queries.
void Install(const QString& serial)
{
    board = serial;
    boardQueries = 0;
    ResetMachineIdCache();
    SetHardwareSources({[] { return ++boardQueries, board; }, [] { return cpu; }});
}
} // namespace

TEST(Envelope, MachineIdFromTheLast16CharactersKeptOnceFound)
{
    Install("SERIAL-000001");
    EXPECT_TRUE(EncryptBytes(QByteArray("x"), false) && !EncryptBytes(std::nullopt, false));
    EXPECT_EQ(boardQueries, 1) << "the machine key is made even for the built-in key";
    // The built-in key's cipher of the hardware text, in groups of 8 hex digits.
    const auto enciphered = [](const QString& hardware) {
        const QString hex = EncryptBytes(hardware.toLatin1(), false)->toHex().toUpper();
        return QString(hex).insert(24, '-').insert(16, '-').insert(8, '-');
    };
    // A placeholder or a serial shorter than 6 once trimmed gives way to the processor.
    // clang-format off
    const std::pair<QString, QString> cases[] = {
        {"0123456789ABCDEFGHIJ", "456789ABCDEFGHIJ"}, {"  SN-123456  ", "SN-123456"},
        {"To be filled by O.E.M.", cpu}, {QString::fromUtf16(u" abc12\0z", 8), cpu}, {"", cpu},
        {"o.e.m. in lower case", "m. in lower case"}, {"  ab12 ", cpu}};
    // clang-format on
    for (const auto& [serial, used] : cases) {
        Install(serial);
        EXPECT_EQ(GetMachineID(), enciphered(used)) << serial.toStdString();
        EXPECT_EQ(Hex(GetMachineKey()), GetMachineID().remove('-').toStdString());
    }
    board = "SERIAL-999999";
    EXPECT_EQ(GetMachineID(), enciphered(cpu)) << "kept";
    cpu = "";
    Install("");
    EXPECT_EQ(GetMachineID() + GetMachineID(), "");
    EXPECT_EQ(boardQueries, 2) << "not kept while empty";
    EXPECT_EQ(GetMachineKey(), QByteArray(16, '\0'));
}

TEST(Envelope, FilesHoldTheRawCiphertextAndChecksumsDecrypt)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("extdb.cfg"), odd = dir.filePath("odd");
    const QByteArray plain(20, 'd');
    for (const bool machine : {false, true}) {
        ASSERT_TRUE(WriteEnvelopeFile(path, plain, machine));
        EXPECT_EQ(ReadFile(path), EncryptBytes(plain, machine)) << "no header, no trailer";
        EXPECT_EQ(ReadEnvelopeFile(path, machine), plain + QByteArray(12, '\0'));
    }
    EXPECT_NE(EncryptBytes(plain, false), EncryptBytes(plain, true));
    ASSERT_TRUE(WriteFile(odd, QByteArray(17, 'x')));
    EXPECT_FALSE(ReadEnvelopeFile(odd, false) || ReadEnvelopeFile(dir.filePath("none"), false));
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

    // Pairs of hex digits, anything else skipped; no pair gives no storage ("-").
    const auto hex = [](const QString& text) { return HexToBytes(text).value_or("-").toHex(); };
    EXPECT_EQ(hex("0a-FF x1") + hex("deadBEEF") + hex("") + hex("1"), "0affdeadbeef2d2d");
    const QByteArray bytes = QByteArray::fromHex("000102030405");
    EXPECT_EQ(BytesToHex(bytes, 6, 16) + BytesToHex(bytes, 3, 2), "0001020304050001  02");
    const QString checksum = BytesToHex(*EncryptBytes(QByteArray("canon@1.2.0"), false), 16, 16);
    // clang-format off
    const std::pair<QString, QString> checksums[] = {
        {checksum, "canon@1.2.0"}, {checksum.toLower(), "canon@1.2.0"}, {"", ""},
        {QChar(0) + checksum, ""}, {checksum.left(31), ""}, {"zz", ""}};
    // clang-format on
    for (const auto& [text, want] : checksums)
        EXPECT_EQ(DecryptHexString(text), want) << text.toStdString();
}
