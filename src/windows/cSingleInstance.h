#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

class IPrompt;

// One manager per program folder. The first start holds a lock file there and
// listens on a local socket of its user; a later start of the same user asks
// it to bring its window to the front, one of another user is told who runs
// it, and either ends without a window. A lock left by a manager that was
// killed is taken over.
class cSingleInstance : public QObject
{
public:
    enum class Claim
    {
        First,      // this start holds the lock and opens its window
        Unguarded,  // the folder cannot hold the lock file: the window opens all the same
        HandedOver, // this user's running manager came to the front
        Refused,    // another user's manager runs, or this user's does not answer: told so
    };

    cSingleInstance(const QString& programFolder, IPrompt& prompt);
    ~cSingleInstance() override;
    cSingleInstance(const cSingleInstance&) = delete;
    cSingleInstance& operator=(const cSingleInstance&) = delete;

    // Takes the lock, or hands over to the manager that holds it; shows at
    // most one message.
    Claim Take();
    // The window that a later start brings to the front.
    void SetWindow(QWidget* window) { window_ = window; }

    // The local socket of the running user for a program folder: two users,
    // or two program folders, never share one.
    static QString ServerName(const QString& programFolder);

private:
    bool AskToRaise() const;
    void Listen();
    void Raise();

    QString lockPath_;
    QString serverName_;
    QLockFile lock_;
    QLocalServer server_;
    QPointer<QWidget> window_;
    IPrompt& prompt_;
};

namespace SingleInstanceText {
inline const QString Running = QStringLiteral("扩展包管理器已在运行！");
// %1: the user whose manager runs.
inline const QString OtherUser = QStringLiteral("扩展包管理器正由用户 %1 使用，请在其关闭后重试");
inline const QString Title = QStringLiteral("提示");
} // namespace SingleInstanceText
