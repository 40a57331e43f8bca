#pragma once

#include "cListView.h"

#include <QAction>
#include <QIcon>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QShortcut>

// The find field of a window: the prompt text "查找机型", a button that clears
// it, and Ctrl+F anywhere in the window puts the cursor in it. Enter goes to
// the first row its list still shows.
class cFindField : public QLineEdit
{
public:
    cFindField(QWidget* window, QWidget* parent) : QLineEdit(parent)
    {
        setObjectName(QStringLiteral("txtFind"));
        setPlaceholderText(QStringLiteral("查找机型"));
        // A clear button of our own drawing: the style's looks its icon up in
        // the icon themes, which took a good part of the window's start.
        QAction* clearText = addAction(ClearIcon(devicePixelRatioF()), TrailingPosition);
        clearText->setObjectName(QStringLiteral("actClearFind"));
        clearText->setToolTip(QStringLiteral("清除"));
        clearText->setVisible(false);
        connect(clearText, &QAction::triggered, this, &QLineEdit::clear);
        connect(this, &QLineEdit::textChanged, clearText,
                [clearText](const QString& text) { clearText->setVisible(!text.isEmpty()); });
        connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), window), &QShortcut::activated,
                this, [this] {
                    setFocus(Qt::ShortcutFocusReason);
                    selectAll();
                });
    }

    // The list whose rows the field filters.
    void SetResults(cListView* results) { results_ = results; }

protected:
    // Taken here, so that a dialog's default button does not take it and
    // close the window with the search.
    void keyPressEvent(QKeyEvent* event) override
    {
        if (results_ && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
            results_->FocusFirstShown();
            event->accept();
            return;
        }
        QLineEdit::keyPressEvent(event);
    }

private:
    cListView* results_ = nullptr;

    // A grey disc with a white cross, 16 pixels square.
    static QIcon ClearIcon(qreal dpr)
    {
        QPixmap pixmap(qCeil(16 * dpr), qCeil(16 * dpr));
        pixmap.setDevicePixelRatio(dpr);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0x8A, 0x8A, 0x8A));
        painter.drawEllipse(QRectF(1, 1, 14, 14));
        painter.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
        painter.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
        return QIcon(pixmap);
    }
};
