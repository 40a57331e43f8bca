#include "FormIcon.h"

#include "startup/mMain.h"
#include "resources/Resources.h"

#include <QApplication>
#include <QFileInfo>
#include <QStyle>
#include <QWidget>

bool InitControls(QString& scrollBarWidth)
{
    const QStyle* style = QApplication::style();
    if (!style)
        return false;
    scrollBarWidth = QString::number(style->pixelMetric(QStyle::PM_ScrollBarExtent));
    return true;
}

int32_t SetFormIcon(QWidget* window, QString& path, int16_t /*index*/, int16_t /*kind*/)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        path = RunningExecutable();
    if (!window)
        return 0;
    window->setWindowIcon(ProgramIcon());
    return 1;
}
