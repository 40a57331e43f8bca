#include "cSingleInstance.h"

#include "startup/FileIo.h"
#include "startup/IPrompt.h"
#include "startup/Trace.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>
#include <QWidget>
#include <unistd.h>

namespace {

const QByteArray kRaiseRequest = "raise\n";
const QByteArray kRaised = "raised\n";
// How long a later start waits for the running manager: its answer comes from
// the event loop, which a long step of its own may hold for a moment.
constexpr int kAnswerMs = 3000;
// Between attempts while the holder is still starting (it takes the lock just
// before it listens) or has just ended.
constexpr int kRetryMs = 100;
constexpr int kStyleExclamation = 48;

} // namespace

cSingleInstance::cSingleInstance(const QString& programFolder, IPrompt& prompt)
    : lockPath_(JoinPath(programFolder, QStringLiteral("tovarinth.lock"))),
      serverName_(ServerName(programFolder)), lock_(lockPath_), prompt_(prompt)
{
    // A running manager holds the lock for hours: only one whose process is
    // gone left a stale lock, never one that is merely old.
    lock_.setStaleLockTime(0);
}

cSingleInstance::~cSingleInstance() = default;

QString cSingleInstance::ServerName(const QString& programFolder)
{
    const QFileInfo folder(programFolder);
    const QString path = folder.canonicalFilePath().isEmpty() ? folder.absoluteFilePath()
                                                              : folder.canonicalFilePath();
    const QByteArray digest =
        QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return QStringLiteral("tovarinth-%1-%2").arg(::getuid()).arg(QString::fromLatin1(digest));
}

cSingleInstance::Claim cSingleInstance::Take()
{
    const QDeadlineTimer deadline(kAnswerMs);
    for (;;) {
        if (lock_.tryLock(0)) {
            Listen();
            return Claim::First;
        }
        // A read-only program folder: nothing to hold, and nothing saved
        // there either.
        if (lock_.error() != QLockFile::LockFailedError)
            return Claim::Unguarded;
        const QFileInfo file(lockPath_);
        if (file.exists() && file.ownerId() != ::getuid()) {
            const QString owner = file.owner();
            prompt_.MsgBox(owner.isEmpty() ? SingleInstanceText::Running
                                           : SingleInstanceText::OtherUser.arg(owner),
                           kStyleExclamation, SingleInstanceText::Title);
            return Claim::Refused;
        }
        if (AskToRaise())
            return Claim::HandedOver;
        if (deadline.hasExpired()) {
            prompt_.MsgBox(SingleInstanceText::Running, kStyleExclamation,
                           SingleInstanceText::Title);
            return Claim::Refused;
        }
        QThread::msleep(kRetryMs);
    }
}

bool cSingleInstance::AskToRaise() const
{
    QLocalSocket socket;
    socket.connectToServer(serverName_);
    if (!socket.waitForConnected(kAnswerMs))
        return false;
    socket.write(kRaiseRequest);
    // The answer proves a living manager, not just a socket left behind.
    return socket.waitForBytesWritten(kAnswerMs) && socket.waitForReadyRead(kAnswerMs) &&
           socket.readLine() == kRaised;
}

void cSingleInstance::Listen()
{
    // Another user's manager may clear this lock once this process is gone
    // only if it can open the file; the lock itself stays with this process.
    QFile::setPermissions(lockPath_, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                         QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther);
    // A manager that was killed left its socket behind; the lock says it is gone.
    QLocalServer::removeServer(serverName_);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    // Without the socket later starts cannot reach this one: they say that
    // it runs instead.
    server_.listen(serverName_);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine())
                    return;
                if (socket->readLine() == kRaiseRequest) {
                    Raise();
                    socket->write(kRaised);
                }
                socket->disconnectFromServer();
            });
        }
    });
}

void cSingleInstance::Raise()
{
    if (!window_)
        return;
    // Out of the task bar if minimised; a maximised window stays maximised.
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->show();
    window_->raise();
    window_->activateWindow();
    Trace::Mark(QStringLiteral("raised"));
}
