#pragma once

#include "startup/JsonNode.h"

#include <QByteArray>
#include <QString>
#include <optional>

// The installed-extension database file (extdb.cfg) and what this catalogue
// last saw of it, read or written: another manager on the same program folder
// may replace the file meanwhile, and a save must not trust an older read.
class cInstalledDbFile
{
public:
    // The database the file holds: none for a missing file, a file of no
    // bytes, or a plaintext that does not begin with "{" or does not parse.
    // Raises IoError when something by that name cannot be read, and the
    // cipher's error for a length that is not a multiple of 16. The same
    // bytes as at the last Read give the database parsed then.
    std::optional<JsonNode> Read(const QString& path);
    // Whether the file now differs from what the last Read or Write saw; true
    // when that Read failed or nothing was seen yet.
    bool Changed(const QString& path) const;
    // Enciphers text under the machine key and replaces the file atomically.
    // False (the old file kept) on failure.
    bool Write(const QString& path, const QString& text);

private:
    // The bytes last read or written (a missing file reads as none), and the
    // database parsed from them by the last Read: reading the same bytes
    // again reuses it.
    std::optional<QByteArray> seen_;
    std::optional<JsonNode> parsed_;
    bool parsedSeen_ = false;
};
