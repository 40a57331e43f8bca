// key, machine-id, encrypt, decrypt, checksum: the envelope and the keys.

#include "Checksum.h"
#include "VendorCommands.h"
#include "crypto/MachineKey.h"
#include "startup/FileIo.h"

#include <QFileInfo>

namespace {

// Parses "--key builtin|machine IN OUT".
bool ParseKeyArgs(const QStringList& args, bool& useMachineKey, QString& in, QString& out,
                  QString& error)
{
    if (args.size() != 4 || args.at(0) != QLatin1String("--key")) {
        error = QStringLiteral("expected --key builtin|machine IN OUT");
        return false;
    }
    if (args.at(1) == QLatin1String("builtin"))
        useMachineKey = false;
    else if (args.at(1) == QLatin1String("machine"))
        useMachineKey = true;
    else {
        error = QStringLiteral("unknown key \"%1\": builtin or machine").arg(args.at(1));
        return false;
    }
    in = args.at(2);
    out = args.at(3);
    return true;
}

ByteArray ReadInput(const QString& path, QString& error)
{
    if (!QFileInfo(path).isFile()) {
        error = QStringLiteral("%1: no such file").arg(path);
        return std::nullopt;
    }
    ByteArray bytes = ReadWholeFile(path);
    if (!bytes)
        error = QStringLiteral("%1: cannot be read").arg(path);
    return bytes;
}

} // namespace

int RunKey(const QStringList& args)
{
    if (!args.isEmpty())
        return Fail(QStringLiteral("key takes no arguments"));
    Out() << BytesToHex(GetBuiltinKey(), 16, 16) << "\n";
    return 0;
}

int RunMachineId(const QStringList& args)
{
    if (!args.isEmpty())
        return Fail(QStringLiteral("machine-id takes no arguments"));
    Out() << GetMachineID() << "\n";
    return 0;
}

int RunEncrypt(const QStringList& args)
{
    bool useMachineKey = false;
    QString in, out, error;
    if (!ParseKeyArgs(args, useMachineKey, in, out, error))
        return Fail(error);
    const ByteArray plain = ReadInput(in, error);
    if (!plain)
        return Fail(error);
    const ByteArray cipher =
        plain->isEmpty() ? ByteArray(QByteArray()) : EncryptBytes(plain, useMachineKey);
    if (!WriteFileAtomically(out, *cipher))
        return Fail(QStringLiteral("%1: cannot be written").arg(out));
    return 0;
}

int RunDecrypt(const QStringList& args)
{
    bool useMachineKey = false;
    QString in, out, error;
    if (!ParseKeyArgs(args, useMachineKey, in, out, error))
        return Fail(error);
    const ByteArray cipher = ReadInput(in, error);
    if (!cipher)
        return Fail(error);
    if (cipher->size() % 16 != 0)
        return Fail(
            QStringLiteral("%1: length %2 is not a multiple of 16").arg(in).arg(cipher->size()));
    QByteArray plain = cipher->isEmpty() ? QByteArray() : *DecryptBytes(cipher, useMachineKey);
    // The envelope does not record its padding: drop the trailing zero bytes.
    qsizetype end = plain.size();
    while (end > 0 && plain.at(end - 1) == '\0')
        --end;
    plain.truncate(end);
    if (!WriteFileAtomically(out, plain))
        return Fail(QStringLiteral("%1: cannot be written").arg(out));
    return 0;
}

int RunChecksum(const QStringList& args)
{
    if (args.size() != 2 || args.at(0).isEmpty() || args.at(1).isEmpty())
        return Fail(QStringLiteral("expected checksum NAME VERSION"));
    const QString text = args.at(0) + u'@' + args.at(1);
    if (text.toLocal8Bit().contains('\0'))
        return Fail(QStringLiteral("NAME and VERSION must not contain NUL"));
    Out() << PackageChecksum(args.at(0), args.at(1)) << "\n";
    return 0;
}
