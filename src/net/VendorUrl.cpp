#include "VendorUrl.h"

#include <QUrl>

QString VendorUrl()
{
    QString url = qEnvironmentVariable("TOVARINTH_VENDOR_URL");
    if (url.trimmed().isEmpty())
        url = QStringLiteral(TOVARINTH_DEFAULT_VENDOR_URL);
    url = url.trimmed();
    while (url.endsWith(QLatin1Char('/')))
        url.chop(1);
    return url;
}

QString DefaultUpdateUrl()
{
    return VendorUrl() + QStringLiteral("/update/");
}

QString PurchasePageUrl()
{
    return VendorUrl() + QStringLiteral("/login?");
}

QString VendorHost()
{
    return QUrl(VendorUrl()).host();
}
