#include "FakeView.h"

void FakeView::ItemAdd(int32_t row, const QString& text, int32_t indent, int32_t icon, int32_t tag)
{
    if (row < 0 || row > count()) {
        badCall = true;
        return;
    }
    Row added;
    added.text = text;
    added.indent = indent;
    added.icon = icon;
    added.tag = tag;
    rows.insert(rows.begin() + row, added);
}

void FakeView::SubItemSet(int32_t row, int32_t column, const QString& text, int32_t icon)
{
    if (row < 0 || row >= count() || column < 1 || column > 3 || icon != -1) {
        badCall = true;
        return;
    }
    rows[static_cast<size_t>(row)].columns[column - 1] = text;
}

void FakeView::SetItemGhosted(int32_t row, bool ghosted)
{
    if (row < 0 || row >= count()) {
        badCall = true;
        return;
    }
    rows[static_cast<size_t>(row)].ghosted = ghosted;
}

QStringList FakeView::Lines() const
{
    QStringList lines;
    for (const Row& row : rows)
        lines << QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
                     .arg(row.text, row.columns[0], row.columns[1], row.columns[2])
                     .arg(row.icon)
                     .arg(row.tag)
                     .arg(row.ghosted ? "ghosted" : "");
    return lines;
}

int32_t ScriptedPrompt::MsgBox(const QString& text, int32_t style, const QString& title)
{
    messages.push_back({text, style, title});
    if (!answers.empty()) {
        const int32_t answer = answers.front();
        answers.pop_front();
        return answer;
    }
    switch (style & 7) {
    case 3:
    case 4:
        return 6; // Yes
    case 5:
        return 4; // Retry
    default:
        return 1; // OK
    }
}

QString ScriptedPrompt::InputBox(const QString& prompt, const QString& /*title*/)
{
    inputPrompts << prompt;
    if (inputs.empty())
        return {};
    const QString answer = inputs.front();
    inputs.pop_front();
    return answer;
}
