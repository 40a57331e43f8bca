#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

// The AES block cipher of FIPS-197 (128-bit block; 128-, 192- and 256-bit
// keys) on byte arrays. Every 16-byte block is enciphered by itself: no
// chaining and no IV. Errors are raised as RaisedError with number 1 (misuse)
// or 9 (a block outside its array); file-system errors as IoError.
class cRijndael
{
public:
    cRijndael();

    // Keys with the first KeyBits/8 bytes of pass. Status 0; any KeyBits other
    // than 128, 192 or 256 raises error 1 and leaves the schedules in force.
    int32_t SetCipherKey(const QByteArray& pass, int32_t KeyBits);
    // The phrase in the locale's 8-bit encoding, cut or zero-filled to 32 bytes.
    int32_t SetCipherKeyString(const QString& PassPhrase, int32_t KeyBits);

    // 16 bytes of plaintext from p into ciphertext from q; the two may be one
    // array (in place). The block must lie within both arrays.
    void BlockEncrypt(const QByteArray& plaintext, QByteArray& ciphertext, int32_t p,
                      int32_t q) const;
    void BlockEncrypt(QByteArray& inPlace, int32_t p) const;
    // 16 bytes of ciphertext from q into plaintext from p.
    void BlockDecrypt(QByteArray& plaintext, const QByteArray& ciphertext, int32_t p,
                      int32_t q) const;
    void BlockDecrypt(QByteArray& inPlace, int32_t p) const;

    // Zero-pads to a multiple of 16; with appendsize non-zero always adds 1..16
    // bytes whose last holds n mod 16. Status 0.
    int32_t ArrayEncrypt(const QByteArray& plaintext, QByteArray& ciphertext,
                         int32_t appendsize) const;
    // Status -1 (plaintext untouched) for a length not a multiple of 16; with
    // appendsize, 1 when the length byte is 16 or more (all bytes kept).
    int32_t ArrayDecrypt(QByteArray& plaintext, const QByteArray& ciphertext,
                         int32_t appendsize) const;

    // The ArrayEncrypt format with the length byte over a whole file, holding
    // at most FilePieceSize bytes at a time. Status 0. The output replaces its
    // file only when complete, so input and output may be the same path. A
    // missing input or an output that cannot be written raises IoError.
    int32_t FileEncrypt(const QString& PlaintextFileName, const QString& CiphertextFileName) const;
    // Status 1 (no file opened) for an empty input or a length not a multiple
    // of 16; a missing input raises IoError 53.
    int32_t FileDecrypt(const QString& PlaintextFileName, const QString& CiphertextFileName) const;

    static constexpr qint64 FilePieceSize = 4'000'000;

    // Raw block operations for whole buffers; len must be a multiple of 16.
    void EncryptBlocks(const uint8_t* in, uint8_t* out, size_t len) const;
    void DecryptBlocks(const uint8_t* in, uint8_t* out, size_t len) const;

private:
    void EncryptBlock(const uint8_t* in, uint8_t* out) const;
    void DecryptBlock(const uint8_t* in, uint8_t* out) const;
    void MakeDecryptionSchedule(int blockWords);

    int32_t rounds_ = 0;
    std::array<uint32_t, 60> encryptKey_{};
    std::array<uint32_t, 60> decryptKey_{};
};
