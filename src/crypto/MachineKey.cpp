#include "MachineKey.h"

#include "cRijndael.h"

#include <QFile>
#include <array>
#include <cpuid.h>
#include <cstring>

namespace {

QString ReadMachineIdFile()
{
    // Readable by every user and stable for the installation, unlike the DMI
    // board serial, which only root may read.
    for (const char* path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
        QFile file(QString::fromLatin1(path));
        if (file.open(QIODevice::ReadOnly))
            return QString::fromLatin1(file.readAll());
    }
    return {};
}

QString ReadProcessorId()
{
    // As the management interface reports it: CPUID leaf 1, EDX then EAX.
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0)
        return {};
    return QStringLiteral("%1%2")
        .arg(edx, 8, 16, QChar(u'0'))
        .arg(eax, 8, 16, QChar(u'0'))
        .toUpper();
}

HardwareSources& Sources()
{
    static HardwareSources sources = DefaultHardwareSources();
    return sources;
}

QString& CachedMachineId()
{
    static QString cached;
    return cached;
}

// Six constants, each written at overlapping offsets; the key exists only
// while it is used.
constexpr std::array<uint32_t, 6> kKeyConstants = {0x6B3A91D5u, 0x2F84C07Eu, 0x93E15A2Cu,
                                                   0x5D7F0B48u, 0xC4269E13u, 0x7AB8F361u};

QByteArray KeyFor(bool useMachineKey)
{
    // Both keys are made on every call, so the first call of a run reads the
    // hardware identifier whichever key is chosen.
    QByteArray machine = GetMachineKey();
    QByteArray builtin = GetBuiltinKey();
    return useMachineKey ? machine : builtin;
}

int HexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return -1;
}

} // namespace

HardwareSources DefaultHardwareSources()
{
    return {ReadMachineIdFile, ReadProcessorId};
}

void SetHardwareSources(HardwareSources sources)
{
    Sources() = std::move(sources);
    ResetMachineIdCache();
}

void ResetMachineIdCache()
{
    CachedMachineId().clear();
}

QString GetHardwareID()
{
    QString id = TrimNull(Sources().boardSerial ? Sources().boardSerial() : QString()).trimmed();
    if (id.size() < 6 || id.contains(QStringLiteral("O.E.M.")))
        id = Sources().processorId ? Sources().processorId() : QString();
    return id;
}

QString GetMachineID()
{
    QString& cached = CachedMachineId();
    if (!cached.isEmpty())
        return cached;
    const QString hardware = GetHardwareID().right(16);
    if (TrimNull(hardware).isEmpty()) {
        cached.clear();
        return {};
    }
    cRijndael cipher;
    cipher.SetCipherKey(GetBuiltinKey(), 128);
    QByteArray cipherText;
    cipher.ArrayEncrypt(hardware.toLocal8Bit(), cipherText, 0);
    const QString hex = BytesToHex(cipherText, cipherText.size(), 16);
    QStringList groups;
    for (qsizetype at = 0; at < hex.size(); at += 8)
        groups << hex.mid(at, 8);
    cached = groups.join(u'-');
    return cached;
}

QByteArray GetBuiltinKey()
{
    QByteArray key(32, '\0');
    for (int i = 0; i <= 28; ++i) {
        int which;
        int width = 4;
        if (i % 5 != 0)
            which = 0;
        else if (i % 7 != 0)
            which = 1, width = 3;
        else if (i % 3 != 0)
            which = 2, width = 2;
        else if (i % 11 != 0)
            which = 3;
        else if (i % 2 != 0)
            which = 4;
        else
            which = 5;
        const uint32_t value = kKeyConstants[static_cast<size_t>(which)];
        for (int b = 0; b < width; ++b)
            key[i + b] = static_cast<char>((value >> (8 * b)) & 0xFF);
    }
    return key;
}

QByteArray GetMachineKey()
{
    const QString digits = GetMachineID().remove(u'-');
    QByteArray key(16, '\0');
    for (int k = 0; k < 16; ++k) {
        // Missing characters count as no digits; a non-hex one ends the number.
        int value = 0;
        for (qsizetype at = 2 * k; at < 2 * k + 2 && at < digits.size(); ++at) {
            const int v = HexValue(digits.at(at));
            if (v < 0)
                break;
            value = value * 16 + v;
        }
        key[k] = static_cast<char>(value);
    }
    return key;
}

ByteArray EncryptBytes(const ByteArray& data, bool useMachineKey)
{
    if (IsArrayEmpty(data))
        return std::nullopt;
    cRijndael cipher;
    cipher.SetCipherKey(KeyFor(useMachineKey), 128);
    QByteArray result;
    cipher.ArrayEncrypt(*data, result, 0);
    return result;
}

ByteArray DecryptBytes(const ByteArray& data, bool useMachineKey)
{
    if (IsArrayEmpty(data))
        return std::nullopt;
    cRijndael cipher;
    cipher.SetCipherKey(KeyFor(useMachineKey), 128);
    QByteArray result;
    if (cipher.ArrayDecrypt(result, *data, 0) != 0)
        return std::nullopt;
    return result;
}

ByteArray HexToBytes(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size() / 2);
    int high = -1;
    for (const QChar c : text) {
        const int v = HexValue(c);
        if (v < 0)
            continue;
        if (high < 0) {
            high = v;
        } else {
            bytes.append(static_cast<char>(high * 16 + v));
            high = -1;
        }
    }
    if (bytes.isEmpty())
        return std::nullopt;
    return bytes;
}

QString BytesToHex(const QByteArray& bytes, qsizetype count, int32_t group)
{
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    QString text;
    count = std::min(count, bytes.size());
    text.reserve(count * 3);
    for (qsizetype i = 0; i < count; ++i) {
        if (group > 0 && i != 0 && i % group == 0)
            text += QStringLiteral("  ");
        const auto b = static_cast<uint8_t>(bytes.at(i));
        text += QChar(kDigits[b >> 4]);
        text += QChar(kDigits[b & 0xF]);
    }
    return text;
}

QString DecryptHexString(const QString& text)
{
    if (TrimNull(text).isEmpty())
        return {};
    cRijndael cipher;
    cipher.SetCipherKey(GetBuiltinKey(), 128);
    const ByteArray bytes = HexToBytes(text);
    if (!bytes)
        return {};
    QByteArray plain;
    if (cipher.ArrayDecrypt(plain, *bytes, 0) != 0)
        return {};
    return TrimNull(QString::fromLocal8Bit(plain));
}
