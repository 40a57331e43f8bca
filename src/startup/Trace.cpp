#include "Trace.h"

#include <QDateTime>
#include <QEvent>
#include <QFile>
#include <QObject>
#include <QPointer>
#include <ctime>
#include <unistd.h>
#include <vector>

namespace {

const QString& TraceFile()
{
    static const QString path = qEnvironmentVariable("TOVARINTH_TRACE_FILE");
    return path;
}

// Milliseconds since the process started: its start time in clock ticks
// after boot (/proc/self/stat, field 22) against the boot-time clock.
qint64 SinceProcessStart()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // The command name may hold spaces; the fields after it do not.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 20)
        return -1;
    const qint64 startTicks = fields.at(19).toLongLong();
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const qint64 ticksPerSecond = sysconf(_SC_CLK_TCK);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000 - startTicks * 1000 / ticksPerSecond;
}

class PaintWatcher : public QObject
{
public:
    explicit PaintWatcher(QObject* target) : QObject(target) { target->installEventFilter(this); }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            if (!painted_) {
                painted_ = true;
                Trace::Mark(QStringLiteral("first-paint"));
            }
            if (!pending_.isEmpty()) {
                const QString after = pending_;
                pending_.clear();
                Trace::Mark(QStringLiteral("paint-after-") + after);
            }
        }
        return QObject::eventFilter(watched, event);
    }

    void Expect(const QString& event) { pending_ = event; }

private:
    bool painted_ = false;
    QString pending_;
};

std::vector<QPointer<PaintWatcher>>& Watchers()
{
    static std::vector<QPointer<PaintWatcher>> watchers;
    return watchers;
}

} // namespace

namespace Trace {

bool Enabled()
{
    return !TraceFile().isEmpty();
}

void Append(const QString& event)
{
    if (!Enabled())
        return;
    QFile file(TraceFile());
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        // One pass: an event's own "%3A" must not be taken for a place marker.
        file.write(QStringLiteral("%1 %2 %3\n")
                       .arg(event, QString::number(SinceProcessStart()),
                            QString::number(QDateTime::currentMSecsSinceEpoch()))
                       .toUtf8());
}

void Mark(const QString& event)
{
    if (!Enabled())
        return;
    Append(event);
    if (!event.startsWith(QLatin1String("paint-after-")) && event != QLatin1String("first-paint"))
        for (const QPointer<PaintWatcher>& watcher : Watchers())
            if (watcher)
                watcher->Expect(event);
}

void WatchPaints(QObject* target)
{
    if (Enabled() && target)
        Watchers().emplace_back(new PaintWatcher(target));
}

} // namespace Trace
