#include "cInstalledDbFile.h"

#include "crypto/MachineKey.h"
#include "startup/Errors.h"
#include "startup/FileIo.h"

#include <QCryptographicHash>
#include <QFileInfo>

namespace {

// A missing file and a file of no bytes are the same: no database.
QByteArray Digest(const ByteArray& bytes)
{
    return QCryptographicHash::hash(bytes.value_or(QByteArray()), QCryptographicHash::Sha256);
}

} // namespace

std::optional<JsonNode> cInstalledDbFile::Read(const QString& path)
{
    seen_.reset();
    const ByteArray bytes = ReadWholeFile(path);
    // Something by that name that cannot be read (a folder, an I/O error) is
    // not a missing database: the caller reports it.
    if (!bytes && QFileInfo::exists(path))
        throw IoError(ErrorNumber::PathAccess, path);
    std::optional<JsonNode> db;
    if (!IsArrayEmpty(bytes) && !bytes->isEmpty()) {
        const QString text = Utf8ToString(DecryptBytes(bytes, true)).remove(QChar(0));
        if (text.startsWith(u'{'))
            db = JsonNode::parse(text);
    }
    seen_ = Digest(bytes);
    return db;
}

bool cInstalledDbFile::Changed(const QString& path) const
{
    const ByteArray bytes = ReadWholeFile(path);
    return !seen_ || (!bytes && QFileInfo::exists(path)) || Digest(bytes) != *seen_;
}

bool cInstalledDbFile::Write(const QString& path, const QString& text)
{
    const ByteArray cipherText = EncryptBytes(text.toUtf8(), true);
    if (!cipherText || !WriteFileAtomically(path, *cipherText))
        return false;
    seen_ = Digest(cipherText);
    return true;
}
