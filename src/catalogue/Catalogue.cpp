#include "Catalogue.h"

#include "cLongWork.h"
#include "net/cPing.h"
#include "startup/FileIo.h"

#include <QDir>

Catalogue::Catalogue(MainState& state, IView& view, IPrompt& prompt, const ProcessValues& process)
    : state_(state), view_(view), prompt_(prompt), process_(process)
{
}

Catalogue::~Catalogue() = default;

QString Catalogue::ProgramFile(const QString& name) const
{
    return JoinPath(process_.ProgramFolder, name);
}

QString Catalogue::PackageFolder(const QString& checksum) const
{
    return JoinPath(ProgramFile(QStringLiteral("Packages")), checksum);
}

QString Catalogue::DescriptorPath(const QString& checksum) const
{
    return JoinPath(PackageFolder(checksum), QStringLiteral("extension.cfg"));
}

QString Catalogue::ArchivePath(const QString& checksum) const
{
    return JoinPath(ProgramFile(QStringLiteral("Downloads")), checksum + QStringLiteral(".Z"));
}

QString Catalogue::EquipmentDbPath() const
{
    return JoinPath(JoinPath(process_.EditorFolder, QStringLiteral("Update")),
                    QStringLiteral("equipdb.cfg"));
}

void Catalogue::RefreshList()
{
    // LoadLocalDatabases, then LoadExtensionCache: the latter begins with the
    // former, so one call rebuilds the list once. Calling both read and
    // parsed the databases twice and showed an unreadable built-in
    // database's message twice.
    LoadExtensionCache();
}

void Catalogue::UpdateControls()
{
    const bool busy = state_.Busy;
    view_.SetListEnabled(!busy);
    view_.SetCloseEnabled(!busy);

    bool actionable = false;
    if (view_.count() > 0)
        for (const ExtensionEntry& entry : state_.Entries)
            actionable = actionable || IsInstallable(entry.Status);
    // The sync clears Busy early; install-all still waits for its end.
    view_.SetInstallEnabled(state_.CatalogueLoaded && !busy && !work_ && actionable);

    const bool account = process_.HasAccount();
    const bool retry = account && !state_.ProfileSynced && !busy;
    view_.SetSyncButtonVisible(1, busy);
    view_.SetSyncButtonVisible(3, retry);
    QString retryTip = QStringLiteral("点击重试");
    if (!state_.ProfileSynced && state_.CatalogueTime.isValid())
        retryTip += QStringLiteral("\n当前列表为 %1 同步的结果")
                        .arg(state_.CatalogueTime.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    view_.SetSyncButtonToolTip(3, retryTip);
    view_.SetSyncButtonVisible(2, account && !retry && !busy);
    view_.SetBusyIndicator(busy);
    view_.SetCancel(work_ && work_->CancelOffered(), work_ && work_->Stoppable());
}

int16_t GetMakerIconIndex(const QString& key)
{
    static const QString kMakers[] = {
        QStringLiteral("canon"),  QStringLiteral("nikon"),   QStringLiteral("sony"),
        QStringLiteral("fuji"),   QStringLiteral("olympus"), QStringLiteral("panasonic"),
        QStringLiteral("pentax"), QStringLiteral("casio"),   QStringLiteral("leica"),
        QStringLiteral("ricoh"),  QStringLiteral("samsung"), QStringLiteral("apple"),
        QStringLiteral("huawei"),
    };
    for (int16_t i = 0; i < 13; ++i)
        if (key == kMakers[i])
            return static_cast<int16_t>(i + 1);
    return 0;
}

bool IsSafeChecksum(const QString& checksum)
{
    if (checksum.isEmpty())
        return false;
    for (const QChar c : checksum) {
        const char16_t u = c.unicode();
        const bool hex =
            (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'F') || (u >= u'a' && u <= u'f');
        if (!hex)
            return false;
    }
    return true;
}

QString GetVersionTag()
{
    return QStringLiteral("TVH") +
           PadLeft(QString::number(TOVARINTH_REVISION), 4, QStringLiteral("0"));
}

void RowColours(int row, int column, int32_t tag, bool ghosted, uint32_t greyText,
                uint32_t& background, uint32_t& text)
{
    background = row % 2 == 1 ? 0xFFFFFFu : 0xF9F9F9u;
    if (ghosted)
        text = greyText;
    if (column != 3)
        return;
    switch (tag) {
    case Installed:
        text = 0x008000u;
        break;
    case OrderPending:
    case PendingDownload:
    case PendingUpdate:
    case Downloading:
    case PendingInstall:
    case Installing:
        text = 0xD99300u;
        break;
    case NotPurchased:
    case Superseded:
        text = greyText;
        break;
    case Failed:
        text = 0xA03535u;
        break;
    default:
        break;
    }
}
