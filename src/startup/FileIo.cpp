#include "FileIo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cstdio>

namespace {
// Large enough to copy at the speed of the disk, small enough that a caller
// keeping a window alive between pieces does so even from a slow stick.
constexpr qint64 kCopyPiece = qint64{256} << 10;
} // namespace

ByteArray ReadWholeFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

bool WriteFileAtomically(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    // Unbuffered, so that a short write (a full disk, a size limit) shows in
    // write()'s result instead of being lost in a late flush.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool RenameOver(const QString& from, const QString& to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

FileCopy CopyNewFile(const QString& from, const QString& to, const CopyProgress& progress)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return FileCopy::ReadFailed;
    QFile target(to);
    // Unbuffered, so a full disk fails the write of the piece it hits.
    if (!target.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
        return FileCopy::WriteFailed;
    FileCopy result = FileCopy::Copied;
    QByteArray piece;
    qint64 copied = 0;
    while (result == FileCopy::Copied) {
        piece = source.read(kCopyPiece);
        if (source.error() != QFileDevice::NoError)
            result = FileCopy::ReadFailed;
        else if (piece.isEmpty())
            break;
        else if (target.write(piece) != piece.size())
            result = FileCopy::WriteFailed;
        else if (copied += piece.size(); progress && !progress(copied))
            result = FileCopy::Stopped;
    }
    target.close();
    if (result == FileCopy::Copied && target.error() != QFileDevice::NoError)
        result = FileCopy::WriteFailed;
    if (result != FileCopy::Copied)
        target.remove();
    return result;
}

qint64 FileLength(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() ? info.size() : 0;
}

bool IsExistingFile(const QString& path)
{
    return QFileInfo(path).isFile();
}

QString JoinPath(const QString& folder, const QString& name)
{
    QString tail = name;
    while (tail.startsWith(u'/') || tail.startsWith(u'\\'))
        tail.remove(0, 1);
    if (folder.endsWith(QDir::separator()))
        return folder + tail;
    return folder + QDir::separator() + tail;
}
