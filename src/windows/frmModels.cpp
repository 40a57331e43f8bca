#include "frmModels.h"

#include "catalogue/Catalogue.h"
#include "catalogue/ExtensionEntry.h"
#include "catalogue/JsonLookup.h"
#include "controls/cFindField.h"
#include "controls/cListView.h"
#include "resources/Resources.h"
#include "startup/Trace.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int kLoadDelay = 100; // lets the empty dialog be drawn first
constexpr int kListWidth = 560;
const QString kKitPrefix = QStringLiteral("\u251C  ");
} // namespace

frmModels::frmModels(IPrompt& prompt, const QString& scrollBarWidth, QWidget* parent)
    : QDialog(parent), prompt_(prompt), scrollBarWidth_(scrollBarWidth.toInt())
{
    setObjectName(QStringLiteral("frmModels"));
    setModal(true);
    setFont(parent ? parent->font() : font());
    auto* layout = new QVBoxLayout(this);
    txtFind_ = new cFindField(this, this);
    layout->addWidget(txtFind_);
    connect(txtFind_, &QLineEdit::textChanged, this, &frmModels::ApplyFind);
    lvModels_ = new cListView(this);
    lvModels_->setObjectName(QStringLiteral("lvModels"));
    lvModels_->setMinimumWidth(kListWidth);
    lvModels_->resize(kListWidth, 420);
    layout->addWidget(lvModels_, 1);
    txtFind_->SetResults(lvModels_);
    auto* bottom = new QHBoxLayout;
    lblVersion_ = new QLabel(QStringLiteral("版本: v0.0.0"), this);
    lblVersion_->setObjectName(QStringLiteral("lblVersion"));
    cmdClose_ = new QPushButton(QStringLiteral("关闭(&X)"), this);
    cmdClose_->setObjectName(QStringLiteral("cmdClose"));
    bottom->addWidget(lblVersion_);
    bottom->addStretch(1);
    bottom->addWidget(cmdClose_);
    layout->addLayout(bottom);
    connect(cmdClose_, &QPushButton::clicked, this, &QDialog::accept);
    setTabOrder(txtFind_, lvModels_);
    setTabOrder(lvModels_, cmdClose_);

    tmrLoad_ = new QTimer(this);
    tmrLoad_->setObjectName(QStringLiteral("tmrLoad"));
    tmrLoad_->setInterval(kLoadDelay);
    connect(tmrLoad_, &QTimer::timeout, this, &frmModels::tmrLoad_Timer);

    // Form_Load
    lvModels_->Initialize();
    lvModels_->InitializeImageListSmall(24, 24, false);
    lvModels_->ImageListSmall_AddBitmap(CamStrip(devicePixelRatioF()), QColor(0xFF, 0xFF, 0xFF));
    lvModels_->SetBorderStyle(1);
    lvModels_->SetViewMode(1);
    lvModels_->SetFullRowSelect(true);
    lvModels_->SetMultiSelect(false);
    lvModels_->SetHideSelection(false);
    lvModels_->SetGridLines(false);
    lvModels_->SetUseTheme(true);
    lvModels_->SetRaiseSubItemPrePaint(false); // raised but not handled: no custom colours
    lvModels_->ColumnAdd(0, QStringLiteral("型号"), 285);
    lvModels_->ColumnAdd(1, QStringLiteral("类型"), 75);
    lvModels_->ColumnAdd(2, QStringLiteral("发布时间"),
                         lvModels_->width() - 360 - scrollBarWidth_ - 4, 1);
    resize(kListWidth + 24, 500);
}

void frmModels::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Restoring a minimised or hidden dialog shows it again: the list is
    // filled once per opening.
    if (loaded_)
        return;
    loaded_ = true;
    tmrLoad_->start();
}

void frmModels::done(int result)
{
    // Form_Unload releases the model list; opening the dialog again loads it
    // afresh.
    Models.reset();
    tmrLoad_->stop();
    lvModels_->Clear();
    loaded_ = false;
    QDialog::done(result);
}

int frmModels::TypeIcon(const QString& upperType)
{
    static const std::pair<const char*, int> kTypes[] = {
        {"DSLR-H", 2}, {"DSLR-M", 3}, {"DSLR-E", 4}, {"MILC", 5}, {"COMPACT", 6}, {"CELL", 13}};
    for (const auto& [type, icon] : kTypes)
        if (upperType == QLatin1String(type))
            return icon;
    return 1;
}

void frmModels::tmrLoad_Timer()
{
    tmrLoad_->stop();
    if (!Models) {
        reject();
        prompt_.MsgBox(QStringLiteral("数据库加载错误！"), MsgStyle::Critical);
        return;
    }
    const QString version = NormalizeVersion(PackageVersion);
    lblVersion_->setText(QStringLiteral("版本: v") + version);
    setWindowTitle(QStringLiteral("浏览 ") + PackageDisplay +
                   (IsExtension ? QStringLiteral(" (扩展包)") : QStringLiteral(" (内置)")) +
                   QStringLiteral(" 型号"));

    const int n = Models->IsNode() ? Models->count() : 0;
    filter_.Clear();
    if (n == 0)
        return;
    lvModels_->hide();
    lvModels_->setUpdatesEnabled(false);
    lvModels_->BeginFill();
    int row = 0;
    for (int i = 1; i <= n; ++i) {
        JsonNode model;
        try {
            model = Models->Item(i);
        } catch (const JsonError&) {
        }
        const QString type = TextOr(model, QStringLiteral("type")).toUpper();
        lvModels_->ItemAdd(row, TextOr(model, QStringLiteral("name")), 0, TypeIcon(type), 0);
        lvModels_->SubItemSet(row, 1, type, -1);
        lvModels_->SubItemSet(row, 2, TextOr(model, QStringLiteral("release")).left(7), -1);
        ++row;
        // Most bodies have no kit lens: looked up without raising an error.
        const std::optional<JsonNode> kits = MemberOf(model, QStringLiteral("kit_lens"));
        const int kitCount = kits && kits->IsNode() ? kits->count() : 0;
        filter_.AddBody(TextOr(model, QStringLiteral("name")), kitCount);
        for (int j = 1; j <= kitCount; ++j) {
            QString lens;
            try {
                lens = kits->Item(j).text();
            } catch (const JsonError&) {
            }
            lvModels_->ItemAdd(row, kKitPrefix + lens, 0, -1, 0);
            lvModels_->SubItemSet(row, 1, QStringLiteral("KIT"), 0);
            lvModels_->SubItemSet(row, 2, QString(), -1);
            ++row;
        }
    }
    lvModels_->EndFill();
    if (!txtFind_->text().isEmpty()) // typed before the list was filled
        ApplyFind(txtFind_->text());
    lvModels_->setUpdatesEnabled(true);
    lvModels_->show();
    Trace::Mark(QStringLiteral("browser-filled"));
}

void frmModels::ApplyFind(const QString& text)
{
    const std::vector<bool> visible = filter_.VisibleLines(text);
    const int lines = std::min(lvModels_->count(), static_cast<int>(visible.size()));
    lvModels_->setUpdatesEnabled(false);
    for (int line = 0; line < lines; ++line) {
        QTreeWidgetItem* item = lvModels_->topLevelItem(line);
        if (item->isHidden() == visible[static_cast<size_t>(line)])
            item->setHidden(!visible[static_cast<size_t>(line)]);
    }
    lvModels_->setUpdatesEnabled(true);
}

void frmModels::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && !txtFind_->text().isEmpty()) {
        txtFind_->clear();
        return;
    }
    QDialog::keyPressEvent(event);
}
