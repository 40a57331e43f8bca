#include "PackageArchive.h"

#include "crypto/MachineKey.h"

#include <QFile>
#include <zip.h>

QByteArray PackageDescriptor(const QString& name, const QByteArray& modelsJson)
{
    return *EncryptBytes('"' + name.toUtf8() + "\":" + modelsJson, false);
}

bool WriteArchive(const QString& path, const QByteArray& memberName, const QByteArray& data,
                  const QString& password, QString& error)
{
    int code = 0;
    zip_t* za = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!za) {
        error = QStringLiteral("%1: cannot be created (libzip error %2)").arg(path).arg(code);
        return false;
    }
    zip_source_t* source =
        zip_source_buffer(za, data.constData(), static_cast<zip_uint64_t>(data.size()), 0);
    const zip_int64_t index =
        source ? zip_file_add(za, memberName.constData(), source, ZIP_FL_ENC_UTF_8) : -1;
    if (index < 0)
        zip_source_free(source);
    bool ok = index >= 0;
    // Traditional PKWARE encryption: what UnZip and a user's archives use.
    if (ok && !password.isEmpty())
        ok = zip_file_set_encryption(za, static_cast<zip_uint64_t>(index), ZIP_EM_TRAD_PKWARE,
                                     password.toLocal8Bit().constData()) == 0;
    if (ok && zip_close(za) == 0)
        return true;
    error = QStringLiteral("%1: cannot be written (%2)")
                .arg(path, QString::fromLocal8Bit(zip_strerror(za)));
    zip_discard(za);
    return false;
}
