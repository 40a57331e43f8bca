// The two one-shot checks after the window opens: the online check that
// starts a sync, and the editor's build.

#include "Catalogue.h"
#include "cLongWork.h"
#include "net/VendorUrl.h"
#include "net/cPing.h"
#include "startup/Settings.h"
#include "startup/TextHelpers.h"
#include "startup/VersionResource.h"

namespace {

constexpr int32_t kProbeTimeout = 1000;

// The vendor's host in the form the probe resolves: a name gets "www." in
// front; an address or "localhost" stays as it is.
QString ProbeHost()
{
    const QString host = VendorHost();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
        cPing::AddressFromText(host) != 0 ||
        host.startsWith(QLatin1String("www."), Qt::CaseInsensitive))
        return host;
    return QStringLiteral("www.") + host;
}

} // namespace

void Catalogue::CheckOnline()
{
    if (process_.UserName.isEmpty())
        return;
    if (!connection_) {
        connection_ = std::make_unique<cPing>();
        connection_->PingReturn = [this](QString&, bool& success, int32_t&) {
            PingReturn(success);
        };
    }
    connection_->PingTimeout(kProbeTimeout);
    // Busy and the controls; the sync (the probe's event) clears Busy itself.
    const cLongWork work(*this, cLongWork::Kind::Sync);

    if (connection_->IsConnected()) {
        QString address = cPing::GetIPFromHostName(ProbeHost());
        view_.DoEvents();
        connection_->Ping(address);
        return;
    }
    const int32_t answer = prompt_.MsgBox(
        QStringLiteral(
            "无法连接到 "
            "Internet！请确保当前计算机已经连接到互联网，并且防火墙处于放行状态，然后重试"),
        MsgStyle::RetryCancel + MsgStyle::Critical, CatalogueText::ErrorTitle);
    if (answer == MsgAnswer::Retry)
        view_.EnableCheckOnline();
    else
        LoadLocalDatabases();
}

void Catalogue::CheckVersion()
{
    QString path = process_.EditorPath;
    QString key;
    int32_t build = RoundToInt32(TextToNumber(GetFileVersionString(path, key).right(4)));
    if (build == 0) {
        build = RoundToInt32(
            TextToNumber(Settings::Read(Settings::AppInfo, QStringLiteral("EditorVersion"))));
        if (build == 0)
            prompt_.MsgBox(QStringLiteral("无法获取当前编辑器的版本信息！"), MsgStyle::Critical);
    }
    state_.EditorBuild = build;
    if (build < kMinimumEditorBuild)
        view_.ShowWarningPanel();
}
