#include "Checksum.h"

#include "crypto/MachineKey.h"

QString PackageChecksum(const QString& name, const QString& version)
{
    const ByteArray cipher = EncryptBytes((name + u'@' + version).toLocal8Bit(), false);
    return BytesToHex(*cipher, cipher->size(), 0);
}
