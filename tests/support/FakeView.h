#pragma once

#include "catalogue/IPrompt.h"
#include "catalogue/IView.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <map>
#include <vector>

// A view that keeps everything the catalogue did to the window, so that a
// test can compare the whole list with what it expects.
class FakeView : public IView
{
public:
    struct Row
    {
        QString text;
        int32_t indent = 0;
        int32_t icon = -1;
        int32_t tag = 0;
        QStringList columns{QString(), QString(), QString()}; // columns 1..3
        bool ghosted = false;
    };

    void Clear() override { rows.clear(); }
    void ItemAdd(int32_t row, const QString& text, int32_t indent, int32_t icon,
                 int32_t tag) override;
    void SubItemSet(int32_t row, int32_t column, const QString& text, int32_t icon) override;
    void SetItemGhosted(int32_t row, bool ghosted) override;
    int32_t count() const override { return static_cast<int32_t>(rows.size()); }

    void SetListEnabled(bool enabled) override { listEnabled = enabled; }
    void SetCloseEnabled(bool enabled) override { closeEnabled = enabled; }
    void SetInstallEnabled(bool enabled) override { installEnabled = enabled; }
    void SetSyncButtonVisible(int32_t button, bool visible) override
    {
        syncVisible[button] = visible;
    }
    void SetBusyIndicator(bool busy) override { busyIndicator = busy; }

    void EnableCheckOnline() override { ++checkOnlineEnabled; }
    void ShowWarningPanel() override { warningShown = true; }
    void ShowModelBrowser(const std::optional<JsonNode>& models, const QString& display,
                          bool isExtension, const QString& version) override
    {
        browsers.push_back({models, display, isExtension, version});
    }

    void BeginWaitCursor() override { ++waitDepth, ++waitCount; }
    void EndWaitCursor() override { --waitDepth; }
    void DoEvents() override { ++doEvents; }

    // "row text|version|count|status|icon|tag|ghosted" per row, for whole-list comparisons.
    QStringList Lines() const;

    std::vector<Row> rows;
    bool listEnabled = true;
    bool closeEnabled = true;
    bool installEnabled = false;
    std::map<int32_t, bool> syncVisible{{1, false}, {2, false}, {3, false}};
    bool busyIndicator = false;
    int waitDepth = 0;
    int waitCount = 0;
    int doEvents = 0;
    bool badCall = false; // a sub-item or flag set on a row that does not exist
    int checkOnlineEnabled = 0;
    bool warningShown = false;
    struct Browser
    {
        std::optional<JsonNode> models;
        QString display;
        bool isExtension = false;
        QString version;
    };
    std::vector<Browser> browsers;
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

    // Answers given in order; when the script runs out, OK (1) or the first
    // button's answer.
    std::deque<int32_t> answers;
    std::deque<QString> inputs;
    std::vector<Message> messages;
    QStringList inputPrompts;
    QStringList urls;
};
