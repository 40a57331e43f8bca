#pragma once

#include <QPixmap>
#include <QToolBar>
#include <vector>

class QAction;

// A small toolbar of text-and-image buttons numbered from 1.
class cToolbar : public QToolBar
{
    Q_OBJECT

public:
    explicit cToolbar(QWidget* parent = nullptr);

    // listStyle: text beside the image.
    void Initialize(int imageWidth, int imageHeight, bool flat, bool listStyle, bool divider);
    void AddBitmap(const QPixmap& strip, const QColor& transparent);
    void AddBitmapDisabled(const QPixmap& strip, const QColor& transparent);
    // A button without a tool tip shows none (not even its caption).
    void AddButton(const QString& caption, int image, const QString& toolTip);

    int ToolbarWidth() const;
    int ToolbarHeight() const;
    bool ButtonEnabled(int button) const;
    void SetButtonEnabled(int button, bool enabled);
    bool ButtonVisible(int button) const;
    void SetButtonVisible(int button, bool visible);
    // An empty tool tip shows none.
    void SetButtonToolTip(int button, const QString& toolTip);
    QAction* Button(int button) const;

signals:
    void ButtonClick(int button);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::vector<QPixmap> Cut(const QPixmap& strip, const QColor& transparent) const;

    QSize imageSize_{16, 16};
    std::vector<QPixmap> images_;
    std::vector<QPixmap> disabledImages_;
    std::vector<QAction*> buttons_;
    std::vector<const QObject*> silentButtons_; // the button widgets without a tool tip
};
