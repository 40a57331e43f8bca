// The account's rows: the catalogue cache and each package's status.

#include "Catalogue.h"
#include "JsonLookup.h"
#include "crypto/MachineKey.h"
#include "startup/FileIo.h"
#include "startup/Settings.h"

#include <QDir>
#include <QFileInfo>

namespace {

// The names of the entries of a folder of the given kinds (hidden ones too);
// none for a missing folder.
QSet<QString> FolderNames(const QString& folder, QDir::Filters kinds)
{
    const QStringList names =
        QDir(folder).entryList(kinds | QDir::Hidden | QDir::NoDotAndDotDot, QDir::NoSort);
    return QSet<QString>(names.begin(), names.end());
}

} // namespace

void Catalogue::LoadExtensionCache(bool quiet)
{
    // One look at the settings file for the whole rebuild, not one per row.
    const Settings::Snapshot settingsSnapshot;
    LoadLocalDatabases();

    std::optional<JsonNode> document;
    const QString path = ProgramFile(QStringLiteral("extcache.cfg"));
    try {
        if (IsExistingFile(path)) {
            const ByteArray bytes = ReadWholeFile(path);
            // A cache of no bytes, or of a length that is not a multiple of
            // 16, cannot be deciphered into text.
            if (IsArrayEmpty(bytes) || bytes->isEmpty())
                throw IoError(ErrorNumber::PathAccess, path);
            document = memo_.Parse(cRebuildMemo::CatalogueCache, *bytes);
        }
    } catch (const RaisedError&) {
        if (!quiet)
            prompt_.MsgBox(CatalogueText::CacheFailed, MsgStyle::Critical);
        state_.CatalogueLoaded = false;
        return;
    }

    if (document) {
        int32_t row = view_.count();
        // A cache without "id", or of another account, gives no rows.
        const std::optional<QString> id = [&]() -> std::optional<QString> {
            try {
                return document->Item(QStringLiteral("id")).text();
            } catch (const JsonError&) {
                return std::nullopt;
            }
        }();
        if (id && *id == process_.UserName) {
            // The cache is renamed into place as it was written, at its sync.
            state_.CatalogueTime = QFileInfo(path).lastModified();
            try {
                QString hub = document->Item(QStringLiteral("hub")).text();
                if (hub.endsWith(u'/'))
                    hub.chop(1);
                state_.Hub = hub;
            } catch (const JsonError&) {
            }

            std::optional<JsonNode> extensions;
            try {
                extensions = document->Item(QStringLiteral("extensions"));
            } catch (const JsonError&) {
            }
            const int total = extensions && extensions->IsNode() ? extensions->count() : 0;
            // The package and archive folders are listed once for the rows;
            // a file that appears meanwhile counts from the next rebuild.
            listing_ =
                FolderListing{FolderNames(ProgramFile(QStringLiteral("Packages")), QDir::Dirs),
                              FolderNames(ProgramFile(QStringLiteral("Downloads")), QDir::Files)};
            struct EndListing
            {
                std::optional<FolderListing>& listing;
                ~EndListing() { listing.reset(); }
            } endListing{listing_};
            for (int i = 1; i <= total; ++i) {
                JsonNode e;
                try {
                    e = extensions->Item(i);
                } catch (const JsonError&) {
                    continue;
                }
                // A missing member reads as empty text; the other members of
                // the package are still read.
                const QString version = NormalizeVersion(TextOr(e, QStringLiteral("version")));
                QString descriptor;
                const QString name = TextOr(e, QStringLiteral("name"));
                const QString display = TextOr(e, QStringLiteral("display"));
                const QString status = TextOr(e, QStringLiteral("status"));
                const QString checksum = TextOr(e, QStringLiteral("checksum"));
                int32_t models = CountOf(state_.InstalledDb, name);
                const int32_t serverCount =
                    RoundToInt32(TextToNumber(TextOr(e, QStringLiteral("count"))));
                if (models == 0 || models < serverCount)
                    models = serverCount;
                if (models <= 0)
                    continue;

                const int32_t s = GetExtensionStatus(name, version, status, checksum, descriptor);
                ExtensionEntry entry;
                entry.Name = name;
                entry.Display = display;
                entry.Checksum = checksum;
                entry.Descriptor = descriptor;
                entry.Status = s;
                entry.Version = version;
                entry.IsExtension = true;
                state_.Entries.push_back(std::move(entry));

                view_.ItemAdd(row, u' ' + display, 0, GetMakerIconIndex(name), s);
                view_.SubItemSet(row, 1, version, -1);
                view_.SubItemSet(row, 2, QString::number(models), -1);
                view_.SubItemSet(row, 3, GetStatusText(s), -1);
                ++row;
            }
            state_.CatalogueLoaded = true;
        }
    }
    UpdateControls();
}

int32_t Catalogue::GetExtensionStatus(const QString& name, const QString& version,
                                      const QString& status, const QString& checksum,
                                      QString& descriptor)
{
    if (status == QLatin1String("PENDING"))
        return OrderPending;
    // Any order status but exactly "OK" is an order that was not paid.
    if (status != QLatin1String("OK"))
        return NotPurchased;

    // The checksum proves the row; it also names files, so it must be plain hex.
    const QStringList parts = memo_.ChecksumParts(checksum);
    if (parts.isEmpty() || parts[0] != name || parts[1] != version)
        return Failed;

    bool installed = CountOf(state_.InstalledDb, name) > 0;
    const bool packageFolder = !listing_ || listing_->packageFolders.contains(checksum);
    if (packageFolder) {
        // A descriptor that exists but cannot be read or deciphered is no
        // installation.
        const cRebuildMemo::DescriptorRead read = memo_.Descriptor(DescriptorPath(checksum));
        if (read.exists && !read.text)
            installed = false;
        else if (read.text)
            descriptor = *read.text;
    }

    const QString local = Settings::Read(Settings::Tovarinth, name, version);
    const auto archived = [&] {
        return listing_ ? listing_->archives.contains(checksum + QStringLiteral(".Z"))
                        : IsExistingFile(ArchivePath(checksum));
    };
    if (!descriptor.isEmpty() || archived()) {
        if (!descriptor.isEmpty() && installed && TextToNumber(version) == TextToNumber(local))
            return Installed;
        return PendingInstall;
    }
    if (installed)
        return TextToNumber(version) > TextToNumber(local) ? PendingUpdate : PendingDownload;
    return PendingDownload;
}
