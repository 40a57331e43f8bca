#include "cPackageImport.h"

#include "Catalogue.h"
#include "cLongWork.h"
#include "cRebuildMemo.h"
#include "net/cDownload.h"
#include "startup/FileIo.h"
#include "unzip/ZipMember.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QUuid>
#include <algorithm>
#include <functional>
#include <limits>

namespace {

// A descriptor lists the models of one maker: a few kilobytes. One far
// larger is not read into memory.
constexpr int64_t kMaxDescriptorBytes = int64_t{4} << 20;

cPackageImport::Refusal RefusalOf(ZipMember::Status status)
{
    switch (status) {
    case ZipMember::Status::Ok:
        return cPackageImport::Refusal::None;
    case ZipMember::Status::NotZip:
        return cPackageImport::Refusal::NotZip;
    case ZipMember::Status::Damaged:
    case ZipMember::Status::Unsafe:
        return cPackageImport::Refusal::Unsafe;
    case ZipMember::Status::Missing:
        return cPackageImport::Refusal::NoDescriptor;
    }
    return cPackageImport::Refusal::Unsafe;
}

cPackageImport::Identity Only(cPackageImport::Refusal refusal)
{
    cPackageImport::Identity identity;
    identity.refusal = refusal;
    return identity;
}

} // namespace

bool cPackageImport::IsArchiveName(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix();
    return suffix.compare(QLatin1String("z"), Qt::CaseInsensitive) == 0 ||
           suffix.compare(QLatin1String("zip"), Qt::CaseInsensitive) == 0;
}

cPackageImport::Identity cPackageImport::Identify(const QString& path, const QString& name)
{
    const MainState& state = catalogue_.State();
    if (!state.CatalogueLoaded)
        catalogue_.LoadExtensionCache(true); // the refusal that follows is the one message

    Identity identity;
    const ZipMember member = ReadZipMember(path, "extension.cfg", kMaxDescriptorBytes);
    identity.refusal = RefusalOf(member.status);
    if (identity.refusal != Refusal::None)
        return identity;
    identity.package = DescriptorPackage(DecipherDescriptor(member.bytes).value_or(QString()));
    if (identity.package.isEmpty()) {
        identity.refusal = Refusal::NoDescriptor;
        return identity;
    }

    const auto rowWhere = [&](const std::function<bool(const ExtensionEntry&)>& match) {
        for (size_t i = 0; i < state.Entries.size(); ++i)
            if (state.Entries[i].IsExtension && match(state.Entries[i]))
                return static_cast<int>(i);
        return -1;
    };
    // A file named by a row's checksum is for that row; one named by another
    // checksum claims its package and version; otherwise only the descriptor
    // tells the package.
    const QString base = QFileInfo(name).completeBaseName();
    identity.row = rowWhere([&](const ExtensionEntry& e) { return e.Checksum == base; });
    QString claimed = identity.package;
    if (identity.row < 0) {
        const QStringList parts = ChecksumParts(base);
        identity.byDescriptor = parts.isEmpty();
        if (!parts.isEmpty())
            claimed = parts[0], identity.fileVersion = parts[1];
        identity.row = rowWhere([&](const ExtensionEntry& e) { return e.Name == claimed; });
    }
    if (identity.row < 0) {
        identity.package = claimed;
        identity.refusal = Refusal::NotInCatalogue;
        return identity;
    }
    const ExtensionEntry& entry = state.Entries[static_cast<size_t>(identity.row)];
    if (entry.Name != identity.package)
        identity.refusal = Refusal::WrongPackage;
    else if (!identity.fileVersion.isEmpty() && identity.fileVersion != entry.Version)
        identity.refusal = Refusal::OtherVersion;
    else if (entry.Status == Installed)
        identity.refusal = Refusal::AlreadyInstalled;
    else if (entry.Status == OrderPending)
        identity.refusal = Refusal::OrderPending;
    else if (!IsInstallable(entry.Status))
        identity.refusal = Refusal::NotPurchased;
    return identity;
}

QString cPackageImport::RefusalText(const Identity& identity) const
{
    const auto& entries = catalogue_.State().Entries;
    const bool haveRow = identity.row >= 0 && identity.row < static_cast<int>(entries.size());
    const QString display =
        haveRow ? entries[static_cast<size_t>(identity.row)].Display : identity.package;
    switch (identity.refusal) {
    case Refusal::None:
        return {};
    case Refusal::NotZip:
        return QStringLiteral("所选文件不是扩展包压缩文件！");
    case Refusal::Unsafe:
        return CatalogueText::ArchiveUnsafe;
    case Refusal::NoDescriptor:
        return QStringLiteral("所选文件中没有扩展包描述文件！");
    case Refusal::WrongPackage:
        return QStringLiteral("所选文件不是 ") + display + QStringLiteral(" 扩展包！");
    case Refusal::OtherVersion:
        return QStringLiteral("所选文件为 %1 版本的 %2 扩展包，当前账户的版本为 %3，未安装！")
            .arg(identity.fileVersion, display,
                 haveRow ? entries[static_cast<size_t>(identity.row)].Version : QString());
    case Refusal::NotInCatalogue:
        return QStringLiteral("当前账户的扩展包列表中没有 ") + display +
               QStringLiteral(" 扩展包！");
    case Refusal::NotPurchased:
        return QStringLiteral("当前尚未购买 ") + display + QStringLiteral(" 扩展包，无法安装！");
    case Refusal::OrderPending:
        return display + QStringLiteral(" 扩展包的订单正在处理中，请稍后重试！");
    case Refusal::AlreadyInstalled:
        return QStringLiteral("已安装此版本的 ") + display + QStringLiteral(" 扩展包！");
    case Refusal::CannotWrite:
        return CatalogueText::FolderNotWritable;
    }
    return {};
}

bool cPackageImport::InstallChosenFile()
{
    if (catalogue_.WorkRunning())
        return false;
    // The dialog belongs to the work: nothing starts while the user chooses.
    cLongWork work(catalogue_, cLongWork::Kind::Install);
    const QString path = catalogue_.Prompt().OpenFileName(
        QStringLiteral("从文件安装扩展包"), QStringLiteral("扩展包 (*.Z *.z *.zip *.ZIP)"));
    return !path.isEmpty() && Install(path, work);
}

bool cPackageImport::InstallFromFile(const QString& path)
{
    if (catalogue_.WorkRunning())
        return false;
    cLongWork work(catalogue_, cLongWork::Kind::Install);
    return Install(path, work);
}

FileCopy cPackageImport::CopyShowingProgress(const QString& path, const QString& copy,
                                             cLongWork& work)
{
    // A stick can be slow and a wrong file large: the copy is shown as a
    // download is, the window answers between pieces, and 取消 stops it.
    cDownloadProgress progress(catalogue_.View(),
                               QStringLiteral("复制 ") + QFileInfo(path).fileName());
    const qint64 total = FileLength(path);
    QElapsedTimer clock;
    clock.start();
    return CopyNewFile(path, copy, [&](qint64 copied) {
        const qint64 speed = copied * 1000 / std::max<qint64>(clock.elapsed(), 1);
        progress.OnEvent(
            copied < total ? cDownload::ChunkReceived : cDownload::TransferEnded, copied,
            static_cast<int32_t>(std::min<qint64>(speed, std::numeric_limits<int32_t>::max())),
            total);
        catalogue_.View().DoEvents();
        return !work.StopRequested();
    });
}

bool cPackageImport::Install(const QString& path, cLongWork& work)
{
    // The one read of the chosen file. The copy waits under a name no row
    // reads until it has been identified.
    const QString downloads = catalogue_.ProgramFile(QStringLiteral("Downloads"));
    const QString copy =
        JoinPath(downloads,
                 QStringLiteral("import-%1.part").arg(QUuid::createUuid().toString(QUuid::Id128)));
    const auto dropCopy = qScopeGuard([&] { QFile::remove(copy); });
    const auto refuse = [&](const Identity& identity) {
        QFile::remove(copy); // gone before the message: the disk is as it was
        const bool written = identity.refusal == Refusal::CannotWrite;
        catalogue_.Prompt().MsgBox(
            RefusalText(identity), written ? MsgStyle::Critical : MsgStyle::Exclamation,
            written ? CatalogueText::ErrorTitle : CatalogueText::ReminderTitle);
        return false;
    };
    switch (QDir().mkpath(downloads) ? CopyShowingProgress(path, copy, work)
                                     : FileCopy::WriteFailed) {
    case FileCopy::Copied:
        break;
    case FileCopy::Stopped: // the user who cancelled knows
        return false;
    case FileCopy::ReadFailed:
        return refuse(Only(Refusal::NotZip));
    case FileCopy::WriteFailed:
        return refuse(Only(Refusal::CannotWrite));
    }

    const Identity identity = Identify(copy, path);
    if (identity.refusal != Refusal::None)
        return refuse(identity);
    const ExtensionEntry entry = catalogue_.State().Entries[static_cast<size_t>(identity.row)];
    if (identity.byDescriptor &&
        catalogue_.Prompt().MsgBox(QStringLiteral("无法从文件确认版本，将作为 %1 版本安装 %2 "
                                                  "扩展包，是否继续？")
                                       .arg(entry.Version, entry.Display),
                                   MsgStyle::YesNo + MsgStyle::Question,
                                   QStringLiteral("安装扩展包")) != MsgAnswer::Yes)
        return false;
    if (!catalogue_.CheckPackageSupport())
        return false;

    const QString archive = catalogue_.ArchivePath(entry.Checksum);
    if (!IsSafeChecksum(entry.Checksum) || !RenameOver(copy, archive))
        return refuse(Only(Refusal::CannotWrite));
    if (catalogue_.InstallOne(identity.row, true) == Catalogue::InstallFault::None)
        return true;
    // The copy that did not install does not stay to stand for a download.
    QFile::remove(archive);
    return false;
}
