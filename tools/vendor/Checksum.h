#pragma once

#include <QString>

// The package checksum of NAME and VERSION: NAME@VERSION in the locale's 8-bit
// encoding, enciphered under the built-in key, as upper-case hex without
// spaces. It names the package archive (CHECKSUM.Z) and the package folder.
QString PackageChecksum(const QString& name, const QString& version);
