#include "crypto/MachineKey.h"

#include "crypto/cRijndael.h"
#include "support/TestSupport.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

// Hardware sources that answer fixed texts and count how often they are asked.
struct FakeHardware
{
    QString board;
    QString processor;
    int boardQueries = 0;
    int processorQueries = 0;

    void Install()
    {
        SetHardwareSources({[this] {
                                ++boardQueries;
                                return board;
                            },
                            [this] {
                                ++processorQueries;
                                return processor;
                            }});
    }
};

class MachineKey : public ::testing::Test
{
protected:
    void TearDown() override { SetHardwareSources(DefaultHardwareSources()); }
    FakeHardware hardware;
};

const QRegularExpression kMachineIdShape("^[0-9A-F]{8}-[0-9A-F]{8}-[0-9A-F]{8}-[0-9A-F]{8}$");

QString ExpectedMachineId(const QByteArray& hardwareBytes)
{
    cRijndael cipher;
    cipher.SetCipherKey(GetBuiltinKey(), 128);
    QByteArray out;
    cipher.ArrayEncrypt(hardwareBytes, out, 0);
    const QString hex = out.toHex().toUpper();
    return hex.mid(0, 8) + "-" + hex.mid(8, 8) + "-" + hex.mid(16, 8) + "-" + hex.mid(24, 8);
}

} // namespace

TEST_F(MachineKey, PlaceholderOrShortBoardSerialFallsBackToProcessor)
{
    hardware.board = "To be filled by O.E.M.";
    hardware.processor = "BFEBFBFF000906EA";
    hardware.Install();
    EXPECT_EQ(GetHardwareID(), "BFEBFBFF000906EA");
    hardware.board = "  ab12 ";
    EXPECT_EQ(GetHardwareID(), "BFEBFBFF000906EA");
    hardware.board = QString::fromUtf16(u"  abc12\0zz", 10); // cut at the NUL, then trimmed
    EXPECT_EQ(GetHardwareID(), "BFEBFBFF000906EA");
    hardware.board = "  SN-123456  ";
    EXPECT_EQ(GetHardwareID(), "SN-123456");
    hardware.board = "o.e.m. lower case is a real serial";
    EXPECT_EQ(GetHardwareID(), "o.e.m. lower case is a real serial");
}

TEST_F(MachineKey, MachineIdEnciphersTheLast16Characters)
{
    hardware.board = "0123456789ABCDEFGHIJ"; // 20 characters: only the last 16 count
    hardware.Install();
    const QString id = GetMachineID();
    EXPECT_TRUE(kMachineIdShape.match(id).hasMatch()) << id.toStdString();
    EXPECT_EQ(id, ExpectedMachineId("456789ABCDEFGHIJ"));

    hardware.board = "ABCDEFGHIJ"; // 10 characters, zero-padded to one block
    hardware.Install();
    EXPECT_EQ(GetMachineID(), ExpectedMachineId("ABCDEFGHIJ"));
    EXPECT_EQ(GetMachineID().size(), 35);
}

TEST_F(MachineKey, NonEmptyIdIsCachedEmptyIsAskedAgain)
{
    hardware.board = "SERIAL-000001";
    hardware.Install();
    const QString first = GetMachineID();
    hardware.board = "SERIAL-999999";
    EXPECT_EQ(GetMachineID(), first);
    EXPECT_EQ(hardware.boardQueries, 1);

    hardware.board.clear();
    hardware.processor.clear();
    hardware.boardQueries = 0;
    hardware.Install();
    EXPECT_EQ(GetMachineID(), "");
    EXPECT_EQ(GetMachineID(), "");
    EXPECT_EQ(hardware.boardQueries, 2);
}

TEST_F(MachineKey, MachineKeyIsTheIdsHexDigits)
{
    hardware.board = "SERIAL-424242";
    hardware.Install();
    const QString digits = GetMachineID().remove('-');
    EXPECT_EQ(Hex(GetMachineKey()), digits.toStdString());

    hardware.board.clear();
    hardware.Install();
    EXPECT_EQ(GetMachineKey(), QByteArray(16, '\0'));
}

TEST_F(MachineKey, BuiltinKeyIsStableAndNotTrivial)
{
    const QByteArray key = GetBuiltinKey();
    EXPECT_EQ(key.size(), 32);
    EXPECT_EQ(key, GetBuiltinKey());
    EXPECT_NE(key.left(16), QByteArray(16, '\0'));
}

TEST_F(MachineKey, EncryptBytesPadsAndDecryptKeepsPadding)
{
    hardware.board = "SERIAL-777777";
    hardware.Install();
    const QByteArray plain(20, 'd');
    for (bool machine : {false, true}) {
        const ByteArray cipher = EncryptBytes(plain, machine);
        ASSERT_TRUE(cipher);
        EXPECT_EQ(cipher->size(), 32);
        const ByteArray back = DecryptBytes(cipher, machine);
        ASSERT_TRUE(back);
        EXPECT_EQ(*back, plain + QByteArray(12, '\0'));
    }
    EXPECT_NE(*EncryptBytes(plain, false), *EncryptBytes(plain, true));
    EXPECT_FALSE(EncryptBytes(std::nullopt, false));
    EXPECT_FALSE(DecryptBytes(std::nullopt, false));
    EXPECT_FALSE(DecryptBytes(QByteArray(17, 'x'), false)) << "17 bytes give no array";
}

TEST_F(MachineKey, FirstCallReadsHardwareEvenForBuiltinKey)
{
    hardware.board = "SERIAL-313131";
    hardware.Install();
    EncryptBytes(QByteArray("x"), false);
    EXPECT_EQ(hardware.boardQueries, 1);
}

TEST(HexCodec, HexToBytesSkipsNonDigitsAndDropsUnpaired)
{
    EXPECT_EQ(Hex(*HexToBytes("0a-FF x1")), "0AFF");
    EXPECT_FALSE(HexToBytes(""));
    EXPECT_FALSE(HexToBytes("1"));
    EXPECT_FALSE(HexToBytes("xyz"));
    EXPECT_EQ(Hex(*HexToBytes("deadBEEF")), "DEADBEEF");
}

TEST(HexCodec, BytesToHexGroups)
{
    const QByteArray bytes = QByteArray::fromHex("000102030405");
    EXPECT_EQ(BytesToHex(bytes, 6, 16), "000102030405");
    EXPECT_EQ(BytesToHex(bytes, 6, 2), "0001  0203  0405");
    EXPECT_EQ(BytesToHex(QByteArray::fromHex("ABCD"), 2, 0), "ABCD");
    EXPECT_EQ(BytesToHex(bytes, 3, 16), "000102");
}

TEST(HexCodec, DecryptHexStringReadsChecksums)
{
    const ByteArray cipher = EncryptBytes(QByteArray("canon@1.2.0"), false);
    const QString hex = BytesToHex(*cipher, cipher->size(), 16);
    EXPECT_EQ(DecryptHexString(hex), "canon@1.2.0");
    EXPECT_EQ(DecryptHexString(hex.toLower()), "canon@1.2.0");
    EXPECT_EQ(DecryptHexString(""), "");
    EXPECT_EQ(DecryptHexString(QString::fromUtf16(u"\0abc", 4)), "");
    EXPECT_EQ(DecryptHexString(hex.left(31)), "");
    EXPECT_EQ(DecryptHexString("zz"), "");
}
