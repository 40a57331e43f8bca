#include "IniLineEditor.h"

namespace {
constexpr char kBom[] = "\xEF\xBB\xBF";

QByteArray TrimSpaces(QByteArray text)
{
    qsizetype begin = 0, end = text.size();
    while (begin < end && text.at(begin) == ' ')
        ++begin;
    while (end > begin && text.at(end - 1) == ' ')
        --end;
    return text.sliced(begin, end - begin);
}

// A key added after a comment would land among the lines that belong to
// the next section, a comment or blank line before its header being its own.
bool IsBlankOrComment(const QByteArray& text)
{
    const QByteArray bare = text.trimmed();
    return bare.isEmpty() || bare.startsWith(';') || bare.startsWith('#');
}
} // namespace

QList<IniLineEditor::Line> IniLineEditor::Lines() const
{
    QList<Line> lines;
    QByteArray section;
    qsizetype begin = bytes_.startsWith(kBom) ? qsizetype(sizeof kBom - 1) : 0;
    while (begin < bytes_.size()) {
        Line line;
        const qsizetype newline = bytes_.indexOf('\n', begin);
        line.begin = begin;
        line.end = newline < 0 ? bytes_.size() : newline;
        line.next = newline < 0 ? bytes_.size() : newline + 1;
        if (line.end > begin && bytes_.at(line.end - 1) == '\r')
            --line.end;
        const QByteArray text = bytes_.sliced(begin, line.end - begin);
        const QByteArray bare = TrimSpaces(text);
        const qsizetype equals = text.indexOf('=');
        if (bare.startsWith('[') && bare.endsWith(']')) {
            section = TrimSpaces(bare.sliced(1, bare.size() - 2));
            line.header = true;
        } else if (equals >= 0) {
            line.key = TrimSpaces(text.first(equals));
            line.valueBegin = begin + equals + 1;
        }
        line.section = section;
        lines.append(line);
        begin = line.next;
    }
    return lines;
}

QHash<IniLineEditor::SectionKey, QByteArray> IniLineEditor::Values() const
{
    QHash<SectionKey, QByteArray> values;
    for (const Line& line : Lines()) {
        const SectionKey at{line.section, line.key};
        if (!line.key.isEmpty() && !values.contains(at))
            values.insert(at, bytes_.sliced(line.valueBegin, line.end - line.valueBegin));
    }
    return values;
}

const IniLineEditor::Line* IniLineEditor::EntryLine(const QList<Line>& lines,
                                                    const QByteArray& section,
                                                    const QByteArray& key) const
{
    for (const Line& line : lines)
        if (!line.key.isEmpty() && line.key == key && line.section == section)
            return &line;
    return nullptr;
}

void IniLineEditor::Set(const QByteArray& section, const QByteArray& key, const QByteArray& value)
{
    const QList<Line> lines = Lines();
    if (const Line* entry = EntryLine(lines, section, key)) {
        bytes_.replace(entry->valueBegin, entry->end - entry->valueBegin, value);
        return;
    }
    const Line* last = nullptr; // of the section, the last one that is not blank or a comment
    for (const Line& line : lines)
        if (line.section == section &&
            (line.header || !IsBlankOrComment(bytes_.sliced(line.begin, line.end - line.begin))))
            last = &line;
    if (last)
        InsertAfter(last, {key + '=' + value});
    else
        InsertAfter(lines.isEmpty() ? nullptr : &lines.last(),
                    {'[' + section + ']', key + '=' + value});
}

void IniLineEditor::Remove(const QByteArray& section, const QByteArray& key)
{
    const QList<Line> lines = Lines();
    if (const Line* entry = EntryLine(lines, section, key))
        bytes_.remove(entry->begin, entry->next - entry->begin);
}

void IniLineEditor::InsertAfter(const Line* line, const QByteArrayList& text)
{
    const qsizetype newline = bytes_.indexOf('\n');
    const QByteArray end = newline > 0 && bytes_.at(newline - 1) == '\r' ? "\r\n" : "\n";
    // A last line without a line end keeps going without one.
    if (line && bytes_.at(line->next - 1) != '\n')
        bytes_.insert(line->next, end + text.join(end));
    else
        bytes_.insert(line ? line->next : bytes_.size(), text.join(end) + end);
}
