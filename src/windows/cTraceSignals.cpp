#include "cTraceSignals.h"

#include "controls/cListView.h"
#include "controls/cToolbar.h"
#include "frmMain.h"
#include "startup/HeapPolicy.h"
#include "startup/Trace.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QUrl>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kColumns = 4;
constexpr int kRetryButton = 3;

// The signal handler may only write to a pipe; the event loop reads it.
int wakePipe[2] = {-1, -1};

void OnSignal(int number)
{
    const auto byte = static_cast<char>(number);
    [[maybe_unused]] const ssize_t n = ::write(wakePipe[1], &byte, 1);
}

QJsonArray Rect(const QWidget* widget)
{
    if (!widget || !widget->isVisible())
        return {};
    const QPoint at = widget->mapToGlobal(QPoint(0, 0));
    return {at.x(), at.y(), widget->width(), widget->height()};
}

} // namespace

cTraceSignals::cTraceSignals(frmMain& window) : window_(window)
{
    if (!Trace::Enabled() || wakePipe[0] >= 0 || ::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier_ = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &cTraceSignals::Take);
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGUSR1, &action, nullptr);
    sigaction(SIGUSR2, &action, nullptr);
}

cTraceSignals::~cTraceSignals()
{
    if (!notifier_)
        return;
    std::signal(SIGUSR1, SIG_DFL);
    std::signal(SIGUSR2, SIG_DFL);
    ::close(wakePipe[0]);
    ::close(wakePipe[1]);
    wakePipe[0] = wakePipe[1] = -1;
}

void cTraceSignals::Take()
{
    char bytes[16];
    ssize_t n = 0;
    while ((n = ::read(wakePipe[0], bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            if (bytes[i] == SIGUSR2)
                Trace::Append(QStringLiteral("window:") +
                              QString::fromLatin1(QUrl::toPercentEncoding(Describe())));
            else if (bytes[i] == SIGUSR1 && !window_.State().Busy &&
                     !QApplication::activeModalWidget())
                window_.EnableCheckOnline();
        }
    }
}

QString cTraceSignals::Describe() const
{
    QJsonObject shown;
    const auto* list = window_.findChild<cListView*>(QStringLiteral("lvBody"));
    const auto* sync = window_.findChild<cToolbar*>(QStringLiteral("tbSync"));
    QJsonArray rows;
    for (int row = 0; list && row < list->count(); ++row) {
        QJsonArray cells;
        for (int column = 0; column < kColumns; ++column)
            cells.append(list->ItemText(row, column));
        rows.append(QJsonObject{{QStringLiteral("cells"), cells},
                                {QStringLiteral("selected"), list->ItemSelected(row)}});
    }
    shown[QStringLiteral("rows")] = rows;
    shown[QStringLiteral("enabled")] = list && list->isEnabled();
    shown[QStringLiteral("list")] = Rect(list ? list->viewport() : nullptr);
    int visible = 0;
    for (int button = 1; sync && button <= kRetryButton; ++button)
        if (sync->ButtonVisible(button))
            visible = button;
    shown[QStringLiteral("sync")] = visible;
    shown[QStringLiteral("retry")] = Rect(sync && sync->ButtonVisible(kRetryButton)
                                              ? sync->widgetForAction(sync->Button(kRetryButton))
                                              : nullptr);
    const QWidget* modal = QApplication::activeModalWidget();
    shown[QStringLiteral("dialog")] = modal ? modal->windowTitle() : QString();
    const HeapPolicy::Usage heap = HeapPolicy::CurrentUsage();
    shown[QStringLiteral("heapInUse")] = heap.inUse;
    shown[QStringLiteral("heapFree")] = heap.free;
    return QString::fromUtf8(QJsonDocument(shown).toJson(QJsonDocument::Compact));
}
