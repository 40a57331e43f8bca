#include "LocalSite.h"

#include <QDeadlineTimer>
#include <QFile>
#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kStartMs = 10000;
constexpr int kStopMs = 5000;

bool Answers(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

} // namespace

LocalSite::LocalSite(const QString& root, const QStringList& faults)
{
    QStringList args{QStringLiteral("serve"), QStringLiteral("--root"), root,
                     QStringLiteral("--port"), QStringLiteral("0")};
    for (const QString& fault : faults)
        args << QStringLiteral("--fault") << fault;
    process_.setStandardErrorFile(logDir_.filePath(QStringLiteral("requests.log")));
    process_.start(QStringLiteral(TOVARINTH_VENDOR_TOOL), args);
    if (!process_.waitForStarted(kStartMs)) {
        error_ = QStringLiteral("serve did not start: ") + process_.errorString();
        return;
    }
    const QDeadlineTimer deadline(kStartMs);
    while (!process_.canReadLine() && !deadline.hasExpired() &&
           process_.state() == QProcess::Running)
        process_.waitForReadyRead(100);
    const QByteArray line = process_.readLine().trimmed();
    if (!line.startsWith("port ")) {
        error_ = QStringLiteral("serve printed no port: ") + QString::fromUtf8(line) +
                 QLatin1Char(' ') + LogLines().join(QLatin1Char(' '));
        return;
    }
    const int port = line.mid(5).toInt();
    while (!Answers(port)) {
        if (deadline.hasExpired()) {
            error_ = QStringLiteral("serve does not answer on port %1").arg(port);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    port_ = port;
}

LocalSite::~LocalSite()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(kStopMs)) {
        process_.kill();
        process_.waitForFinished(kStopMs);
    }
}

QString LocalSite::BaseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port_);
}

QString LocalSite::Url(const QString& path) const
{
    return BaseUrl() + path;
}

QStringList LocalSite::LogLines() const
{
    QFile log(logDir_.filePath(QStringLiteral("requests.log")));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
