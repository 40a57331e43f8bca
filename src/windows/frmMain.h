#pragma once

#include "MessageBoxPrompt.h"
#include "catalogue/Catalogue.h"
#include "catalogue/IView.h"
#include "catalogue/MainState.h"
#include "startup/ProcessValues.h"

#include <QWidget>

class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QShortcut;
class QTimer;
class cComboBoxEx;
class cFindField;
class cListView;
class cProgressBar;
class cToolbar;

// The main window: the package list with its context menu, the install-all
// and close buttons and the sync toolbar. It translates events into calls of
// the catalogue procedures and is their view and prompt.
class frmMain : public QWidget, public IView, public IPrompt
{
    Q_OBJECT

public:
    // prompt: where questions go; real dialogs when none is given (tests
    // pass a scripted one).
    explicit frmMain(const ProcessValues& process, IPrompt* prompt = nullptr,
                     QWidget* parent = nullptr);
    ~frmMain() override;

    MainState& State() { return state_; }
    Catalogue& Procedures() { return catalogue_; }

    // IView
    void Clear() override;
    void ItemAdd(int32_t row, const QString& text, int32_t indent, int32_t icon,
                 int32_t tag) override;
    void SubItemSet(int32_t row, int32_t column, const QString& text, int32_t icon) override;
    void SetItemGhosted(int32_t row, bool ghosted) override;
    void SetItemTag(int32_t row, int32_t tag) override;
    int32_t count() const override;
    void SetListEnabled(bool enabled) override;
    void SetCloseEnabled(bool enabled) override;
    void SetInstallEnabled(bool enabled) override;
    void SetSyncButtonVisible(int32_t button, bool visible) override;
    void SetSyncButtonToolTip(int32_t button, const QString& text) override;
    void SetBusyIndicator(bool busy) override;
    void SetDownloadProgress(int32_t permille, const QString& line) override;
    void SetCancel(bool visible, bool enabled) override;
    void FocusList(int32_t row) override;
    void EnableCheckOnline() override;
    void ShowWarningPanel() override;
    void ShowModelBrowser(const std::optional<JsonNode>& models, const QString& display,
                          bool isExtension, const QString& version) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void DoEvents() override;

    // IPrompt: real dialogs unless a test replaced them.
    int32_t MsgBox(const QString& text, int32_t style, const QString& title = QString()) override;
    QString InputBox(const QString& prompt, const QString& title = QString()) override;
    void OpenUrl(const QString& url) override;
    QString OpenFileName(const QString& title, const QString& filter) override;

    static const QString kCaption;

protected:
    void closeEvent(QCloseEvent* event) override;
    // A package archive dropped on the window installs as if chosen in the
    // file dialog.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // The list's keys: Enter, the Menu key and Shift+F10, Delete.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    void BuildTimers();
    void BuildControls();
    void mnuContext_Click(int index);
    void OnMouseUp(int button, const QPoint& at);
    int FirstSelectedRow() const;
    // Delete on an installed package row: the removal, after a question.
    void OfferRemoval();
    // Hides the rows without a body that matches the find field; scheduled
    // after each rebuild of the list, when the rows and databases are whole.
    void ApplyFind();
    void ScheduleFind();

    MessageBoxPrompt dialogs_{this};
    IPrompt* prompt_ = &dialogs_;
    MainState state_;
    Catalogue catalogue_;

    QFrame* picWarning_ = nullptr;
    QLabel* imgWarning_ = nullptr;
    QLabel* lblWarning_ = nullptr;
    QWidget* picMain_ = nullptr;
    cListView* lvBody_ = nullptr;
    cToolbar* tbSync_ = nullptr;
    cProgressBar* pbDownloading_ = nullptr;
    QPushButton* cmdInstall_ = nullptr;
    QPushButton* cmdCancel_ = nullptr;
    QLabel* lblProgress_ = nullptr;
    QShortcut* escCancel_ = nullptr;
    QPushButton* cmdClose_ = nullptr;
    cComboBoxEx* cboType_ = nullptr;
    cFindField* txtFind_ = nullptr;
    bool findScheduled_ = false;
    QTimer* tmrCheckOnline_ = nullptr;
    QTimer* tmrCheckVersion_ = nullptr;
    QMenu* mnuItem_ = nullptr;
    std::map<int, QAction*> mnuContext_;
    int waitDepth_ = 0;
};
