#pragma once

#include "TextHelpers.h"

#include <QString>
#include <functional>

// All bytes of a file; no storage when it is missing or cannot be read.
ByteArray ReadWholeFile(const QString& path);

// Writes bytes as the whole new content of path through a temporary file in
// the same folder that is renamed over the old one, so that a crash or a full
// disk leaves the old file or the new one, never a half-written one. On any
// error the temporary file is abandoned and false is returned.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes);

// Renames from to to, replacing a file at to in one step, so that a crash
// leaves the old file or the new one.
bool RenameOver(const QString& from, const QString& to);

// How CopyNewFile ended.
enum class FileCopy
{
    Copied,
    ReadFailed,  // the source could not be opened or read
    WriteFailed, // to could not be created, written or closed (a full disk, no rights)
    Stopped,     // the progress callback asked to stop
};
// Told the bytes copied so far after each piece; false stops the copy.
using CopyProgress = std::function<bool(qint64 copied)>;
// Copies from into a new file to, which must not exist, checking every write
// and the close as a download does; on any failure or stop to is removed.
FileCopy CopyNewFile(const QString& from, const QString& to, const CopyProgress& progress = {});

// Length in bytes; 0 for a missing file.
qint64 FileLength(const QString& path);

// True for an existing file (hidden files too); false for folders.
bool IsExistingFile(const QString& path);

// The program folder + "/" + name parts joined with the native separator.
QString JoinPath(const QString& folder, const QString& name);
