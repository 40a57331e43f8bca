#include "frmMain.h"

#include "FormIcon.h"
#include "catalogue/ModelFilter.h"
#include "catalogue/cPackageImport.h"
#include "controls/cComboBoxEx.h"
#include "controls/cFindField.h"
#include "controls/cListView.h"
#include "controls/cProgressBar.h"
#include "controls/cToolbar.h"
#include "frmModels.h"
#include "resources/Resources.h"
#include "startup/Trace.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

const QString frmMain::kCaption = QStringLiteral("Kestrovia Morvelin扩展包管理器");

namespace {
constexpr int kTimerInterval = 50; // both one-shot checks run this long after they are enabled
constexpr int kListWidth = 640;    // the four columns: 250 + 100 + 100 + the rest
const QColor kWhite(0xFF, 0xFF, 0xFF);
const QColor kMagenta(0xFF, 0x00, 0xFF);
constexpr int kFromFile = 21; // the context menu's "install from a file", after a separator (20)

// The one local file of a drag, when it is named like a package archive.
QString DroppedArchive(const QMimeData* data)
{
    if (!data || data->urls().size() != 1 || !data->urls().front().isLocalFile())
        return {};
    const QString path = data->urls().front().toLocalFile();
    return cPackageImport::IsArchiveName(path) ? path : QString();
}
} // namespace

frmMain::frmMain(const ProcessValues& process, IPrompt* prompt, QWidget* parent)
    : QWidget(parent), prompt_(prompt ? prompt : &dialogs_),
      catalogue_(state_, *this, *this, process)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(kCaption);
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("微软雅黑"), QStringLiteral("Microsoft YaHei"),
                      QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei"),
                      font.family()});
    setFont(font);
    // The checks fire only once the event loop runs, so starting them before
    // anything else changes nothing but lets their 50 ms pass while the
    // window is built and drawn: the account's data shows that much sooner.
    BuildTimers();
    tmrCheckVersion_->start();
    if (catalogue_.Process().HasAccount())
        EnableCheckOnline();
    BuildControls();
    Form_Load();
    Trace::WatchPaints(lvBody_->viewport()); // cost measurements only
}

frmMain::~frmMain()
{
    // Hiding the children while the window goes lays the list out again: its
    // cells must not reach back into a window that is half destroyed.
    lvBody_->removeEventFilter(this);
    lvBody_->SetSubItemPrePaintHandler({});
}

void frmMain::BuildTimers()
{
    tmrCheckOnline_ = new QTimer(this);
    tmrCheckOnline_->setObjectName(QStringLiteral("tmrCheckOnline"));
    tmrCheckOnline_->setSingleShot(true); // the handler turns its timer off first
    tmrCheckOnline_->setInterval(kTimerInterval);
    tmrCheckOnline_->setTimerType(Qt::PreciseTimer); // a coarse timer may come 5% late
    tmrCheckVersion_ = new QTimer(this);
    tmrCheckVersion_->setObjectName(QStringLiteral("tmrCheckVersion"));
    tmrCheckVersion_->setSingleShot(true);
    tmrCheckVersion_->setInterval(kTimerInterval);
    tmrCheckVersion_->setTimerType(Qt::PreciseTimer);

    // A tick while work runs (the sync's own Retry, say) is taken again once
    // the work has ended, never inside it.
    const auto check = [this](QTimer* timer, void (Catalogue::*procedure)()) {
        connect(timer, &QTimer::timeout, this, [this, timer, procedure] {
            timer->stop();
            if (catalogue_.WorkRunning())
                timer->start();
            else
                (catalogue_.*procedure)();
        });
    };
    check(tmrCheckOnline_, &Catalogue::CheckOnline);
    check(tmrCheckVersion_, &Catalogue::CheckVersion);
}

void frmMain::BuildControls()
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    picWarning_ = new QFrame(this);
    picWarning_->setObjectName(QStringLiteral("picWarning"));
    picWarning_->setStyleSheet(
        QStringLiteral("#picWarning { background: #FFF4CE; border-bottom: 1px solid #E0C060; }"));
    auto* warning = new QHBoxLayout(picWarning_);
    imgWarning_ = new QLabel(picWarning_);
    imgWarning_->setObjectName(QStringLiteral("imgWarning"));
    imgWarning_->setPixmap(WarningImage(devicePixelRatioF()));
    lblWarning_ = new QLabel(
        QStringLiteral(
            "注意：当前 Kestrovia "
            "元数据编辑器版本过低，无法使用扩展包管理器来添加新型号，请升级您的 Kestrovia "
            "元数据编辑器主程序到最新版，然后重试。"),
        picWarning_);
    lblWarning_->setObjectName(QStringLiteral("lblWarning"));
    lblWarning_->setWordWrap(true);
    warning->addWidget(imgWarning_, 0, Qt::AlignTop);
    warning->addWidget(lblWarning_, 1);
    picWarning_->hide();
    outer->addWidget(picWarning_);

    picMain_ = new QWidget(this);
    picMain_->setObjectName(QStringLiteral("picMain"));
    outer->addWidget(picMain_, 1);
    auto* main = new QVBoxLayout(picMain_);

    auto* top = new QHBoxLayout;
    cboType_ = new cComboBoxEx(picMain_);
    cboType_->setObjectName(QStringLiteral("cboType"));
    tbSync_ = new cToolbar(picMain_);
    tbSync_->setObjectName(QStringLiteral("tbSync"));
    txtFind_ = new cFindField(this, picMain_);
    top->addWidget(cboType_);
    top->addWidget(txtFind_);
    top->addStretch(1);
    lblProgress_ = new QLabel(picMain_);
    lblProgress_->setObjectName(QStringLiteral("lblProgress"));
    lblProgress_->hide();
    top->addWidget(lblProgress_);
    top->addWidget(tbSync_);
    main->addLayout(top);

    lvBody_ = new cListView(picMain_);
    lvBody_->setObjectName(QStringLiteral("lvBody"));
    lvBody_->setMinimumWidth(kListWidth);
    lvBody_->resize(kListWidth, 360);
    main->addWidget(lvBody_, 1);

    auto* bottom = new QHBoxLayout;
    pbDownloading_ = new cProgressBar(picMain_);
    pbDownloading_->setObjectName(QStringLiteral("pbDownloading"));
    pbDownloading_->setMaximumWidth(200);
    pbDownloading_->hide();
    cmdInstall_ = new QPushButton(QStringLiteral("一键安装(&I)"), picMain_);
    cmdInstall_->setObjectName(QStringLiteral("cmdInstall"));
    // Beside the bar and far from 一键安装, which stays where it is: the
    // second click of a double click on 取消 lands on empty space once the
    // work has ended, never on a button that starts another.
    cmdCancel_ = new QPushButton(QStringLiteral("取消(&C)"), picMain_);
    cmdCancel_->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel_->hide();
    cmdClose_ = new QPushButton(QStringLiteral("退出(&X)"), picMain_);
    cmdClose_->setObjectName(QStringLiteral("cmdClose"));
    bottom->addWidget(pbDownloading_);
    bottom->addWidget(cmdCancel_);
    bottom->addStretch(1);
    bottom->addWidget(cmdInstall_);
    bottom->addWidget(cmdClose_);
    main->addLayout(bottom);

    mnuItem_ = new QMenu(this);
    mnuItem_->setObjectName(QStringLiteral("mnuItem"));
    const std::pair<int, QString> items[] = {{0, QStringLiteral("安装(&I)")},
                                             {1, QStringLiteral("卸载(&U)")},
                                             {2, QStringLiteral("购买(&P)...")},
                                             {10, QStringLiteral("-")},
                                             {99, QStringLiteral("浏览型号(&B)...")},
                                             {20, QStringLiteral("-")},
                                             {kFromFile, QStringLiteral("从文件安装...")}};
    for (const auto& [index, caption] : items) {
        QAction* action =
            caption == QLatin1String("-") ? mnuItem_->addSeparator() : mnuItem_->addAction(caption);
        action->setObjectName(QStringLiteral("mnuContext%1").arg(index));
        connect(action, &QAction::triggered, this,
                [this, index = index] { mnuContext_Click(index); });
        mnuContext_[index] = action;
    }

    connect(cmdClose_, &QPushButton::clicked, this, &QWidget::close);
    connect(cmdInstall_, &QPushButton::clicked, this, [this] { catalogue_.InstallAll(); });
    connect(cmdCancel_, &QPushButton::clicked, this, [this] { catalogue_.CancelWork(); });
    escCancel_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escCancel_->setEnabled(false);
    connect(escCancel_, &QShortcut::activated, this, [this] { catalogue_.CancelWork(); });
    connect(tbSync_, &cToolbar::ButtonClick, this, [this](int button) {
        if (button == 3 && !catalogue_.WorkRunning())
            EnableCheckOnline();
    });
    connect(lvBody_, &cListView::ItemSelectedChanged, this,
            [this](int row) { state_.SelectedIndex = row; });
    connect(lvBody_, &cListView::ItemDblClick, this, [this](int) { catalogue_.RowDoubleClick(); });
    connect(lvBody_, &cListView::MouseUp, this,
            [this](int button, int, int, int) { OnMouseUp(button, QCursor::pos()); });
    lvBody_->installEventFilter(this);
    txtFind_->SetResults(lvBody_);
    connect(txtFind_, &QLineEdit::textChanged, this, &frmMain::ApplyFind);
    setTabOrder(cboType_, txtFind_);
    setTabOrder(txtFind_, lvBody_);
    setTabOrder(lvBody_, cmdCancel_);
    setTabOrder(cmdCancel_, cmdInstall_);
    setTabOrder(cmdInstall_, cmdClose_);
    setAcceptDrops(true);
}

void frmMain::Form_Load()
{
    const qreal dpr = devicePixelRatioF();
    QString iconPath;
    SetFormIcon(this, iconPath, 0, 1);

    cboType_->SetStyle(2);
    cboType_->InitializeImageList(24, 24);
    cboType_->AddBitmap(CamStrip(dpr));
    cboType_->AddItem(QStringLiteral("机身"), 0, 0);
    cboType_->AddItem(QStringLiteral("镜头"), 1, 8);
    cboType_->SetListIndex(0);

    lvBody_->Initialize();
    lvBody_->InitializeImageListSmall(55, 24, false);
    const QPixmap brands = BrandStrip(dpr);
    lvBody_->ImageListSmall_AddBitmap(brands, kWhite);
    lvBody_->ImageListSmall_AddSelectedBitmap(BrandPlateStrip(brands), kWhite);
    lvBody_->SetBorderStyle(1);
    lvBody_->SetViewMode(1);
    lvBody_->SetFullRowSelect(true);
    lvBody_->SetMultiSelect(false);
    lvBody_->SetHideSelection(false);
    lvBody_->SetGridLines(false);
    lvBody_->SetUseTheme(true);
    lvBody_->SetRaiseSubItemPrePaint(true);
    lvBody_->ColumnAdd(0, QStringLiteral("扩展包 (双击浏览)"), 250);
    lvBody_->ColumnAdd(1, QStringLiteral("版本"), 100);
    lvBody_->ColumnAdd(2, QStringLiteral("型号数量"), 100, 1);
    lvBody_->ColumnAdd(3, QStringLiteral("状态"), lvBody_->width() - 450 - 4, 1);
    lvBody_->SetSubItemPrePaintHandler(
        [this](int row, int column, QColor& background, QColor& text, bool& handled) {
            uint32_t back = background.rgb() & 0xFFFFFFu;
            uint32_t fore = text.rgb() & 0xFFFFFFu;
            RowColours(row, column, lvBody_->ItemTag(row), lvBody_->ItemGhosted(row),
                       palette().color(QPalette::Disabled, QPalette::Text).rgb() & 0xFFFFFFu, back,
                       fore);
            background = QColor::fromRgb(back);
            text = QColor::fromRgb(fore);
            handled = true;
        });

    tbSync_->Initialize(22, 22, true, true, false);
    tbSync_->AddBitmap(StatusStrip(dpr), kMagenta);
    tbSync_->AddBitmapDisabled(StatusStrip(dpr), kMagenta);
    tbSync_->AddButton(QStringLiteral("正在同步数据..."), 1, QString());
    tbSync_->AddButton(QStringLiteral("已同步"), 2, QString());
    tbSync_->AddButton(QStringLiteral("同步数据失败"), 3, QStringLiteral("点击重试"));
    // Sized to its own width and height; with one button showing it keeps
    // to the right edge.
    tbSync_->setFixedHeight(tbSync_->ToolbarHeight() + 1);
    tbSync_->setMaximumWidth(tbSync_->ToolbarWidth());
    tbSync_->SetButtonEnabled(1, false);
    tbSync_->SetButtonVisible(2, false);
    tbSync_->SetButtonVisible(3, false);

    resize(680, 640);
    if (!catalogue_.Process().HasAccount()) {
        catalogue_.LoadLocalDatabases();
        catalogue_.UpdateControls();
    }
}

int frmMain::FirstSelectedRow() const
{
    for (int row = 0; row < lvBody_->count(); ++row)
        if (lvBody_->ItemSelected(row))
            return row;
    return -1;
}

void frmMain::OnMouseUp(int button, const QPoint& at)
{
    const std::optional<Catalogue::ContextMenuState> menu =
        catalogue_.ListMouseUp(button, FirstSelectedRow());
    if (!menu)
        return;
    mnuContext_[0]->setEnabled(menu->install);
    mnuContext_[1]->setEnabled(menu->uninstall);
    mnuContext_[2]->setVisible(menu->buyVisible);
    mnuContext_[99]->setEnabled(menu->browse);
    mnuItem_->popup(at);
}

void frmMain::mnuContext_Click(int index)
{
    if (index == kFromFile)
        cPackageImport(catalogue_).InstallChosenFile();
    else
        catalogue_.ContextCommand(index);
}

void frmMain::dragEnterEvent(QDragEnterEvent* event)
{
    // Not accepted while work runs: the drag shows the not-allowed cursor.
    if (!catalogue_.WorkRunning() && !DroppedArchive(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void frmMain::dropEvent(QDropEvent* event)
{
    const QString path = DroppedArchive(event->mimeData());
    if (catalogue_.WorkRunning() || path.isEmpty())
        return;
    event->acceptProposedAction();
    // Message boxes are not opened inside the drop: the drag ends first. The
    // gate is asked again then.
    QTimer::singleShot(0, this, [this, path] { cPackageImport(catalogue_).InstallFromFile(path); });
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != lvBody_ || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        state_.SelectedIndex = FirstSelectedRow();
        catalogue_.RowDoubleClick();
        return true;
    }
    if (key->key() == Qt::Key_Menu ||
        (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier)) {
        const int row = FirstSelectedRow();
        const QRect cell = row < 0 ? QRect() : lvBody_->visualItemRect(lvBody_->topLevelItem(row));
        OnMouseUp(2, lvBody_->viewport()->mapToGlobal(cell.bottomLeft()));
        return true;
    }
    if (key->key() == Qt::Key_Delete) {
        OfferRemoval();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void frmMain::OfferRemoval()
{
    const int row = FirstSelectedRow();
    state_.SelectedIndex = row;
    if (catalogue_.WorkRunning() || row < 0 || row >= static_cast<int>(state_.Entries.size()))
        return;
    const ExtensionEntry& entry = state_.Entries[static_cast<size_t>(row)];
    if (!entry.IsExtension || entry.Status != Installed)
        return;
    if (prompt_->MsgBox(QStringLiteral("是否卸载 ") + entry.Display + QStringLiteral(" 扩展包？"),
                        MsgStyle::YesNo + MsgStyle::Question,
                        QStringLiteral("卸载扩展包")) == MsgAnswer::Yes)
        catalogue_.ContextCommand(1);
}

void frmMain::ScheduleFind()
{
    if (findScheduled_ || txtFind_->text().isEmpty())
        return;
    findScheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        findScheduled_ = false;
        ApplyFind();
    });
}

void frmMain::ApplyFind()
{
    lvBody_->EndFill(); // the rows it hides must be in the list
    const QString text = txtFind_->text();
    for (int row = 0; row < lvBody_->count(); ++row) {
        const bool hidden = !RowMatchesFind(state_, row, text);
        lvBody_->topLevelItem(row)->setHidden(hidden);
        // A row out of sight is no longer the one the keys and menu act on.
        if (hidden && lvBody_->ItemSelected(row)) {
            lvBody_->SetItemSelected(row, false);
            state_.SelectedIndex = -1;
        }
    }
}

void frmMain::closeEvent(QCloseEvent* event)
{
    // Closing while work runs is refused without a word.
    if (state_.Busy) {
        event->ignore();
        return;
    }
    event->accept();
}

void frmMain::Clear()
{
    // A rebuild follows: its rows go into the list together when it sets the
    // controls at its end.
    lvBody_->Clear();
    lvBody_->BeginFill();
}

void frmMain::ItemAdd(int32_t row, const QString& text, int32_t indent, int32_t icon, int32_t tag)
{
    lvBody_->ItemAdd(row, text, indent, icon, tag);
    ScheduleFind();
}

void frmMain::SubItemSet(int32_t row, int32_t column, const QString& text, int32_t icon)
{
    lvBody_->SubItemSet(row, column, text, icon);
}

void frmMain::SetItemGhosted(int32_t row, bool ghosted)
{
    lvBody_->SetItemGhosted(row, ghosted);
}

void frmMain::SetItemTag(int32_t row, int32_t tag)
{
    lvBody_->SetItemTag(row, tag);
}

int32_t frmMain::count() const
{
    return lvBody_->count();
}

void frmMain::SetListEnabled(bool enabled)
{
    lvBody_->EndFill();
    lvBody_->setEnabled(enabled);
}

void frmMain::SetCloseEnabled(bool enabled)
{
    cmdClose_->setEnabled(enabled);
}

void frmMain::SetInstallEnabled(bool enabled)
{
    cmdInstall_->setEnabled(enabled);
}

void frmMain::SetSyncButtonVisible(int32_t button, bool visible)
{
    tbSync_->SetButtonVisible(button, visible);
}

void frmMain::SetSyncButtonToolTip(int32_t button, const QString& text)
{
    tbSync_->SetButtonToolTip(button, text);
}

void frmMain::SetBusyIndicator(bool busy)
{
    pbDownloading_->SetMarquee(busy);
    pbDownloading_->setVisible(busy);
}

void frmMain::SetDownloadProgress(int32_t permille, const QString& line)
{
    if (permille >= 0) {
        pbDownloading_->setRange(0, 1000);
        pbDownloading_->setValue(permille);
    } else {
        pbDownloading_->SetMarquee(pbDownloading_->isVisible());
    }
    lblProgress_->setText(line);
    lblProgress_->setVisible(!line.isEmpty());
}

void frmMain::SetCancel(bool visible, bool enabled)
{
    cmdCancel_->setVisible(visible);
    cmdCancel_->setEnabled(enabled);
    escCancel_->setEnabled(visible && enabled);
}

void frmMain::FocusList(int32_t row)
{
    QTreeWidgetItem* item =
        row >= 0 && row < lvBody_->count() ? lvBody_->topLevelItem(row) : nullptr;
    if (item && !item->isHidden())
        lvBody_->setCurrentItem(item);
    lvBody_->setFocus(Qt::OtherFocusReason);
}

void frmMain::EnableCheckOnline()
{
    tmrCheckOnline_->start();
}

void frmMain::ShowWarningPanel()
{
    if (picWarning_->isVisible())
        return;
    picWarning_->show();
    // Taller by the panel, so the main controls keep their room below it.
    resize(width(), height() + picWarning_->sizeHint().height());
}

void frmMain::ShowModelBrowser(const std::optional<JsonNode>& models, const QString& display,
                               bool isExtension, const QString& version)
{
    frmModels browser(*prompt_, catalogue_.Process().ScrollBarWidth, this);
    browser.Models = models;
    browser.PackageDisplay = display;
    browser.IsExtension = isExtension;
    browser.PackageVersion = version;
    browser.exec();
}

void frmMain::BeginWaitCursor()
{
    if (waitDepth_++ == 0)
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

void frmMain::EndWaitCursor()
{
    if (waitDepth_ > 0 && --waitDepth_ == 0)
        QApplication::restoreOverrideCursor();
}

void frmMain::DoEvents()
{
    QCoreApplication::processEvents();
}

int32_t frmMain::MsgBox(const QString& text, int32_t style, const QString& title)
{
    return prompt_->MsgBox(text, style, title);
}

QString frmMain::InputBox(const QString& prompt, const QString& title)
{
    return prompt_->InputBox(prompt, title);
}

void frmMain::OpenUrl(const QString& url)
{
    prompt_->OpenUrl(url);
}

QString frmMain::OpenFileName(const QString& title, const QString& filter)
{
    return prompt_->OpenFileName(title, filter);
}
