#include "FakeView.h"

void FakeView::ItemAdd(int32_t row, const QString& text, int32_t indent, int32_t icon, int32_t tag)
{
    if (!Misuse(row < 0 || row > count() || indent != 0))
        rows.insert(rows.begin() + row, Row{text, icon, tag});
}

void FakeView::SubItemSet(int32_t row, int32_t column, const QString& text, int32_t icon)
{
    if (!Misuse(row < 0 || row >= count() || column < 1 || column > 3 || icon != -1))
        rows[static_cast<size_t>(row)].columns[column - 1] = text;
}

void FakeView::SetItemGhosted(int32_t row, bool ghosted)
{
    if (!Misuse(row < 0 || row >= count()))
        rows[static_cast<size_t>(row)].ghosted = ghosted;
}

QStringList FakeView::Lines() const
{
    QStringList lines;
    for (const Row& r : rows)
        lines << QStringList{r.text, r.columns.join('|'), QString::number(r.icon),
                             QString::number(r.tag), r.ghosted ? "ghosted" : ""}
                     .join('|');
    return lines;
}

QString FakeView::Controls() const
{
    const char* names[] = {"list", "close", "install", "sync1", "sync2", "sync3", "busy", "cancel"};
    QStringList on;
    for (int i = 0; i < 8; ++i)
        if (controls[i])
            on << names[i] + QString(i == 7 && !stoppable ? "-off" : "");
    return on.join(' ');
}

int32_t ScriptedPrompt::MsgBox(const QString& text, int32_t style, const QString& title)
{
    messages.push_back({text, style, title});
    if (onMessage)
        onMessage();
    const int32_t buttons = style & 7, answer = answers.empty() ? 0 : answers.front();
    if (!answers.empty())
        answers.pop_front();
    return answer ? answer : buttons == 3 || buttons == 4 ? 6 : buttons == 5 ? 4 : 1;
}

QStringList ScriptedPrompt::Take()
{
    QStringList lines;
    for (const Message& m : messages)
        lines << QString("%1|%2|%3").arg(m.text).arg(m.style).arg(m.title);
    messages.clear();
    return lines;
}

QString ScriptedPrompt::InputBox(const QString& prompt, const QString&)
{
    inputPrompts << prompt;
    const QString answer = inputs.empty() ? QString() : inputs.front();
    if (!inputs.empty())
        inputs.pop_front();
    return answer;
}
