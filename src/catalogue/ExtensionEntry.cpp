#include "ExtensionEntry.h"

QString GetStatusText(int32_t status)
{
    static const QString kCheck = QString(QChar(0x2714));
    static const QString kCloud = QString(QChar(0x2601));
    static const QString kCross = QString(QChar(0x274C));
    static const QString kMinus = QString(QChar(0x2796));
    switch (status) {
    case Installed:
        return QStringLiteral("已安装 ") + kCheck;
    case OrderPending:
        return QStringLiteral("订单处理中 ") + kCloud;
    case PendingDownload:
        return QStringLiteral("待下载 ") + kCloud;
    case PendingUpdate:
        return QStringLiteral("待更新 ") + kCloud;
    case Downloading:
        return QStringLiteral("正在下载 .....");
    case PendingInstall:
        return QStringLiteral("待安装 ") + kCheck;
    case Installing:
        return QStringLiteral("正在安装 .....");
    case Uninstalling:
        return QStringLiteral("正在卸载 .....");
    case NotPurchased:
        return QStringLiteral("未购买 ") + kCross;
    case Failed:
        return QStringLiteral("失败 ") + kCross;
    case Superseded:
        return QStringLiteral("已覆盖 ") + kMinus;
    default:
        return {};
    }
}

bool IsInstallable(int32_t status)
{
    return status == PendingDownload || status == PendingUpdate || status == PendingInstall ||
           status == Failed;
}

QString NormalizeVersion(const QString& version)
{
    if (version.lastIndexOf(u'.') == 1)
        return version + QStringLiteral(".0");
    return version;
}
