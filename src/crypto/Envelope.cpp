#include "Envelope.h"

#include "MachineKey.h"
#include "startup/FileIo.h"

ByteArray ReadEnvelopeFile(const QString& path, bool useMachineKey)
{
    return DecryptBytes(ReadWholeFile(path), useMachineKey);
}

bool WriteEnvelopeFile(const QString& path, const QByteArray& plaintext, bool useMachineKey)
{
    // An empty plaintext still makes a file: one of no bytes.
    const ByteArray cipherText =
        plaintext.isEmpty() ? ByteArray(QByteArray()) : EncryptBytes(plaintext, useMachineKey);
    return WriteFileAtomically(path, *cipherText);
}
