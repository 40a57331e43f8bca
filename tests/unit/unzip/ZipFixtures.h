#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// Archives made at run time with libzip.

struct ZipMember
{
    ZipMember(QByteArray name_, QByteArray data_, bool compress_ = true, QByteArray password_ = {},
              std::optional<uint32_t> unixMode_ = {})
        : name(std::move(name_)), data(std::move(data_)), compress(compress_),
          password(std::move(password_)), unixMode(unixMode_)
    {
    }
    QByteArray name;
    QByteArray data;
    bool compress = true;
    QByteArray password;              // traditional encryption when not empty
    std::optional<uint32_t> unixMode; // external attributes of a Unix-made member
};

// Writes the members into a new archive at path; false on any libzip error.
bool MakeZip(const QString& path, const QList<ZipMember>& members);

// Text that compresses well, size bytes long.
QByteArray TextBytes(qsizetype size);

// Every file and folder below dir (relative, sorted; folders end with "/").
QStringList ListTree(const QString& dir);
