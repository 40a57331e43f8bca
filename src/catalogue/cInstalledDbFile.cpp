#include "cInstalledDbFile.h"

#include "crypto/MachineKey.h"
#include "startup/Errors.h"
#include "startup/FileIo.h"

#include <QFileInfo>

std::optional<JsonNode> cInstalledDbFile::Read(const QString& path)
{
    const ByteArray read = ReadWholeFile(path);
    // Something by that name that cannot be read (a folder, an I/O error) is
    // not a missing database: the caller reports it.
    if (!read && QFileInfo::exists(path)) {
        seen_.reset();
        throw IoError(ErrorNumber::PathAccess, path);
    }
    // A missing file and a file of no bytes are the same: no database.
    const QByteArray bytes = read.value_or(QByteArray());
    if (parsedSeen_ && seen_ && *seen_ == bytes)
        return parsed_;
    seen_.reset();
    parsedSeen_ = false;
    std::optional<JsonNode> db;
    if (!bytes.isEmpty()) {
        const QString text = Utf8ToString(DecryptBytes(bytes, true)).remove(QChar(0));
        if (text.startsWith(u'{'))
            db = JsonNode::parse(text);
    }
    seen_ = bytes;
    parsed_ = db;
    parsedSeen_ = true;
    return db;
}

bool cInstalledDbFile::Changed(const QString& path) const
{
    const ByteArray bytes = ReadWholeFile(path);
    return !seen_ || (!bytes && QFileInfo::exists(path)) || bytes.value_or(QByteArray()) != *seen_;
}

bool cInstalledDbFile::Write(const QString& path, const QString& text)
{
    const ByteArray cipherText = EncryptBytes(text.toUtf8(), true);
    if (!cipherText || !WriteFileAtomically(path, *cipherText))
        return false;
    seen_ = *cipherText;
    parsedSeen_ = false; // the next Read parses what was written
    return true;
}
