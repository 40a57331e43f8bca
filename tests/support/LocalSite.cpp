#include "LocalSite.h"

#include <QDeadlineTimer>
#include <QFile>

namespace {

constexpr int kStartMs = 10000;
constexpr int kStopMs = 5000;

} // namespace

LocalSite::LocalSite(const QString& root, const QStringList& faults)
{
    QStringList args{"serve", "--root", root, "--port", "0"};
    for (const QString& fault : faults)
        args << "--fault" << fault;
    process_.setStandardErrorFile(logDir_.filePath("requests.log"));
    process_.start(TOVARINTH_VENDOR_TOOL, args);
    // serve prints its port once it listens, so the site answers from here on.
    const QDeadlineTimer deadline(kStartMs);
    while (!process_.canReadLine() && !deadline.hasExpired() &&
           process_.state() != QProcess::NotRunning)
        process_.waitForReadyRead(100);
    const QByteArray line = process_.readLine().trimmed();
    if (line.startsWith("port "))
        port_ = line.mid(5).toInt();
    else
        error_ = "serve printed no port: " + line + " " + process_.errorString() + " " +
                 LogLines().join(' ');
}

LocalSite::~LocalSite()
{
    process_.terminate();
    if (!process_.waitForFinished(kStopMs)) {
        process_.kill();
        process_.waitForFinished(kStopMs);
    }
}

QStringList LocalSite::LogLines() const
{
    QFile log(logDir_.filePath("requests.log"));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
}
