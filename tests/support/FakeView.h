#pragma once

#include "startup/IPrompt.h"
#include "catalogue/IView.h"

#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

// A view that keeps everything the catalogue did to the window, so that a
// test can compare the whole list and the controls with what it expects.
class FakeView : public IView
{
public:
    struct Row
    {
        QString text;
        int32_t icon = -1, tag = 0;
        QStringList columns{"", "", ""}; // columns 1..3
        bool ghosted = false;
    };
    void Clear() override { rows.clear(); }
    void ItemAdd(int32_t row, const QString& text, int32_t indent, int32_t icon,
                 int32_t tag) override;
    void SubItemSet(int32_t row, int32_t column, const QString& text, int32_t icon) override;
    void SetItemGhosted(int32_t row, bool ghosted) override;
    void SetItemTag(int32_t row, int32_t tag) override
    {
        if (!Misuse(row < 0 || row >= count()))
            rows[static_cast<size_t>(row)].tag = tag;
    }
    int32_t count() const override { return static_cast<int32_t>(rows.size()); }
    void SetListEnabled(bool on) override { controls[0] = on; }
    void SetCloseEnabled(bool on) override { controls[1] = on; }
    void SetInstallEnabled(bool on) override { controls[2] = on; }
    void SetSyncButtonVisible(int32_t button, bool on) override { controls[2 + button] = on; }
    void SetSyncButtonToolTip(int32_t b, const QString& t) override { tips[b & 3] = t; }
    void SetBusyIndicator(bool on) override { controls[6] = on; }
    void SetDownloadProgress(int32_t permille, const QString& line) override
    {
        progress << QString::number(permille) + '|' + line;
        if (onProgress)
            onProgress(line);
    }
    void SetCancel(bool visible, bool on) override { controls[7] = visible, stoppable = on; }
    void FocusList(int32_t row) override { focused << row; }
    void EnableCheckOnline() override { ++checkOnlineEnabled; }
    void ShowWarningPanel() override { warningShown = true; }
    void ShowModelBrowser(const std::optional<JsonNode>&, const QString&, bool,
                          const QString&) override
    {
        ++browsers;
    }
    void BeginWaitCursor() override { ++waitDepth; }
    void EndWaitCursor() override { --waitDepth; }
    void DoEvents() override {}

    // "row text|version|count|status|icon|tag|ghosted" per row.
    QStringList Lines() const;
    // What UpdateControls left enabled or shown, e.g. "list close install sync2";
    // "cancel" is shown and enabled, "cancel-off" shown disabled.
    QString Controls() const;

    std::vector<Row> rows;
    bool controls[8] = {true, true}; // list, close, install, sync buttons 1-3, busy, cancel
    bool stoppable = false;          // the cancel button enabled
    QList<int32_t> focused;          // the rows the list got the focus on
    QStringList progress;            // "permille|line" per progress shown
    QString tips[4];                 // the sync buttons' tool tips, from tips[1]
    std::function<void(const QString& line)> onProgress;
    bool badCall = false; // an item added, changed or ghosted out of range
    bool warningShown = false;
    int waitDepth = 0, checkOnlineEnabled = 0, browsers = 0; // model browsers shown

private:
    bool Misuse(bool bad) { return badCall = badCall || bad, bad; }
};

// A prompt that answers from a script and records every question.
class ScriptedPrompt : public IPrompt
{
public:
    struct Message
    {
        QString text;
        int32_t style = 0;
        QString title;
    };
    int32_t MsgBox(const QString& text, int32_t style, const QString& title = QString()) override;
    QString InputBox(const QString& prompt, const QString& title = QString()) override;
    void OpenUrl(const QString& url) override { urls << url; }
    // Records "title|filter"; answers from files, then as cancelled.
    QString OpenFileName(const QString& title, const QString& filter) override
    {
        fileDialogs << title + u'|' + filter;
        return files.isEmpty() ? QString() : files.takeFirst();
    }
    // "text|style|title" per message box so far; they are forgotten.
    QStringList Take();

    // Answers in order; when the script runs out, OK, Yes or Retry by the buttons.
    std::deque<int32_t> answers;
    std::deque<QString> inputs; // an empty answer when they run out
    std::vector<Message> messages;
    QStringList inputPrompts, urls, fileDialogs, files;
    std::function<void()> onMessage; // runs as each message box shows
};
