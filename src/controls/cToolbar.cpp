#include "cToolbar.h"

#include <QAction>
#include <QBitmap>
#include <QEvent>
#include <QIcon>
#include <QToolButton>
#include <algorithm>

cToolbar::cToolbar(QWidget* parent) : QToolBar(parent)
{
    setMovable(false);
    setFloatable(false);
}

void cToolbar::Initialize(int imageWidth, int imageHeight, bool flat, bool listStyle, bool divider)
{
    imageSize_ = QSize(imageWidth, imageHeight);
    setIconSize(imageSize_);
    setToolButtonStyle(listStyle ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonTextUnderIcon);
    setStyleSheet(flat && !divider
                      ? QStringLiteral("QToolBar { border: none; background: transparent; }")
                      : QString());
}

std::vector<QPixmap> cToolbar::Cut(const QPixmap& strip, const QColor& transparent) const
{
    std::vector<QPixmap> cells;
    const qreal dpr = strip.devicePixelRatio();
    const int w = qRound(imageSize_.width() * dpr);
    for (int x = 0; x + w <= strip.width(); x += w) {
        QPixmap cell = strip.copy(x, 0, w, strip.height());
        cell.setDevicePixelRatio(dpr);
        if (transparent.isValid() && !cell.hasAlphaChannel())
            cell.setMask(cell.createMaskFromColor(transparent, Qt::MaskInColor));
        cells.push_back(cell);
    }
    return cells;
}

void cToolbar::AddBitmap(const QPixmap& strip, const QColor& transparent)
{
    images_ = Cut(strip, transparent);
}

void cToolbar::AddBitmapDisabled(const QPixmap& strip, const QColor& transparent)
{
    disabledImages_ = Cut(strip, transparent);
}

void cToolbar::AddButton(const QString& caption, int image, const QString& toolTip)
{
    QIcon icon;
    if (image >= 0 && image < static_cast<int>(images_.size()))
        icon.addPixmap(images_[static_cast<size_t>(image)], QIcon::Normal);
    if (image >= 0 && image < static_cast<int>(disabledImages_.size()))
        icon.addPixmap(disabledImages_[static_cast<size_t>(image)], QIcon::Disabled);
    QAction* action = addAction(icon, caption);
    const int number = static_cast<int>(buttons_.size()) + 1;
    action->setObjectName(QStringLiteral("button%1").arg(number));
    connect(action, &QAction::triggered, this, [this, number] { emit ButtonClick(number); });
    buttons_.push_back(action);
    if (QWidget* widget = widgetForAction(action))
        widget->installEventFilter(this);
    SetButtonToolTip(number, toolTip);
}

void cToolbar::SetButtonToolTip(int button, const QString& toolTip)
{
    QAction* action = Button(button);
    if (!action)
        return;
    action->setToolTip(toolTip);
    // Qt falls back to the caption when an action has no tool tip; the
    // button's tool tip events are dropped instead.
    const QWidget* widget = widgetForAction(action);
    const auto silent = std::find(silentButtons_.begin(), silentButtons_.end(), widget);
    if (toolTip.isEmpty() && silent == silentButtons_.end())
        silentButtons_.push_back(widget);
    else if (!toolTip.isEmpty() && silent != silentButtons_.end())
        silentButtons_.erase(silent);
}

bool cToolbar::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ToolTip &&
        std::find(silentButtons_.begin(), silentButtons_.end(), watched) != silentButtons_.end())
        return true;
    return QToolBar::eventFilter(watched, event);
}

int cToolbar::ToolbarWidth() const
{
    return sizeHint().width();
}

int cToolbar::ToolbarHeight() const
{
    return sizeHint().height();
}

QAction* cToolbar::Button(int button) const
{
    if (button < 1 || button > static_cast<int>(buttons_.size()))
        return nullptr;
    return buttons_[static_cast<size_t>(button - 1)];
}

bool cToolbar::ButtonEnabled(int button) const
{
    const QAction* action = Button(button);
    return action && action->isEnabled();
}

void cToolbar::SetButtonEnabled(int button, bool enabled)
{
    if (QAction* action = Button(button))
        action->setEnabled(enabled);
}

bool cToolbar::ButtonVisible(int button) const
{
    const QAction* action = Button(button);
    return action && action->isVisible();
}

void cToolbar::SetButtonVisible(int button, bool visible)
{
    if (QAction* action = Button(button))
        action->setVisible(visible);
}
