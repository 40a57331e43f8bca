#include "cListView.h"

#include <QBitmap>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>
#include <utility>

namespace {

// Asks the list for each cell's colours before the standard drawing.
class PrePaintDelegate : public QStyledItemDelegate
{
public:
    explicit PrePaintDelegate(cListView* list) : QStyledItemDelegate(list), list_(list) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.data(cListView::GhostedRole).toBool())
            option->palette.setColor(QPalette::Text,
                                     option->palette.color(QPalette::Disabled, QPalette::Text));
        if (!list_->RaiseSubItemPrePaint())
            return;
        QColor background = option->backgroundBrush.style() == Qt::NoBrush
                                ? option->palette.color(QPalette::Base)
                                : option->backgroundBrush.color();
        QColor text = option->palette.color(QPalette::Text);
        bool handled = false;
        list_->RunPrePaint(index.row(), index.column(), background, text, handled);
        if (handled) {
            option->backgroundBrush = background;
            option->palette.setColor(QPalette::Text, text);
            option->palette.setColor(QPalette::HighlightedText,
                                     text.lightness() > 200 ? text : QColor(Qt::white));
        }
    }

private:
    cListView* list_;
};

} // namespace

cListView::cListView(QWidget* parent) : QTreeWidget(parent)
{
    setItemDelegate(new PrePaintDelegate(this));
    connect(this, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item, int) { emit ItemDblClick(indexOfTopLevelItem(item)); });
    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) {
                if (current)
                    emit ItemSelectedChanged(indexOfTopLevelItem(current));
            });
}

void cListView::Initialize()
{
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setItemsExpandable(false);
    setSortingEnabled(false);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    setColumnCount(0);
}

void cListView::InitializeImageListSmall(int width, int height, bool /*use32BitColour*/)
{
    iconSize_ = QSize(width, height);
    icons_.clear();
    setIconSize(iconSize_);
}

std::vector<QPixmap> cListView::Cut(const QPixmap& strip, const QColor& transparent) const
{
    std::vector<QPixmap> cells;
    const qreal dpr = strip.devicePixelRatio();
    const int cellWidth = qRound(iconSize_.width() * dpr);
    const int cellHeight = qRound(iconSize_.height() * dpr);
    for (int x = 0; x + cellWidth <= strip.width(); x += cellWidth) {
        QPixmap cell = strip.copy(x, 0, cellWidth, std::min(cellHeight, strip.height()));
        cell.setDevicePixelRatio(dpr);
        if (transparent.isValid() && !cell.hasAlphaChannel())
            cell.setMask(cell.createMaskFromColor(transparent, Qt::MaskInColor));
        cells.push_back(cell);
    }
    return cells;
}

void cListView::ImageListSmall_AddBitmap(const QPixmap& strip, const QColor& transparent)
{
    for (const QPixmap& cell : Cut(strip, transparent))
        icons_.emplace_back(cell);
}

void cListView::ImageListSmall_AddSelectedBitmap(const QPixmap& strip, const QColor& transparent)
{
    const std::vector<QPixmap> cells = Cut(strip, transparent);
    for (size_t i = 0; i < cells.size() && i < icons_.size(); ++i)
        icons_[i].addPixmap(cells[i], QIcon::Selected);
}

void cListView::ColumnAdd(int column, const QString& text, int width, int alignment)
{
    if (columnCount() <= column)
        setColumnCount(column + 1);
    QTreeWidgetItem* head = headerItem();
    head->setText(column, text);
    const Qt::Alignment align =
        (alignment == 1 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
    head->setTextAlignment(column, align);
    head->setData(column, TagRole, static_cast<int>(align));
    setColumnWidth(column, width);
}

cListView::~cListView()
{
    qDeleteAll(held_);
}

void cListView::Clear()
{
    qDeleteAll(held_);
    held_.clear();
    clear();
}

void cListView::BeginFill()
{
    if (filling_)
        return;
    filling_ = true;
    QTimer::singleShot(0, this, &cListView::EndFill);
}

void cListView::EndFill()
{
    filling_ = false;
    if (held_.isEmpty())
        return;
    insertTopLevelItems(topLevelItemCount(), std::exchange(held_, {}));
}

QTreeWidgetItem* cListView::Row(int row) const
{
    const int shown = topLevelItemCount();
    if (row >= shown && row - shown < held_.size())
        return held_[row - shown];
    return topLevelItem(row);
}

QIcon cListView::Icon(int index) const
{
    if (index < 0 || index >= static_cast<int>(icons_.size()))
        return {};
    return icons_[static_cast<size_t>(index)];
}

void cListView::ItemAdd(int row, const QString& text, int indent, int icon, int tag)
{
    auto* item = new QTreeWidgetItem;
    item->setText(0, indent > 0 ? QString(indent * 2, u' ') + text : text);
    item->setIcon(0, Icon(icon));
    item->setData(0, IconRole, icon);
    item->setData(0, TagRole, tag);
    for (int column = 1; column < columnCount(); ++column)
        item->setTextAlignment(column, Qt::Alignment(headerItem()->data(column, TagRole).toInt()));
    if (filling_ && row >= count()) {
        held_.append(item);
        return;
    }
    EndFill(); // a row put among the others: the held ones go first
    insertTopLevelItem(std::clamp(row, 0, topLevelItemCount()), item);
}

void cListView::SubItemSet(int row, int column, const QString& text, int icon)
{
    if (QTreeWidgetItem* item = Row(row)) {
        item->setText(column, text);
        // A cell that has no icon and gets none is left as it is: every change
        // of a shown row is announced to the view, and three announcements per
        // cell were a good part of filling a long list. ItemIcon gives -1 for
        // such a cell either way.
        if (icon < 0 && !item->data(column, IconRole).isValid())
            return;
        item->setIcon(column, Icon(icon));
        item->setData(column, IconRole, icon);
    }
}

bool cListView::ItemGhosted(int row) const
{
    const QTreeWidgetItem* item = Row(row);
    return item && item->data(0, GhostedRole).toBool();
}

void cListView::SetItemGhosted(int row, bool ghosted)
{
    if (QTreeWidgetItem* item = Row(row))
        for (int column = 0; column < columnCount(); ++column)
            item->setData(column, GhostedRole, ghosted);
}

int cListView::ItemTag(int row) const
{
    const QTreeWidgetItem* item = Row(row);
    return item ? item->data(0, TagRole).toInt() : 0;
}

void cListView::SetItemTag(int row, int tag)
{
    if (QTreeWidgetItem* item = Row(row))
        item->setData(0, TagRole, tag);
}

bool cListView::ItemSelected(int row) const
{
    const QTreeWidgetItem* item = Row(row);
    return item && item->isSelected();
}

void cListView::SetItemSelected(int row, bool selected)
{
    if (QTreeWidgetItem* item = Row(row)) {
        item->setSelected(selected);
        if (selected)
            setCurrentItem(item);
    }
}

bool cListView::FocusFirstShown()
{
    if (!isEnabled()) // work runs: the selection is not the user's to move
        return false;
    EndFill(); // a held row is not yet in the view to be selected
    for (int row = 0; row < topLevelItemCount(); ++row)
        if (!topLevelItem(row)->isHidden()) {
            clearSelection();
            SetItemSelected(row, true);
            setFocus(Qt::OtherFocusReason);
            return true;
        }
    return false;
}

QString cListView::ItemText(int row, int column) const
{
    const QTreeWidgetItem* item = Row(row);
    return item ? item->text(column) : QString();
}

int cListView::ItemIcon(int row, int column) const
{
    const QTreeWidgetItem* item = Row(row);
    return item && item->data(column, IconRole).isValid() ? item->data(column, IconRole).toInt()
                                                          : -1;
}

void cListView::SetBorderStyle(int style)
{
    setFrameShape(style == 1 ? QFrame::StyledPanel : QFrame::NoFrame);
}

void cListView::SetViewMode(int /*mode*/)
{
    // Report view is the only mode the windows use; the header shows it.
    setHeaderHidden(false);
}

void cListView::SetFullRowSelect(bool on)
{
    setSelectionBehavior(on ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
    setAllColumnsShowFocus(on);
}

void cListView::SetMultiSelect(bool on)
{
    setSelectionMode(on ? QAbstractItemView::ExtendedSelection
                        : QAbstractItemView::SingleSelection);
}

void cListView::SetHideSelection(bool on)
{
    hideSelection_ = on;
    if (!on) {
        // Keep the selection drawn as it is with focus.
        QPalette p = palette();
        p.setColor(QPalette::Inactive, QPalette::Highlight,
                   p.color(QPalette::Active, QPalette::Highlight));
        p.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   p.color(QPalette::Active, QPalette::HighlightedText));
        setPalette(p);
    }
}

void cListView::SetGridLines(bool on)
{
    setStyleSheet(on ? QStringLiteral("QTreeView::item { border-bottom: 1px solid #d0d0d0; }")
                     : QString());
}

void cListView::RunPrePaint(int row, int column, QColor& background, QColor& text,
                            bool& handled) const
{
    if (prePaint_)
        prePaint_(row, column, background, text, handled);
}

void cListView::mousePressEvent(QMouseEvent* event)
{
    // A click on empty space below the rows leaves no row selected.
    if (!itemAt(event->position().toPoint())) {
        clearSelection();
        setCurrentItem(nullptr);
    }
    QTreeWidget::mousePressEvent(event);
}

void cListView::mouseReleaseEvent(QMouseEvent* event)
{
    QTreeWidget::mouseReleaseEvent(event);
    const int button = event->button() == Qt::LeftButton     ? 1
                       : event->button() == Qt::RightButton  ? 2
                       : event->button() == Qt::MiddleButton ? 4
                                                             : 0;
    int shift = 0;
    if (event->modifiers() & Qt::ShiftModifier)
        shift |= 1;
    if (event->modifiers() & Qt::ControlModifier)
        shift |= 2;
    if (event->modifiers() & Qt::AltModifier)
        shift |= 4;
    const QPoint at = event->position().toPoint();
    emit MouseUp(button, shift, at.x(), at.y());
}
