#include "crypto/cRijndael.h"
#include "startup/Errors.h"
#include "support/TestSupport.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <openssl/evp.h>

namespace {

QByteArray FromHex(const char* hex)
{
    return QByteArray::fromHex(hex);
}

// The independent implementation the cipher is compared with.
QByteArray OpenSslEcb(const QByteArray& key, const QByteArray& input, bool encrypt)
{
    const EVP_CIPHER* cipher = key.size() == 16   ? EVP_aes_128_ecb()
                               : key.size() == 24 ? EVP_aes_192_ecb()
                                                  : EVP_aes_256_ecb();
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_CipherInit_ex(ctx, cipher, nullptr, reinterpret_cast<const unsigned char*>(key.constData()),
                      nullptr, encrypt ? 1 : 0);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    QByteArray out(input.size() + 16, '\0');
    int len = 0;
    int tail = 0;
    EVP_CipherUpdate(ctx, reinterpret_cast<unsigned char*>(out.data()), &len,
                     reinterpret_cast<const unsigned char*>(input.constData()),
                     static_cast<int>(input.size()));
    EVP_CipherFinal_ex(ctx, reinterpret_cast<unsigned char*>(out.data()) + len, &tail);
    EVP_CIPHER_CTX_free(ctx);
    out.truncate(len + tail);
    return out;
}

cRijndael Keyed(const QByteArray& key)
{
    cRijndael cipher;
    cipher.SetCipherKey(key, static_cast<int32_t>(key.size() * 8));
    return cipher;
}

const QByteArray kKey128 = FromHex("000102030405060708090a0b0c0d0e0f");

} // namespace

// From FIPS-197, Appendix C (C.1, C.2, C.3): plaintext 00112233...eeff.
struct Fips197Vector
{
    const char* key;
    const char* cipher;
};

class Fips197 : public ::testing::TestWithParam<Fips197Vector>
{
};

TEST_P(Fips197, KnownAnswerBothWays)
{
    const QByteArray key = FromHex(GetParam().key);
    const QByteArray plain = FromHex("00112233445566778899aabbccddeeff");
    const QByteArray expected = FromHex(GetParam().cipher);
    cRijndael cipher = Keyed(key);
    QByteArray out(16, '\0');
    cipher.BlockEncrypt(plain, out, 0, 0);
    EXPECT_EQ(Hex(out), Hex(expected));
    QByteArray back(16, '\0');
    cipher.BlockDecrypt(back, out, 0, 0);
    EXPECT_EQ(Hex(back), Hex(plain));
}

INSTANTIATE_TEST_SUITE_P(
    AppendixC, Fips197,
    ::testing::Values(
        Fips197Vector{"000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a"},
        Fips197Vector{"000102030405060708090a0b0c0d0e0f1011121314151617",
                      "dda97ca4864cdfe06eaf70a0ec0d7191"},
        Fips197Vector{"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
                      "8ea2b7ca516745bfeafc49904b496089"}));

TEST(Rijndael, BlocksAtOffsetsAndInPlace)
{
    cRijndael cipher = Keyed(kKey128);
    QByteArray buffer =
        QByteArray(5, 'x') + FromHex("00112233445566778899aabbccddeeff") + QByteArray(3, 'y');
    const QByteArray original = buffer;
    QByteArray target(40, '\0');
    cipher.BlockEncrypt(buffer, target, 5, 20);
    EXPECT_EQ(Hex(target.mid(20, 16)), "69C4E0D86A7B0430D8CDB78070B4C55A");
    EXPECT_EQ(target.left(20), QByteArray(20, '\0'));
    cipher.BlockEncrypt(buffer, buffer, 5, 5); // the same array as both
    EXPECT_EQ(Hex(buffer.mid(5, 16)), "69C4E0D86A7B0430D8CDB78070B4C55A");
    EXPECT_EQ(buffer.left(5), QByteArray(5, 'x'));
    cipher.BlockDecrypt(buffer, 5);
    EXPECT_EQ(buffer, original);
}

TEST(Rijndael, BlockOutsideItsArrayRaisesAndWritesNothing)
{
    cRijndael cipher = Keyed(kKey128);
    QByteArray small(20, 'a');
    const QByteArray before = small;
    QByteArray big(32, 'b');
    try {
        cipher.BlockEncrypt(big, small, 0, 5);
        FAIL() << "no error raised";
    } catch (const RaisedError& e) {
        EXPECT_EQ(e.Number(), 9);
    }
    EXPECT_EQ(small, before);
    EXPECT_THROW(cipher.BlockDecrypt(small, big, -1, 0), RaisedError);
    EXPECT_THROW(cipher.BlockEncrypt(small, 5), RaisedError);
}

TEST(Rijndael, IllegalKeySizeRaisesAndKeepsSchedule)
{
    cRijndael cipher = Keyed(kKey128);
    for (int bits : {64, 512, 0, 127}) {
        try {
            cipher.SetCipherKey(QByteArray(64, 'k'), bits);
            FAIL() << bits;
        } catch (const RaisedError& e) {
            EXPECT_EQ(e.Number(), 1);
            EXPECT_EQ(e.Description(), "cRijndael.SetCipherKey - Illegal KeyBits Value");
        }
    }
    QByteArray out(16, '\0');
    cipher.BlockEncrypt(FromHex("00112233445566778899aabbccddeeff"), out, 0, 0);
    EXPECT_EQ(Hex(out), "69C4E0D86A7B0430D8CDB78070B4C55A");
}

TEST(Rijndael, LongerKeyArrayUsesItsFirstBytes)
{
    const QByteArray longKey = kKey128 + QByteArray(16, '\x55');
    cRijndael cipher;
    cipher.SetCipherKey(longKey, 128);
    QByteArray out(16, '\0');
    cipher.BlockEncrypt(FromHex("00112233445566778899aabbccddeeff"), out, 0, 0);
    EXPECT_EQ(Hex(out), "69C4E0D86A7B0430D8CDB78070B4C55A");
}

TEST(Rijndael, KeyStringIsCutOrZeroFilledTo32Bytes)
{
    const QString phrase = "abcdefghijklmnopqrstuvwxyz0123456789ABCD"; // 40 characters
    cRijndael byString;
    byString.SetCipherKeyString(phrase, 256);
    const cRijndael byBytes = Keyed(phrase.toLatin1().left(32));
    const QByteArray block = FromHex("00112233445566778899aabbccddeeff");
    QByteArray a(16, '\0'), b(16, '\0');
    byString.BlockEncrypt(block, a, 0, 0);
    byBytes.BlockEncrypt(block, b, 0, 0);
    EXPECT_EQ(Hex(a), Hex(b));

    cRijndael shortPhrase;
    shortPhrase.SetCipherKeyString("key", 128);
    const cRijndael padded = Keyed(QByteArray("key") + QByteArray(13, '\0'));
    shortPhrase.BlockEncrypt(block, a, 0, 0);
    padded.BlockEncrypt(block, b, 0, 0);
    EXPECT_EQ(Hex(a), Hex(b));
}

TEST(Rijndael, ArrayEncryptPaddingAndLengthByte)
{
    const cRijndael cipher = Keyed(kKey128);
    QByteArray out, back;

    cipher.ArrayEncrypt(QByteArray(20, 'a'), out, 0);
    EXPECT_EQ(out.size(), 32);
    EXPECT_EQ(cipher.ArrayDecrypt(back, out, 0), 0);
    EXPECT_EQ(back, QByteArray(20, 'a') + QByteArray(12, '\0'));

    const QByteArray sixteen(16, 'q');
    cipher.ArrayEncrypt(sixteen, out, 0);
    EXPECT_EQ(out.size(), 16);
    cipher.ArrayEncrypt(sixteen, out, 1);
    ASSERT_EQ(out.size(), 32);
    EXPECT_EQ(cipher.ArrayDecrypt(back, out, 0), 0);
    EXPECT_EQ(back.mid(16), QByteArray(16, '\0')); // 15 zeros and the length byte 0
    EXPECT_EQ(cipher.ArrayDecrypt(back, out, 1), 0);
    EXPECT_EQ(back, sixteen);

    cipher.ArrayEncrypt(QByteArray(15, 'z'), out, 1);
    ASSERT_EQ(out.size(), 16);
    cipher.ArrayDecrypt(back, out, 0);
    EXPECT_EQ(back.at(15), 15);

    cipher.ArrayEncrypt(QByteArray(), out, 1);
    EXPECT_EQ(out.size(), 16);
    EXPECT_EQ(cipher.ArrayDecrypt(back, out, 1), 0);
    EXPECT_TRUE(back.isEmpty());
    cipher.ArrayEncrypt(QByteArray(), out, 0);
    EXPECT_TRUE(out.isEmpty());
}

TEST(Rijndael, ArrayDecryptStatuses)
{
    const cRijndael cipher = Keyed(kKey128);
    QByteArray plain("untouched");
    EXPECT_EQ(cipher.ArrayDecrypt(plain, QByteArray(17, 'x'), 0), -1);
    EXPECT_EQ(plain, "untouched");
    EXPECT_EQ(cipher.ArrayDecrypt(plain, QByteArray(17, 'x'), 1), -1);

    // A deciphered last byte of 0x20 with the length byte: status 1, all kept.
    QByteArray block(16, 'p');
    block[15] = 0x20;
    QByteArray cipherText;
    cipher.ArrayEncrypt(block, cipherText, 0);
    EXPECT_EQ(cipher.ArrayDecrypt(plain, cipherText, 1), 1);
    EXPECT_EQ(plain, block);
    block[15] = 16;
    cipher.ArrayEncrypt(block, cipherText, 0);
    EXPECT_EQ(cipher.ArrayDecrypt(plain, cipherText, 1), 1);
    block[15] = 15;
    cipher.ArrayEncrypt(block, cipherText, 0);
    EXPECT_EQ(cipher.ArrayDecrypt(plain, cipherText, 1), 0);
    EXPECT_EQ(plain, block.left(15));
}

TEST(Rijndael, EqualBlocksGiveEqualCipherBlocks)
{
    const cRijndael cipher = Keyed(kKey128);
    QByteArray out;
    cipher.ArrayEncrypt(QByteArray(32, 'e'), out, 0);
    EXPECT_EQ(out.left(16), out.mid(16));
}

TEST(Rijndael, MatchesOpenSslForAllKeySizesAndLengths)
{
    QRandomGenerator random(20261206);
    for (int keyBytes : {16, 24, 32}) {
        const QByteArray key = PseudoRandomBytes(keyBytes, random.generate());
        const cRijndael cipher = Keyed(key);
        std::vector<qsizetype> lengths;
        for (qsizetype n = 0; n <= 100; ++n)
            lengths.push_back(n);
        for (qsizetype n : {4096, 65536 + 7, 1 << 20})
            lengths.push_back(n);
        for (const qsizetype n : lengths) {
            const QByteArray plain = PseudoRandomBytes(n, random.generate());
            QByteArray padded = plain;
            padded.append((16 - n % 16) % 16, '\0');
            QByteArray ours;
            cipher.ArrayEncrypt(plain, ours, 0);
            ASSERT_EQ(Hex(ours), Hex(OpenSslEcb(key, padded, true)))
                << "key " << keyBytes << " length " << n;
            QByteArray back;
            cipher.ArrayDecrypt(back, ours, 0);
            ASSERT_EQ(back, padded) << "key " << keyBytes << " length " << n;
        }
    }
}

TEST(Rijndael, FileOfExactlyOnePieceGetsOneMoreBlock)
{
    QTemporaryDir dir;
    const QString plainPath = dir.filePath("plain.bin");
    const QString cipherPath = dir.filePath("cipher.bin");
    const QString backPath = dir.filePath("back.bin");
    const QByteArray plain = PseudoRandomBytes(4'000'000, 42);
    ASSERT_TRUE(WriteFile(plainPath, plain));
    const cRijndael cipher = Keyed(kKey128);
    EXPECT_EQ(cipher.FileEncrypt(plainPath, cipherPath), 0);
    const QByteArray cipherText = ReadFile(cipherPath);
    ASSERT_EQ(cipherText.size(), 4'000'016);
    QByteArray arrayCipher;
    cipher.ArrayEncrypt(plain, arrayCipher, 1);
    EXPECT_TRUE(cipherText == arrayCipher)
        << "the file format is ArrayEncrypt's with the length byte";
    QByteArray last;
    cipher.ArrayDecrypt(last, cipherText.right(16), 0);
    EXPECT_EQ(last, QByteArray(16, '\0'));
    EXPECT_EQ(cipher.FileDecrypt(backPath, cipherPath), 0);
    EXPECT_TRUE(ReadFile(backPath) == plain);
}

TEST(Rijndael, FilesAcrossPiecesRoundTrip)
{
    QTemporaryDir dir;
    const cRijndael cipher = Keyed(kKey128);
    for (qsizetype n : {0, 1, 15, 16, 8'000'005}) {
        const QByteArray plain = PseudoRandomBytes(n, static_cast<quint32>(n));
        ASSERT_TRUE(WriteFile(dir.filePath("p"), plain));
        EXPECT_EQ(cipher.FileEncrypt(dir.filePath("p"), dir.filePath("c")), 0);
        QByteArray expected;
        cipher.ArrayEncrypt(plain, expected, 1);
        EXPECT_TRUE(ReadFile(dir.filePath("c")) == expected) << n;
        EXPECT_EQ(cipher.FileDecrypt(dir.filePath("b"), dir.filePath("c")), 0);
        EXPECT_TRUE(ReadFile(dir.filePath("b")) == plain) << n;
    }
}

TEST(Rijndael, FileDecryptRefusesBadLengthsAndRaisesForMissingInput)
{
    QTemporaryDir dir;
    const cRijndael cipher = Keyed(kKey128);
    ASSERT_TRUE(WriteFile(dir.filePath("empty"), {}));
    ASSERT_TRUE(WriteFile(dir.filePath("odd"), QByteArray(17, 'x')));
    EXPECT_EQ(cipher.FileDecrypt(dir.filePath("out1"), dir.filePath("empty")), 1);
    EXPECT_EQ(cipher.FileDecrypt(dir.filePath("out2"), dir.filePath("odd")), 1);
    EXPECT_FALSE(QFile::exists(dir.filePath("out1")));
    EXPECT_FALSE(QFile::exists(dir.filePath("out2")));
    EXPECT_THROW(cipher.FileEncrypt(dir.filePath("missing"), dir.filePath("out3")), IoError);
    // A length byte of 16 or more: the last piece is written whole.
    QByteArray block(16, 'w');
    block[15] = 0x40;
    QByteArray cipherText;
    cipher.ArrayEncrypt(block, cipherText, 0);
    ASSERT_TRUE(WriteFile(dir.filePath("big"), cipherText));
    EXPECT_EQ(cipher.FileDecrypt(dir.filePath("out4"), dir.filePath("big")), 0);
    EXPECT_EQ(ReadFile(dir.filePath("out4")), block);
}
