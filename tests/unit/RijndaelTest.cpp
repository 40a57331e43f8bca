#include "crypto/cRijndael.h"
#include "startup/Errors.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>
#include <gmock/gmock.h>

namespace {
// FIPS-197, Appendix C: the plaintext and the key of the examples.
const QByteArray kPlain = QByteArray::fromHex("00112233445566778899aabbccddeeff");
const QByteArray kKey = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f1011121314151617") +
                        QByteArray::fromHex("18191a1b1c1d1e1f");

cRijndael Keyed(const QByteArray& key, int bits = 0)
{
    cRijndael cipher;
    cipher.SetCipherKey(key, bits ? bits : int(key.size() * 8));
    return cipher;
}

std::string Encrypted(const cRijndael& cipher, const QByteArray& plain = kPlain)
{
    QByteArray out;
    cipher.ArrayEncrypt(plain, out, 0);
    return Hex(out);
}

// Raises error number with a description that begins with text.
auto Raises(int number, const std::string& text = "")
{
    using namespace testing;
    return Throws<RaisedError>(AllOf(Property(&RaisedError::Number, number),
                                     Property(&RaisedError::what, StartsWith(text))));
}
} // namespace

TEST(Rijndael, KnownAnswersAndOpenSslForEveryKeySize)
{
    // FIPS-197, Appendix C.1 to C.3.
    const std::pair<int, const char*> fips[] = {{16, "69C4E0D86A7B0430D8CDB78070B4C55A"},
                                                {24, "DDA97CA4864CDFE06EAF70A0EC0D7191"},
                                                {32, "8EA2B7CA516745BFEAFC49904B496089"}};
    for (const auto& [bytes, want] : fips) {
        const cRijndael cipher = Keyed(kKey.left(bytes));
        QByteArray buffer = "xxxxx" + kPlain + "yyy";
        cipher.BlockEncrypt(buffer, buffer, 5, 5); // one array as both, at an offset
        EXPECT_EQ(Hex(buffer), Hex("xxxxx" + QByteArray::fromHex(want) + "yyy")) << bytes * 8;
        cipher.BlockDecrypt(buffer, buffer, 5, 5);
        EXPECT_EQ(buffer.mid(5, 16), kPlain) << bytes * 8;
        // OpenSSL, the independent implementation, on zero-padded input of many lengths.
        const QByteArray key = PseudoRandomBytes(bytes, bytes);
        const QString aes = QString("-aes-%1-ecb").arg(bytes * 8), hexKey = key.toHex();
        for (const qsizetype n : {0, 1, 15, 16, 17, 33, 65536 + 7}) {
            const QByteArray plain = PseudoRandomBytes(n, quint32(n));
            const QByteArray padded = plain + QByteArray((16 - n % 16) % 16, '\0');
            const ProcessResult openssl =
                RunProcess("openssl", {"enc", aes, "-nopad", "-K", hexKey}, padded);
            ASSERT_EQ(Encrypted(Keyed(key), plain), Hex(openssl.out)) << n << openssl.err.data();
        }
    }
}

TEST(Rijndael, KeysBlocksAndArrays)
{
    cRijndael cipher = Keyed(kKey.left(16));
    for (const int bits : {0, 64, 127, 129, 512})
        EXPECT_THAT([&] { cipher.SetCipherKey(kKey + kKey, bits); },
                    Raises(1, "cRijndael.SetCipherKey - Illegal KeyBits Value"))
            << bits;
    EXPECT_EQ(Encrypted(cipher), Encrypted(Keyed(kKey, 128))) << "kept, and a longer key's start";
    EXPECT_EQ(Encrypted(cipher), "69C4E0D86A7B0430D8CDB78070B4C55A");
    cipher.SetCipherKeyString("abcdefghijklmnopqrstuvwxyz0123456789ABCD", 256); // cut to 32
    EXPECT_EQ(Encrypted(cipher), Encrypted(Keyed("abcdefghijklmnopqrstuvwxyz012345")));
    QByteArray small(20, 'a');
    EXPECT_THAT([&] { cipher.BlockEncrypt(kKey, small, 0, 5); }, Raises(9)); // one byte out
    EXPECT_EQ(small, QByteArray(20, 'a')) << "nothing written";

    const QByteArray a20(20, 'a'), q16(16, 'q'), z15(15, 'z');
    // plaintext, appendsize -> ciphertext size, ArrayDecrypt's status and result with the same
    // appendsize; appendsize 2 enciphers without the length byte and deciphers with it.
    // clang-format off
    const std::tuple<QByteArray, int, qsizetype, int, QByteArray> cases[] = {
        {a20, 0, 32, 0, a20 + QByteArray(12, '\0')}, {q16, 0, 16, 0, q16}, {q16, 1, 32, 0, q16},
        {z15, 1, 16, 0, z15}, {"", 1, 16, 0, ""}, {"", 0, 0, 0, ""}, {z15 + '\x0F', 2, 16, 0, z15},
        {z15 + '\x10', 2, 16, 1, z15 + '\x10'}, {z15 + '\x20', 2, 16, 1, z15 + '\x20'}};
    // clang-format on
    for (const auto& [plain, appendsize, size, status, back] : cases) {
        QByteArray out, got;
        EXPECT_EQ(cipher.ArrayEncrypt(plain, out, appendsize & 1), 0);
        EXPECT_EQ(out.size(), size) << Hex(plain) << "/" << appendsize;
        EXPECT_EQ(cipher.ArrayDecrypt(got, out, appendsize), status) << Hex(plain) << appendsize;
        EXPECT_EQ(Hex(got), Hex(back)) << Hex(plain) << "/" << appendsize;
    }
    QByteArray untouched("untouched");
    EXPECT_EQ(cipher.ArrayDecrypt(untouched, QByteArray(17, 'x'), 1), -1);
    EXPECT_EQ(untouched, "untouched") << "a length not a multiple of 16";
}

TEST(Rijndael, FilesAreTheArrayFormatAlsoInPlaceAndFaultsRaise)
{
    QTemporaryDir dir;
    const cRijndael cipher = Keyed(kKey.left(16));
    const QString p = dir.filePath("p"), c = dir.filePath("c"), none = dir.filePath("none");
    // A piece of exactly 4,000,000 bytes is followed by a block of the length byte only.
    for (const qsizetype n : {0, 15, 16, 4'000'000}) {
        const QByteArray plain = PseudoRandomBytes(n, quint32(n));
        QByteArray expected;
        cipher.ArrayEncrypt(plain, expected, 1);
        ASSERT_TRUE(WriteFile(p, plain));
        EXPECT_EQ(cipher.FileEncrypt(p, p), 0); // one path as input and output
        EXPECT_TRUE(ReadFile(p) == expected) << n;
        EXPECT_EQ(cipher.FileDecrypt(p, p), 0);
        EXPECT_TRUE(ReadFile(p) == plain) << n;
    }
    ASSERT_TRUE(WriteFile(p, QByteArray(17, 'x')) && WriteFile(c, {}));
    EXPECT_EQ(cipher.FileDecrypt(none, p) + cipher.FileDecrypt(none, c), 2) << "17 and 0 bytes";
    EXPECT_THAT([&] { cipher.FileEncrypt(none, p); }, Raises(53));
    EXPECT_THAT([&] { cipher.FileDecrypt(p, none); }, Raises(53));
    EXPECT_THAT([&] { cipher.FileEncrypt(p, dir.filePath("no/such")); }, Raises(75));
    EXPECT_FALSE(QFile::exists(none));
}
