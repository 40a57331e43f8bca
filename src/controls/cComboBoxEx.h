#pragma once

#include <QComboBox>
#include <QPixmap>
#include <vector>

// A drop-down list whose items carry an image of an image list.
class cComboBoxEx : public QComboBox
{
    Q_OBJECT

public:
    explicit cComboBoxEx(QWidget* parent = nullptr) : QComboBox(parent) {}

    // 2: drop-down list (no editing), the only style the windows use.
    void SetStyle(int style) { setEditable(style != 2); }
    void InitializeImageList(int width, int height)
    {
        imageSize_ = QSize(width, height);
        setIconSize(imageSize_);
        images_.clear();
    }
    void AddBitmap(const QPixmap& strip)
    {
        const qreal dpr = strip.devicePixelRatio();
        const int w = qRound(imageSize_.width() * dpr);
        for (int x = 0; x + w <= strip.width(); x += w) {
            QPixmap cell = strip.copy(x, 0, w, strip.height());
            cell.setDevicePixelRatio(dpr);
            images_.push_back(cell);
        }
    }
    // before: the position the item takes.
    void AddItem(const QString& text, int before, int icon)
    {
        const QIcon image = icon >= 0 && icon < static_cast<int>(images_.size())
                                ? QIcon(images_[static_cast<size_t>(icon)])
                                : QIcon();
        insertItem(std::clamp(before, 0, count()), image, text);
    }
    int ListIndex() const { return currentIndex(); }
    void SetListIndex(int index) { setCurrentIndex(index); }

private:
    QSize imageSize_{16, 16};
    std::vector<QPixmap> images_;
};
