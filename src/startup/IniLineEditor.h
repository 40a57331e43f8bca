#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QHash>
#include <QList>
#include <utility>

// The bytes of an INI file that another program owns, read as that program
// reads them and edited one line at a time: a "[Section]" line opens a
// section (name trimmed of spaces, "/" and inner spaces kept), a line with
// "=" and a key before it (trimmed of spaces) is an entry whose value is the
// text after the first "=" as it stands, and any other line is left alone. A
// BOM at the start is kept out of the first line; a "\r" before a line's
// "\n" is its line end, not its text.
class IniLineEditor
{
public:
    using SectionKey = std::pair<QByteArray, QByteArray>;

    explicit IniLineEditor(QByteArray bytes) : bytes_(std::move(bytes)) {}

    const QByteArray& Bytes() const { return bytes_; }

    // The value of every key by section and key, the first of two equal keys
    // of a section counting (a section may come back further down). Keys
    // before any section are in section "".
    QHash<SectionKey, QByteArray> Values() const;

    // Changes the value in the line that Values takes it from; without one,
    // adds "key=value" after the section's last line that is not blank or a
    // comment, or the section with it at the end of the file. A new line
    // ends as the file's first line does ("\r\n" or "\n"). The caller makes
    // sure that section and key read back as themselves and that nothing
    // holds a line break.
    void Set(const QByteArray& section, const QByteArray& key, const QByteArray& value);

    // Removes the line that Values takes the key's value from, line end
    // included; nothing when there is none.
    void Remove(const QByteArray& section, const QByteArray& key);

private:
    struct Line
    {
        // Its text is [begin, end); next is after its line end.
        qsizetype begin = 0, end = 0, next = 0;
        QByteArray section; // the section it is in; a header's own
        bool header = false;
        QByteArray key;           // an entry's key; empty for any other line
        qsizetype valueBegin = 0; // an entry's value is [valueBegin, end)
    };

    QList<Line> Lines() const;
    const Line* EntryLine(const QList<Line>& lines, const QByteArray& section,
                          const QByteArray& key) const;
    void InsertAfter(const Line* line, const QByteArrayList& text);

    QByteArray bytes_;
};
