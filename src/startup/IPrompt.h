#pragma once
#include <QString>
#include <cstdint>
// The prompt seam: modal questions to the user. The program answers them with
// real dialogs; tests answer them from a script.
class IPrompt
{
public:
    virtual ~IPrompt() = default;
    // Windows message-box style values (0 OK, 3 Yes/No/Cancel, 4 Yes/No, 5 Retry/Cancel, plus 16,
    // 32, 48, 64); the answer keeps the Windows numbers (OK 1, Cancel 2, Retry 4, Yes 6, No 7). An
    // empty title means "Tovarinth".
    virtual int32_t MsgBox(const QString& text, int32_t style,
                           const QString& title = QString()) = 0;
    // An input box; empty text when the user cancels.
    virtual QString InputBox(const QString& prompt, const QString& title = QString()) = 0;
    // Hands a URL to the system's browser.
    virtual void OpenUrl(const QString& url) = 0;
    // A file dialog for one existing file; filter as "Text (*.a *.b)". Empty
    // text when the user cancels.
    virtual QString OpenFileName(const QString& title, const QString& filter) = 0;
};
