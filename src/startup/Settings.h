#pragma once

#include <QString>

// The per-user settings store shared with the editor: an INI file of plain
// "[Section]" and "key=value" lines, user scope, organisation and application
// "Kestrovia" ($XDG_CONFIG_HOME/Kestrovia/Kestrovia.ini). A value is the text
// after the first "=" as it stands (commas and quotes included); keys are
// trimmed of spaces. Every call reads or writes the file itself, so a value the
// editor wrote a moment ago is seen. The file is the editor's: a write changes,
// adds or removes the one line of its key and leaves every other byte as it is.
namespace Settings {

inline const QString AppInfo = QStringLiteral("AppInfo");
inline const QString Tovarinth = QStringLiteral("Tovarinth");

// The value, or def when it is missing or the file cannot be read.
QString Read(const QString& section, const QString& key, const QString& def = QString());

// While one lives on this thread, Read takes the store as it was at the first
// read after the outermost snapshot began, instead of looking at the file on
// every call: for a loop that reads one value per row, such as the list's
// rebuild. Writes made by this process are still seen at once.
class Snapshot
{
public:
    Snapshot();
    ~Snapshot();
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;
};
// False when the store could not be read or written or its lock stayed taken,
// and for what would not read back as written: a value with a line break or
// NUL, a section or key that is empty, has spaces at either end or holds a
// line break or NUL, a key that holds "=" or begins with "[".
bool Write(const QString& section, const QString& key, const QString& value);
// Whether Write would store value now: it would read back as written, and the
// store holds it already or no other program holds its lock (which another
// may still take before the write).
bool Writable(const QString& section, const QString& key, const QString& value);
bool Delete(const QString& section, const QString& key);

} // namespace Settings
