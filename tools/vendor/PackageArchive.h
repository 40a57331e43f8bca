#pragma once

#include <QByteArray>
#include <QString>

// The package descriptor as a package archive carries it: the member
// "NAME":MODELS enciphered under the built-in key.
QByteArray PackageDescriptor(const QString& name, const QByteArray& modelsJson);

// Writes one member into a new archive at path, under traditional zip
// encryption when a password is given. libzip writes to a temporary file and
// renames it over path only when the archive is complete.
bool WriteArchive(const QString& path, const QByteArray& memberName, const QByteArray& data,
                  const QString& password, QString& error);
