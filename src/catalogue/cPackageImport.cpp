#include "cPackageImport.h"

#include "Catalogue.h"
#include "JsonLookup.h"
#include "cLongWork.h"
#include "crypto/MachineKey.h"
#include "startup/FileIo.h"
#include "startup/TextHelpers.h"
#include "unzip/UnzipEngine.h"
#include "unzip/cUnzipFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QTemporaryDir>
#include <cstdio>

namespace {

const QString kRefusalTitle = QStringLiteral("提醒");

// The package a descriptor names: its text is the one member "NAME":[models].
QString DescriptorPackage(const QString& folder)
{
    const ByteArray bytes = ReadWholeFile(QDir(folder).filePath(QStringLiteral("extension.cfg")));
    if (IsArrayEmpty(bytes) || bytes->isEmpty())
        return {};
    const ByteArray plain = DecryptBytes(bytes, false);
    if (IsArrayEmpty(plain))
        return {};
    const std::optional<JsonNode> parsed = ParseDescriptor(Utf8ToString(plain));
    if (!parsed || !parsed->value().isObject())
        return {};
    const QJsonObject object = parsed->value().toObject();
    if (object.size() != 1 || !object.begin().value().isArray())
        return {};
    return object.begin().key();
}

} // namespace

cPackageImport::Identity cPackageImport::Identify(const QString& path)
{
    MainState& state = catalogue_.State();
    if (!state.CatalogueLoaded)
        catalogue_.LoadExtensionCache(); // off line the list holds only the built-in rows

    // Unpacked as an installation unpacks, into a folder of its own that goes
    // away afterwards, so hostile names, links and zip bombs meet the same
    // defences and extension.cfg is found wherever the archive holds it.
    Identity identity;
    QTemporaryDir staging(catalogue_.ProgramFile(QStringLiteral("import-XXXXXX")));
    if (!staging.isValid()) {
        identity.refusal = Refusal::Unsafe;
        return identity;
    }
    cUnzipFiles unzip; // no prompt: an encrypted member is skipped, not asked for
    unzip.SetZipFileName(path);
    unzip.SetExtractDir(staging.path());
    unzip.SetHonorDirectories(false);
    const int32_t code = unzip.Unzip();
    if (code != UnzipCode::Ok) {
        identity.refusal = code == UnzipCode::NoZip ? Refusal::NotZip : Refusal::Unsafe;
        return identity;
    }
    identity.package = DescriptorPackage(staging.path());
    if (identity.package.isEmpty()) {
        identity.refusal = Refusal::NoDescriptor;
        return identity;
    }

    // The file name counts only as a checksum of the catalogue; otherwise the
    // descriptor's package finds the row.
    const QString base = QFileInfo(path).completeBaseName();
    for (int i = 0; i < static_cast<int>(state.Entries.size()) && identity.row < 0; ++i)
        if (state.Entries[static_cast<size_t>(i)].IsExtension &&
            state.Entries[static_cast<size_t>(i)].Checksum == base)
            identity.row = i;
    for (int i = 0; i < static_cast<int>(state.Entries.size()) && identity.row < 0; ++i)
        if (state.Entries[static_cast<size_t>(i)].IsExtension &&
            state.Entries[static_cast<size_t>(i)].Name == identity.package)
            identity.row = i;
    if (identity.row < 0) {
        identity.refusal = Refusal::NotInCatalogue;
        return identity;
    }
    const ExtensionEntry& entry = state.Entries[static_cast<size_t>(identity.row)];
    if (entry.Name != identity.package)
        identity.refusal = Refusal::WrongPackage;
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
    const QString display = identity.row >= 0 && identity.row < static_cast<int>(entries.size())
                                ? entries[static_cast<size_t>(identity.row)].Display
                                : identity.package;
    switch (identity.refusal) {
    case Refusal::None:
        return {};
    case Refusal::NotZip:
        return QStringLiteral("所选文件不是扩展包压缩文件！");
    case Refusal::Unsafe:
        return QStringLiteral("扩展包文件已损坏或含有不安全的内容，未安装！");
    case Refusal::NoDescriptor:
        return QStringLiteral("所选文件中没有扩展包描述文件！");
    case Refusal::WrongPackage:
        return QStringLiteral("所选文件不是 ") + display + QStringLiteral(" 扩展包！");
    case Refusal::NotInCatalogue:
        return QStringLiteral("当前账户的扩展包列表中没有 ") + display +
               QStringLiteral(" 扩展包！");
    case Refusal::NotPurchased:
        return QStringLiteral("当前尚未购买 ") + display + QStringLiteral(" 扩展包，无法安装！");
    case Refusal::OrderPending:
        return display + QStringLiteral(" 扩展包的订单正在处理中，请稍后重试！");
    case Refusal::AlreadyInstalled:
        return QStringLiteral("已安装此版本的 ") + display + QStringLiteral(" 扩展包！");
    }
    return {};
}

bool cPackageImport::InstallChosenFile()
{
    if (catalogue_.WorkRunning())
        return false;
    // The dialog belongs to the work: nothing starts while the user chooses.
    const cLongWork work(catalogue_, cLongWork::Kind::Install);
    const QString path = catalogue_.Prompt().OpenFileName(QStringLiteral("从文件安装扩展包"),
                                                          QStringLiteral("扩展包 (*.Z *.zip)"));
    return !path.isEmpty() && Install(path);
}

bool cPackageImport::InstallFromFile(const QString& path)
{
    if (catalogue_.WorkRunning())
        return false;
    const cLongWork work(catalogue_, cLongWork::Kind::Install);
    return Install(path);
}

bool cPackageImport::Install(const QString& path)
{
    const Identity identity = Identify(path);
    if (identity.refusal != Refusal::None) {
        catalogue_.Prompt().MsgBox(RefusalText(identity), MsgStyle::Exclamation, kRefusalTitle);
        return false;
    }
    if (!catalogue_.CheckPackageSupport())
        return false;

    // The archive takes the place a download would fill, through a temporary
    // file and a rename, so a full disk never leaves half an archive there.
    const ExtensionEntry& entry = catalogue_.State().Entries[static_cast<size_t>(identity.row)];
    const QString target = catalogue_.ArchivePath(entry.Checksum);
    const QString partial = target + QStringLiteral(".part");
    QDir().mkpath(QFileInfo(target).path());
    QFile::remove(partial);
    if (!IsSafeChecksum(entry.Checksum) || !QFile::copy(path, partial) ||
        std::rename(QFile::encodeName(partial).constData(),
                    QFile::encodeName(target).constData()) != 0) {
        QFile::remove(partial);
        catalogue_.Prompt().MsgBox(QStringLiteral("安装扩展包失败！"), MsgStyle::Critical,
                                   CatalogueText::ErrorTitle);
        return false;
    }
    catalogue_.InstallOne(identity.row);
    return catalogue_.State().Entries.size() > static_cast<size_t>(identity.row) &&
           catalogue_.State().Entries[static_cast<size_t>(identity.row)].Status == Installed;
}
