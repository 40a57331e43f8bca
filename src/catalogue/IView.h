#pragma once

#include "startup/JsonNode.h"

#include <QString>
#include <cstdint>
#include <optional>

// The view seam: what the catalogue procedures do to the main window. The
// window implements it with real widgets; tests record every call.
class IView
{
public:
    virtual ~IView() = default;

    // The package list.
    virtual void Clear() = 0;
    virtual void ItemAdd(int32_t row, const QString& text, int32_t indent, int32_t icon,
                         int32_t tag) = 0;
    // icon -1: none.
    virtual void SubItemSet(int32_t row, int32_t column, const QString& text, int32_t icon) = 0;
    virtual void SetItemGhosted(int32_t row, bool ghosted) = 0;
    // The row's tag, its status, which colours its status cell.
    virtual void SetItemTag(int32_t row, int32_t tag) = 0;
    virtual int32_t count() const = 0;

    // What UpdateControls sets. Sync toolbar buttons are numbered from 1.
    virtual void SetListEnabled(bool enabled) = 0;
    virtual void SetCloseEnabled(bool enabled) = 0;
    virtual void SetInstallEnabled(bool enabled) = 0;
    virtual void SetSyncButtonVisible(int32_t button, bool visible) = 0;
    virtual void SetSyncButtonToolTip(int32_t button, const QString& text) = 0;
    virtual void SetBusyIndicator(bool busy) = 0; // progress bar visible and animated
    // The package download under way: permille of its body on the progress
    // bar (-1: unknown, the busy marquee) and a line beside the sync state
    // (empty: no line).
    virtual void SetDownloadProgress(int32_t permille, const QString& line) = 0;
    // "取消(&C)", in a place of its own beside the progress bar, and Escape.
    virtual void SetCancel(bool visible, bool enabled) = 0;
    // The keyboard focus to the list, on row (-1: on the row it had).
    virtual void FocusList(int32_t row) = 0;

    // Turns the one-shot online-check timer on: the probe and the sync run
    // again on its next tick.
    virtual void EnableCheckOnline() = 0;
    // Shows the panel that warns of an editor too old for packages.
    virtual void ShowWarningPanel() = 0;
    // The model browser, modal over the window; no model list when the
    // lookup failed (the browser reports it).
    virtual void ShowModelBrowser(const std::optional<JsonNode>& models, const QString& display,
                                  bool isExtension, const QString& version) = 0;

    // The hourglass and servicing the event loop.
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;
    virtual void DoEvents() = 0;
};
