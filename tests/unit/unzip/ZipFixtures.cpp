#include "ZipFixtures.h"

#include <QDir>
#include <QDirIterator>
#include <zip.h>

bool MakeZip(const QString& path, const QList<ZipMember>& members)
{
    int error = 0;
    zip_t* za = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!za)
        return false;
    for (const ZipMember& member : members) {
        zip_source_t* source = zip_source_buffer(za, member.data.constData(),
                                                 static_cast<zip_uint64_t>(member.data.size()), 0);
        // ENC_RAW keeps hostile names exactly as given.
        const zip_int64_t index =
            source ? zip_file_add(za, member.name.constData(), source, ZIP_FL_ENC_RAW) : -1;
        if (index < 0) {
            zip_source_free(source);
            zip_discard(za);
            return false;
        }
        const auto i = static_cast<zip_uint64_t>(index);
        bool ok = zip_set_file_compression(za, i, member.compress ? ZIP_CM_DEFLATE : ZIP_CM_STORE,
                                           0) == 0;
        if (ok && !member.password.isEmpty())
            ok = zip_file_set_encryption(za, i, ZIP_EM_TRAD_PKWARE, member.password.constData()) ==
                 0;
        if (ok && member.unixMode)
            ok = zip_file_set_external_attributes(za, i, 0, ZIP_OPSYS_UNIX,
                                                  *member.unixMode << 16) == 0;
        if (!ok) {
            zip_discard(za);
            return false;
        }
    }
    if (zip_close(za) != 0) {
        zip_discard(za);
        return false;
    }
    return true;
}

QByteArray TextBytes(qsizetype size)
{
    QByteArray text;
    text.reserve(size + 64);
    for (int line = 1; text.size() < size; ++line)
        text += "Line " + QByteArray::number(line) + " of a camera model list, EOS R" +
                QByteArray::number(line % 97) + "\n";
    text.truncate(size);
    return text;
}

QStringList ListTree(const QString& dir)
{
    QStringList entries;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        const QString relative = QDir(dir).relativeFilePath(info.filePath());
        entries << (info.isDir() && !info.isSymLink() ? relative + u'/' : relative);
    }
    entries.sort();
    return entries;
}
