#pragma once

#include <QColor>
#include <QPixmap>
#include <QTreeWidget>
#include <functional>
#include <vector>

// The report-style list of the two windows: rows with an icon, a tag and
// sub-items, offering the operations the windows name. Rows are numbered
// from 0. Sub-item pre-paint is raised through a delegate, so a window can
// colour cells without drawing them itself; the standard item views keep
// every row and cell readable through the accessibility bus.
class cListView : public QTreeWidget
{
    Q_OBJECT

public:
    explicit cListView(QWidget* parent = nullptr);
    ~cListView() override;

    void Initialize();
    void InitializeImageListSmall(int width, int height, bool use32BitColour);
    // Cuts a strip of images of the small image list's size; transparent
    // is the colour that becomes transparent.
    void ImageListSmall_AddBitmap(const QPixmap& strip, const QColor& transparent);
    // The images a selected row shows in place of those added so far, cut
    // alike, in the same order.
    void ImageListSmall_AddSelectedBitmap(const QPixmap& strip, const QColor& transparent);
    // alignment 1: right.
    void ColumnAdd(int column, const QString& text, int width, int alignment = 0);

    void Clear();
    void ItemAdd(int row, const QString& text, int indent, int icon, int tag);
    void SubItemSet(int row, int column, const QString& text, int icon);
    int count() const { return topLevelItemCount() + static_cast<int>(held_.size()); }

    // Rows added at the end between BeginFill and EndFill are held out of the
    // view and go in together at EndFill, with their sub-items already set:
    // one insertion for a whole list instead of one per row and three more
    // announcements per cell. The row operations see held rows as the last
    // rows meanwhile; the next pass of the event loop ends a fill that nobody
    // ended, so no row stays out of sight.
    void BeginFill();
    void EndFill();

    bool ItemGhosted(int row) const;
    void SetItemGhosted(int row, bool ghosted);
    int ItemTag(int row) const;
    void SetItemTag(int row, int tag);
    bool ItemSelected(int row) const;
    void SetItemSelected(int row, bool selected);
    // Selects the first row the find text left shown and gives the list the
    // focus, so Enter in a find field lands on the first match. False when
    // every row is hidden or the list is disabled.
    bool FocusFirstShown();
    QString ItemText(int row, int column) const;
    int ItemIcon(int row, int column) const;

    // View settings with the system's numbering.
    void SetBorderStyle(int style);
    void SetViewMode(int mode);
    void SetFullRowSelect(bool on);
    void SetMultiSelect(bool on);
    void SetHideSelection(bool on);
    void SetGridLines(bool on);
    void SetUseTheme(bool on) { useTheme_ = on; }
    void SetRaiseSubItemPrePaint(bool on) { raisePrePaint_ = on; }
    bool RaiseSubItemPrePaint() const { return raisePrePaint_; }

    // Called for every cell before it is drawn: the window may change the
    // background and text colours and sets handled when it did.
    using PrePaintHandler =
        std::function<void(int row, int column, QColor& background, QColor& text, bool& handled)>;
    void SetSubItemPrePaintHandler(PrePaintHandler handler) { prePaint_ = std::move(handler); }
    void RunPrePaint(int row, int column, QColor& background, QColor& text, bool& handled) const;

    static constexpr int TagRole = Qt::UserRole + 1;
    static constexpr int GhostedRole = Qt::UserRole + 2;
    static constexpr int IconRole = Qt::UserRole + 3;

signals:
    void ItemDblClick(int row);
    void ItemSelectedChanged(int row);
    // button 1 left, 2 right; shift as the keyboard modifiers' bits.
    void MouseUp(int button, int shift, int x, int y);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QTreeWidgetItem* Row(int row) const;
    QIcon Icon(int index) const;
    std::vector<QPixmap> Cut(const QPixmap& strip, const QColor& transparent) const;

    QSize iconSize_{16, 16};
    std::vector<QIcon> icons_;
    bool useTheme_ = true;
    bool raisePrePaint_ = false;
    bool hideSelection_ = true;
    PrePaintHandler prePaint_;
    bool filling_ = false;
    QList<QTreeWidgetItem*> held_; // rows added during a fill, in row order
};
