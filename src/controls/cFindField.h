#pragma once

#include <QKeySequence>
#include <QLineEdit>
#include <QShortcut>

// The find field of a window: the prompt text "查找机型", a button that clears
// it, and Ctrl+F anywhere in the window puts the cursor in it.
class cFindField : public QLineEdit
{
public:
    cFindField(QWidget* window, QWidget* parent) : QLineEdit(parent)
    {
        setObjectName(QStringLiteral("txtFind"));
        setPlaceholderText(QStringLiteral("查找机型"));
        setClearButtonEnabled(true);
        connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), window), &QShortcut::activated,
                this, [this] {
                    setFocus(Qt::ShortcutFocusReason);
                    selectAll();
                });
    }
};
