#include "FileIo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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
