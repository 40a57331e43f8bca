#include "cRijndael.h"

#include "startup/Errors.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cstring>
#include <vector>

namespace {

// GF(2^8) with the reduction polynomial 0x11B.
constexpr uint8_t XTime(uint8_t b)
{
    return static_cast<uint8_t>((b << 1) ^ ((b & 0x80) ? 0x1B : 0));
}

constexpr uint8_t Rotl8(uint8_t b, int n)
{
    return static_cast<uint8_t>((b << n) | (b >> (8 - n)));
}

constexpr uint32_t Rotl32(uint32_t w, int n)
{
    return (w << n) | (w >> (32 - n));
}

constexpr uint32_t Lanes(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3)
{
    return uint32_t(b0) | uint32_t(b1) << 8 | uint32_t(b2) << 16 | uint32_t(b3) << 24;
}

// Every table is derived from the log and antilog tables of generator 3, as
// the cipher's authors describe it; the compiler evaluates this once.
struct Tables
{
    uint8_t antilog[256]{};
    uint8_t log[256]{};
    uint8_t sbox[256]{};
    uint8_t inverseSbox[256]{};
    uint32_t forward[4][256]{};
    uint32_t forwardSub[256]{};
    uint32_t inverse[4][256]{};
    uint32_t inverseSub[256]{};
    uint32_t roundConstant[10]{};

    constexpr uint8_t Mul(uint8_t a, uint8_t c) const
    {
        if (a == 0 || c == 0)
            return 0;
        return antilog[(log[a] + log[c]) % 255];
    }

    constexpr Tables()
    {
        antilog[0] = 1;
        antilog[1] = 3;
        for (int i = 2; i < 256; ++i)
            antilog[i] = static_cast<uint8_t>(antilog[i - 1] ^ XTime(antilog[i - 1]));
        for (int i = 0; i < 255; ++i)
            log[antilog[i]] = static_cast<uint8_t>(i);
        log[0] = 0;
        log[1] = 0;
        log[3] = 1;

        sbox[0] = 0x63;
        inverseSbox[0x63] = 0;
        for (int x = 1; x < 256; ++x) {
            const uint8_t y = antilog[255 - log[x]];
            const uint8_t s = static_cast<uint8_t>(y ^ Rotl8(y, 1) ^ Rotl8(y, 2) ^ Rotl8(y, 3) ^
                                                   Rotl8(y, 4) ^ 0x63);
            sbox[x] = s;
            inverseSbox[s] = static_cast<uint8_t>(x);
        }

        uint8_t rc = 1;
        for (int i = 0; i < 10; ++i) {
            roundConstant[i] = rc;
            rc = XTime(rc);
        }

        for (int x = 0; x < 256; ++x) {
            const uint8_t s = sbox[x];
            const uint8_t s2 = XTime(s);
            const uint8_t s3 = static_cast<uint8_t>(s2 ^ s);
            forward[0][x] = Lanes(s2, s, s, s3);
            forwardSub[x] = Lanes(s, s, s, s);
            const uint8_t r = inverseSbox[x];
            inverse[0][x] = Lanes(Mul(r, 0x0E), Mul(r, 0x09), Mul(r, 0x0D), Mul(r, 0x0B));
            inverseSub[x] = Lanes(r, r, r, r);
            for (int t = 1; t < 4; ++t) {
                forward[t][x] = Rotl32(forward[0][x], 8 * t);
                inverse[t][x] = Rotl32(inverse[0][x], 8 * t);
            }
        }
    }
};

constexpr Tables kTables;

inline uint32_t LoadWord(const uint8_t* p)
{
    uint32_t w;
    std::memcpy(&w, p, 4); // little-endian lanes on the machines we build for
    return w;
}

inline void StoreWord(uint8_t* p, uint32_t w)
{
    std::memcpy(p, &w, 4);
}

inline uint32_t SubWord(uint32_t w)
{
    const auto& sub = kTables.forwardSub;
    return (sub[w & 0xFF] & 0x000000FF) | (sub[(w >> 8) & 0xFF] & 0x0000FF00) |
           (sub[(w >> 16) & 0xFF] & 0x00FF0000) | (sub[w >> 24] & 0xFF000000);
}

[[noreturn]] void OutOfRange()
{
    throw RaisedError(ErrorNumber::SubscriptOutOfRange, QStringLiteral("Subscript out of range"));
}

void CheckBlock(const QByteArray& array, int32_t offset)
{
    if (offset < 0 || static_cast<qint64>(offset) + 16 > array.size())
        OutOfRange();
}

} // namespace

static_assert(kTables.sbox[0x00] == 0x63 && kTables.sbox[0x53] == 0xED &&
                  kTables.sbox[0xFF] == 0x16,
              "S-box values of FIPS-197 Figure 7");
static_assert(kTables.roundConstant[9] == 0x36, "the tenth round constant of FIPS-197");

cRijndael::cRijndael() = default;

int32_t cRijndael::SetCipherKey(const QByteArray& pass, int32_t KeyBits)
{
    int keyWords;
    int rounds;
    switch (KeyBits) {
    case 128:
        keyWords = 4, rounds = 10;
        break;
    case 192:
        keyWords = 6, rounds = 12;
        break;
    case 256:
        keyWords = 8, rounds = 14;
        break;
    default:
        throw RaisedError(1, QStringLiteral("cRijndael.SetCipherKey - Illegal KeyBits Value"));
    }
    if (pass.size() < KeyBits / 8)
        OutOfRange();

    std::array<uint32_t, 60> key{};
    for (int i = 0; i < keyWords; ++i)
        key[i] = LoadWord(reinterpret_cast<const uint8_t*>(pass.constData()) + 4 * i);
    const int total = 4 * (rounds + 1);
    for (int i = keyWords; i < total; ++i) {
        uint32_t temp = key[i - 1];
        if (i % keyWords == 0)
            temp = SubWord(Rotl32(temp, 24)) ^ kTables.roundConstant[i / keyWords - 1];
        else if (keyWords == 8 && i % 8 == 4)
            temp = SubWord(temp);
        key[i] = key[i - keyWords] ^ temp;
    }
    rounds_ = rounds;
    encryptKey_ = key;
    MakeDecryptionSchedule(4);
    return 0;
}

void cRijndael::MakeDecryptionSchedule(int blockWords)
{
    const int total = blockWords * (rounds_ + 1);
    for (int round = 0; round <= rounds_; ++round)
        for (int j = 0; j < blockWords; ++j)
            decryptKey_[round * blockWords + j] = encryptKey_[(rounds_ - round) * blockWords + j];
    const auto& t = kTables;
    for (int i = blockWords; i < total - blockWords; ++i) {
        const uint32_t w = decryptKey_[i];
        decryptKey_[i] = t.inverse[0][t.sbox[w & 0xFF]] ^ t.inverse[1][t.sbox[(w >> 8) & 0xFF]] ^
                         t.inverse[2][t.sbox[(w >> 16) & 0xFF]] ^ t.inverse[3][t.sbox[w >> 24]];
    }
}

int32_t cRijndael::SetCipherKeyString(const QString& PassPhrase, int32_t KeyBits)
{
    QByteArray bytes = PassPhrase.toLocal8Bit().left(32);
    bytes.append(32 - bytes.size(), '\0');
    return SetCipherKey(bytes, KeyBits);
}

void cRijndael::EncryptBlock(const uint8_t* in, uint8_t* out) const
{
    const auto& t = kTables;
    const uint32_t* rk = encryptKey_.data();
    uint32_t s0 = LoadWord(in) ^ rk[0];
    uint32_t s1 = LoadWord(in + 4) ^ rk[1];
    uint32_t s2 = LoadWord(in + 8) ^ rk[2];
    uint32_t s3 = LoadWord(in + 12) ^ rk[3];
    for (int round = 1; round < rounds_; ++round) {
        rk += 4;
        const uint32_t t0 = t.forward[0][s0 & 0xFF] ^ t.forward[1][(s1 >> 8) & 0xFF] ^
                            t.forward[2][(s2 >> 16) & 0xFF] ^ t.forward[3][s3 >> 24] ^ rk[0];
        const uint32_t t1 = t.forward[0][s1 & 0xFF] ^ t.forward[1][(s2 >> 8) & 0xFF] ^
                            t.forward[2][(s3 >> 16) & 0xFF] ^ t.forward[3][s0 >> 24] ^ rk[1];
        const uint32_t t2 = t.forward[0][s2 & 0xFF] ^ t.forward[1][(s3 >> 8) & 0xFF] ^
                            t.forward[2][(s0 >> 16) & 0xFF] ^ t.forward[3][s1 >> 24] ^ rk[2];
        const uint32_t t3 = t.forward[0][s3 & 0xFF] ^ t.forward[1][(s0 >> 8) & 0xFF] ^
                            t.forward[2][(s1 >> 16) & 0xFF] ^ t.forward[3][s2 >> 24] ^ rk[3];
        s0 = t0, s1 = t1, s2 = t2, s3 = t3;
    }
    rk += 4;
    const auto last = [&](uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t key) {
        return (t.forwardSub[a & 0xFF] & 0x000000FF) ^
               (t.forwardSub[(b >> 8) & 0xFF] & 0x0000FF00) ^
               (t.forwardSub[(c >> 16) & 0xFF] & 0x00FF0000) ^
               (t.forwardSub[d >> 24] & 0xFF000000) ^ key;
    };
    StoreWord(out, last(s0, s1, s2, s3, rk[0]));
    StoreWord(out + 4, last(s1, s2, s3, s0, rk[1]));
    StoreWord(out + 8, last(s2, s3, s0, s1, rk[2]));
    StoreWord(out + 12, last(s3, s0, s1, s2, rk[3]));
}

void cRijndael::DecryptBlock(const uint8_t* in, uint8_t* out) const
{
    const auto& t = kTables;
    const uint32_t* rk = decryptKey_.data();
    uint32_t s0 = LoadWord(in) ^ rk[0];
    uint32_t s1 = LoadWord(in + 4) ^ rk[1];
    uint32_t s2 = LoadWord(in + 8) ^ rk[2];
    uint32_t s3 = LoadWord(in + 12) ^ rk[3];
    for (int round = 1; round < rounds_; ++round) {
        rk += 4;
        const uint32_t t0 = t.inverse[0][s0 & 0xFF] ^ t.inverse[1][(s3 >> 8) & 0xFF] ^
                            t.inverse[2][(s2 >> 16) & 0xFF] ^ t.inverse[3][s1 >> 24] ^ rk[0];
        const uint32_t t1 = t.inverse[0][s1 & 0xFF] ^ t.inverse[1][(s0 >> 8) & 0xFF] ^
                            t.inverse[2][(s3 >> 16) & 0xFF] ^ t.inverse[3][s2 >> 24] ^ rk[1];
        const uint32_t t2 = t.inverse[0][s2 & 0xFF] ^ t.inverse[1][(s1 >> 8) & 0xFF] ^
                            t.inverse[2][(s0 >> 16) & 0xFF] ^ t.inverse[3][s3 >> 24] ^ rk[2];
        const uint32_t t3 = t.inverse[0][s3 & 0xFF] ^ t.inverse[1][(s2 >> 8) & 0xFF] ^
                            t.inverse[2][(s1 >> 16) & 0xFF] ^ t.inverse[3][s0 >> 24] ^ rk[3];
        s0 = t0, s1 = t1, s2 = t2, s3 = t3;
    }
    rk += 4;
    const auto last = [&](uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t key) {
        return (t.inverseSub[a & 0xFF] & 0x000000FF) ^
               (t.inverseSub[(b >> 8) & 0xFF] & 0x0000FF00) ^
               (t.inverseSub[(c >> 16) & 0xFF] & 0x00FF0000) ^
               (t.inverseSub[d >> 24] & 0xFF000000) ^ key;
    };
    StoreWord(out, last(s0, s3, s2, s1, rk[0]));
    StoreWord(out + 4, last(s1, s0, s3, s2, rk[1]));
    StoreWord(out + 8, last(s2, s1, s0, s3, rk[2]));
    StoreWord(out + 12, last(s3, s2, s1, s0, rk[3]));
}

void cRijndael::EncryptBlocks(const uint8_t* in, uint8_t* out, size_t len) const
{
    for (size_t offset = 0; offset + 16 <= len; offset += 16)
        EncryptBlock(in + offset, out + offset);
}

void cRijndael::DecryptBlocks(const uint8_t* in, uint8_t* out, size_t len) const
{
    for (size_t offset = 0; offset + 16 <= len; offset += 16)
        DecryptBlock(in + offset, out + offset);
}

void cRijndael::BlockEncrypt(const QByteArray& plaintext, QByteArray& ciphertext, int32_t p,
                             int32_t q) const
{
    CheckBlock(plaintext, p);
    CheckBlock(ciphertext, q);
    uint8_t block[16];
    std::memcpy(block, plaintext.constData() + p, 16); // read whole before writing
    EncryptBlock(block, reinterpret_cast<uint8_t*>(ciphertext.data()) + q);
}

void cRijndael::BlockEncrypt(QByteArray& inPlace, int32_t p) const
{
    CheckBlock(inPlace, p);
    auto* data = reinterpret_cast<uint8_t*>(inPlace.data()) + p;
    EncryptBlock(data, data);
}

void cRijndael::BlockDecrypt(QByteArray& plaintext, const QByteArray& ciphertext, int32_t p,
                             int32_t q) const
{
    CheckBlock(plaintext, p);
    CheckBlock(ciphertext, q);
    uint8_t block[16];
    std::memcpy(block, ciphertext.constData() + q, 16);
    DecryptBlock(block, reinterpret_cast<uint8_t*>(plaintext.data()) + p);
}

void cRijndael::BlockDecrypt(QByteArray& inPlace, int32_t p) const
{
    CheckBlock(inPlace, p);
    auto* data = reinterpret_cast<uint8_t*>(inPlace.data()) + p;
    DecryptBlock(data, data);
}

int32_t cRijndael::ArrayEncrypt(const QByteArray& plaintext, QByteArray& ciphertext,
                                int32_t appendsize) const
{
    const qsizetype n = plaintext.size();
    const qsizetype m = appendsize != 0 ? (n / 16 + 1) * 16 : (n + 15) / 16 * 16;
    const qsizetype whole = n / 16 * 16;
    QByteArray out(m, Qt::Uninitialized);
    auto* data = reinterpret_cast<uint8_t*>(out.data());
    EncryptBlocks(reinterpret_cast<const uint8_t*>(plaintext.constData()), data,
                  static_cast<size_t>(whole));
    if (whole < m) {
        // The remaining bytes, zeros, and the length byte where it is asked for.
        uint8_t last[16] = {};
        std::memcpy(last, plaintext.constData() + whole, static_cast<size_t>(n - whole));
        if (appendsize != 0)
            last[15] = static_cast<uint8_t>(n % 16);
        EncryptBlock(last, data + whole);
    }
    ciphertext = std::move(out);
    return 0;
}

int32_t cRijndael::ArrayDecrypt(QByteArray& plaintext, const QByteArray& ciphertext,
                                int32_t appendsize) const
{
    const qsizetype n = ciphertext.size();
    if (n % 16 != 0)
        return -1;
    QByteArray out(n, Qt::Uninitialized);
    DecryptBlocks(reinterpret_cast<const uint8_t*>(ciphertext.constData()),
                  reinterpret_cast<uint8_t*>(out.data()), static_cast<size_t>(n));
    int32_t status = 0;
    if (appendsize != 0 && n > 0) {
        const auto last = static_cast<uint8_t>(out.at(n - 1));
        if (last < 16)
            out.truncate(n - 16 + last);
        else
            status = 1;
    }
    plaintext = std::move(out);
    return status;
}

namespace {
void OpenOrRaise(QFileDevice& file, QIODevice::OpenMode mode)
{
    if (!file.open(mode))
        throw IoError(mode & QIODevice::WriteOnly ? ErrorNumber::PathAccess
                                                  : ErrorNumber::FileNotFound,
                      QStringLiteral("%1: %2").arg(file.fileName(), file.errorString()));
}

void ReadExactly(QFile& file, char* into, qint64 count)
{
    if (count > 0 && file.read(into, count) != count)
        throw IoError(ErrorNumber::PathAccess,
                      QStringLiteral("%1: short read").arg(file.fileName()));
}

void WriteAll(QSaveFile& file, const char* from, qint64 count)
{
    if (count > 0 && file.write(from, count) != count)
        throw IoError(ErrorNumber::PathAccess,
                      QStringLiteral("%1: %2").arg(file.fileName(), file.errorString()));
}

void CommitOrRaise(QSaveFile& file)
{
    if (!file.commit())
        throw IoError(ErrorNumber::PathAccess,
                      QStringLiteral("%1: %2").arg(file.fileName(), file.errorString()));
}
} // namespace

// Both file operations write the output through a temporary file that is
// renamed over it only when complete: the output may be the input itself, and
// a failure must not leave a half-written file in place of the old one.

int32_t cRijndael::FileEncrypt(const QString& PlaintextFileName,
                               const QString& CiphertextFileName) const
{
    QFile in(PlaintextFileName);
    OpenOrRaise(in, QIODevice::ReadOnly);
    const qint64 length = in.size();
    qint64 remaining = (length / 16 + 1) * 16;
    QSaveFile out(CiphertextFileName);
    OpenOrRaise(out, QIODevice::WriteOnly);
    std::vector<char> piece;
    while (remaining > FilePieceSize) {
        piece.assign(static_cast<size_t>(FilePieceSize), '\0');
        ReadExactly(in, piece.data(), FilePieceSize);
        auto* data = reinterpret_cast<uint8_t*>(piece.data());
        EncryptBlocks(data, data, piece.size());
        WriteAll(out, piece.data(), FilePieceSize);
        remaining -= FilePieceSize;
    }
    piece.assign(static_cast<size_t>(remaining), '\0');
    ReadExactly(in, piece.data(), length - in.pos());
    piece.back() = static_cast<char>(length % 16);
    auto* data = reinterpret_cast<uint8_t*>(piece.data());
    EncryptBlocks(data, data, piece.size());
    WriteAll(out, piece.data(), remaining);
    in.close();
    CommitOrRaise(out);
    return 0;
}

int32_t cRijndael::FileDecrypt(const QString& PlaintextFileName,
                               const QString& CiphertextFileName) const
{
    // A missing input is an error of the file system, not a bad length.
    if (!QFileInfo(CiphertextFileName).isFile())
        throw IoError(ErrorNumber::FileNotFound,
                      QStringLiteral("%1: File not found").arg(CiphertextFileName));
    const qint64 length = QFileInfo(CiphertextFileName).size();
    if (length == 0 || length % 16 != 0)
        return 1;
    QFile in(CiphertextFileName);
    OpenOrRaise(in, QIODevice::ReadOnly);
    QSaveFile out(PlaintextFileName);
    OpenOrRaise(out, QIODevice::WriteOnly);
    qint64 remaining = length;
    std::vector<char> piece;
    while (remaining > FilePieceSize) {
        piece.resize(static_cast<size_t>(FilePieceSize));
        ReadExactly(in, piece.data(), FilePieceSize);
        auto* data = reinterpret_cast<uint8_t*>(piece.data());
        DecryptBlocks(data, data, piece.size());
        WriteAll(out, piece.data(), FilePieceSize);
        remaining -= FilePieceSize;
    }
    piece.resize(static_cast<size_t>(remaining));
    ReadExactly(in, piece.data(), remaining);
    auto* data = reinterpret_cast<uint8_t*>(piece.data());
    DecryptBlocks(data, data, piece.size());
    const auto last = static_cast<uint8_t>(piece.back());
    const qint64 keep = last < 16 ? remaining - 16 + last : remaining;
    WriteAll(out, piece.data(), keep);
    in.close();
    CommitOrRaise(out);
    return 0;
}
