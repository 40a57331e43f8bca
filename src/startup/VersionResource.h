#pragma once

#include <QByteArray>
#include <QString>

// Reads one string of the version resource of a PE executable (PE32 or
// PE32+), parsing the file's bytes ourselves so that it works on any system.
// When key is empty the caller's key becomes "ProductVersion". The string is
// looked up under the first language/code-page pair of the resource's
// translation list, as "\StringFileInfo\<LLLLCCCC>\<key>" (keys compared
// without regard to letter case). Anything else — no such file, a folder, a
// file that is not a PE image or is damaged, no version resource, no
// translation list, no such string — gives empty text; hostile offsets are
// bounded, never followed outside the file.
//
// The value is the text up to its first U+0000, kept as UTF-16 (not narrowed
// to an 8-bit code page). A value of 255 characters or more is cut to its
// first 254 characters: the editor's own readers keep it in a 255-character
// buffer that holds 254 characters and the terminating NUL, and we report
// what they would see.
//
// Only the first 64 MiB of a file are read (kMaxVersionImageBytes); a version
// resource lying beyond that is not found.
QString GetFileVersionString(const QString& file, QString& key);

// The same lookup on the bytes of an image already in memory.
QString VersionStringFromImage(const QByteArray& image, const QString& key);

constexpr qint64 kMaxVersionImageBytes = qint64(64) * 1024 * 1024;
constexpr int kMaxVersionValueChars = 254;
