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

// Message-box style values and answers, as the system numbers them.
namespace MsgStyle {
constexpr int32_t OkOnly = 0;
constexpr int32_t YesNoCancel = 3;
constexpr int32_t YesNo = 4;
constexpr int32_t RetryCancel = 5;
constexpr int32_t Critical = 16;
constexpr int32_t Question = 32;
constexpr int32_t Exclamation = 48;
constexpr int32_t Information = 64;
} // namespace MsgStyle
namespace MsgAnswer {
constexpr int32_t Ok = 1;
constexpr int32_t Cancel = 2;
constexpr int32_t Retry = 4;
constexpr int32_t Yes = 6;
constexpr int32_t No = 7;
} // namespace MsgAnswer
