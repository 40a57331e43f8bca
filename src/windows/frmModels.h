#pragma once

#include "catalogue/ModelFilter.h"
#include "startup/IPrompt.h"
#include "startup/JsonNode.h"

#include <QDialog>
#include <optional>

class QLabel;
class QPushButton;
class QTimer;
class cFindField;
class cListView;

// The modal model browser: one line per camera model of a built-in maker or
// an installed package, with its type and release month, and its kit lenses
// as indented lines. The list is filled by a timer shortly after the empty
// dialog is drawn.
class frmModels : public QDialog
{
    Q_OBJECT

public:
    frmModels(IPrompt& prompt, const QString& scrollBarWidth, QWidget* parent = nullptr);

    std::optional<JsonNode> Models;
    QString PackageDisplay;
    QString PackageVersion;
    bool IsExtension = false;

    // The icon of an equipment type in the CAM strip (compared in upper case).
    static int TypeIcon(const QString& upperType);

    // What the timer does once: fill the dialog, or close it and report a
    // missing model list.
    void tmrLoad_Timer();

protected:
    void showEvent(QShowEvent* event) override;
    // Escape clears the find field when it holds text, and closes only then.
    // Enter in the find field goes to the first match instead of closing.
    void keyPressEvent(QKeyEvent* event) override;
    void done(int result) override;

private:
    // Shows the bodies whose name holds the text, each with its kit lenses;
    // an empty text brings back the whole list in its order.
    void ApplyFind(const QString& text);

    IPrompt& prompt_;
    int scrollBarWidth_;
    cFindField* txtFind_ = nullptr;
    cListView* lvModels_ = nullptr;
    QLabel* lblVersion_ = nullptr;
    QPushButton* cmdClose_ = nullptr;
    QTimer* tmrLoad_ = nullptr;
    bool loaded_ = false; // shown since it was opened: later show events do not refill
    ModelFilter filter_;  // the lines of the list as filled
};
