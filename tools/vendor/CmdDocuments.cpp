// equipdb, profile: plain JSON documents enciphered into the envelope under
// the built-in key, as the vendor ships them.

#include "VendorCommands.h"
#include "crypto/MachineKey.h"
#include "startup/FileIo.h"
#include "startup/JsonNode.h"

#include <QFileInfo>

namespace {

int EncipherDocument(const char* command, const QStringList& args)
{
    if (args.size() != 2)
        return Fail(QStringLiteral("expected %1 IN.json OUT").arg(QLatin1String(command)));
    const QString in = args.at(0);
    const QString out = args.at(1);
    if (!QFileInfo(in).isFile())
        return Fail(QStringLiteral("%1: no such file").arg(in));
    const ByteArray plain = ReadWholeFile(in);
    if (!plain)
        return Fail(QStringLiteral("%1: cannot be read").arg(in));
    if (!JsonNode::parse(QString::fromUtf8(*plain)))
        return Fail(QStringLiteral("%1: not a JSON object or array").arg(in));
    if (!WriteFileAtomically(out, *EncryptBytes(plain, false)))
        return Fail(QStringLiteral("%1: cannot be written").arg(out));
    return 0;
}

} // namespace

int RunEquipDb(const QStringList& args)
{
    return EncipherDocument("equipdb", args);
}

int RunProfile(const QStringList& args)
{
    return EncipherDocument("profile", args);
}
