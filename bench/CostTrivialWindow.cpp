// The baseline of the program's own cost: a Qt Widgets window with one label,
// started the way the manager is, with the same paint trace
// (TOVARINTH_TRACE_FILE). It closes itself the given number of milliseconds
// after its first paint (default 1000), so its peak memory is that of a window
// that has been drawn.

#include "startup/Trace.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int linger = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000;
    // The manager's caption: every text of the program is Chinese, so the
    // baseline draws with the same fonts.
    QLabel label(QStringLiteral("Kestrovia Morvelin扩展包管理器"));
    label.setWindowTitle(QStringLiteral("Trivial window"));
    label.resize(320, 120);
    Trace::WatchPaints(&label);
    label.show();
    QTimer::singleShot(linger, &app, &QApplication::quit);
    return QApplication::exec();
}
