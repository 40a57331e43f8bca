#include "LocalSite.h"

#include <QDeadlineTimer>
#include <QFile>
#include <csignal>
#include <sys/prctl.h>

LocalSite::LocalSite(const QString& root, const QStringList& faults)
{
    QStringList args{"serve", "--root", root, "--port", "0"};
    for (const QString& fault : faults)
        args << "--fault" << fault;
    process_.setStandardErrorFile(logDir_.filePath("requests.log"));
    // A test killed by a timeout takes its site along instead of leaving it
    // serving.
    process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    process_.start(TOVARINTH_VENDOR_TOOL, args);
    // serve prints its port once it listens, so the site answers from then on.
    const QDeadlineTimer deadline(10000);
    while (!process_.canReadLine() && !deadline.hasExpired() &&
           process_.state() != QProcess::NotRunning)
        process_.waitForReadyRead(100);
    const QString line = process_.readLine().trimmed();
    port_ = line.startsWith("port ") ? line.mid(5).toInt() : 0;
    error_ = port_ > 0 ? "" : "serve printed no port: " + line + process_.errorString();
}

LocalSite::~LocalSite()
{
    process_.terminate(); // killed when it does not stop within 5 s
    if (!process_.waitForFinished(5000))
        process_.kill();
    process_.waitForFinished(5000);
}

QStringList LocalSite::LogLines() const
{
    QFile log(logDir_.filePath("requests.log"));
    return log.open(QIODevice::ReadOnly) ? QString(log.readAll()).split('\n', Qt::SkipEmptyParts)
                                         : QStringList();
}
