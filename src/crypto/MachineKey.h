#pragma once

#include "startup/TextHelpers.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

// The two keys of the program's encrypted files and the machine identifier.
// The built-in key is shared with the vendor; the machine key comes from a
// hardware identifier, so that a file enciphered under it cannot be read on
// another computer.

// The hardware identifier: the installation's stable identifier (standing for
// the board serial number); when that is shorter than 6 characters after
// trimming or contains "O.E.M.", the processor identifier. Empty on failure.
QString GetHardwareID();

// Four groups of 8 upper-case hex digits joined by "-", or empty text. A
// non-empty result is kept for the rest of the run; an empty one is not.
QString GetMachineID();

// 32 bytes built at run time; the cipher uses the first 16.
QByteArray GetBuiltinKey();
// 16 bytes: the first 32 hex digits of the machine identifier.
QByteArray GetMachineKey();

// Zero-padded AES-128 of each 16-byte block. No storage in, none out.
ByteArray EncryptBytes(const ByteArray& data, bool useMachineKey);
// The plaintext with its zero padding; no storage when data has none or its
// length is not a multiple of 16.
ByteArray DecryptBytes(const ByteArray& data, bool useMachineKey);

// Pairs of hex digits (either case) become bytes; every other character is
// skipped and an unpaired last digit dropped. No pair gives no storage.
ByteArray HexToBytes(const QString& text);
// Two upper-case digits per byte; two spaces before each byte whose index is a
// non-zero multiple of group.
QString BytesToHex(const QByteArray& bytes, qsizetype count, int32_t group);

// The text a package checksum enciphers (name "@" version); empty for
// malformed input.
QString DecryptHexString(const QString& text);

// Where the hardware identifier comes from; tests replace the sources and
// count the queries. Each source gives empty text when it has nothing.
struct HardwareSources
{
    std::function<QString()> boardSerial;
    std::function<QString()> processorId;
};
void SetHardwareSources(HardwareSources sources);
HardwareSources DefaultHardwareSources();
// Forgets the cached machine identifier.
void ResetMachineIdCache();
