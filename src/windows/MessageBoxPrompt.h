#pragma once

#include "startup/IPrompt.h"

#include <QIcon>
#include <QPointer>
#include <map>

class QFileDialog;
class QWidget;

// The prompt seam with real dialogs: message boxes whose buttons and icon
// come from the Windows style value, the input box, and the system browser.
class MessageBoxPrompt : public IPrompt
{
public:
    explicit MessageBoxPrompt(QWidget* parent = nullptr) : parent_(parent) {}
    ~MessageBoxPrompt() override;
    MessageBoxPrompt(const MessageBoxPrompt&) = delete;
    MessageBoxPrompt& operator=(const MessageBoxPrompt&) = delete;

    int32_t MsgBox(const QString& text, int32_t style, const QString& title = QString()) override;
    QString InputBox(const QString& prompt, const QString& title = QString()) override;
    void OpenUrl(const QString& url) override;
    QString OpenFileName(const QString& title, const QString& filter) override;

private:
    QWidget* parent_;
    std::map<int, QIcon> buttonIcons_; // by standard button
    QPointer<QFileDialog> fileDialog_; // made on first use, kept for the window's life
};
