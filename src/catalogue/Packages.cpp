// Installation and removal of one package. A package moves through
// downloaded (the archive), unpacked (the descriptor in its folder) and
// recorded (database and settings); installing starts at the first state not
// yet reached. Nothing here deletes an archive or a package folder.

#include "Catalogue.h"
#include "cDownloadProgress.h"
#include "crypto/MachineKey.h"
#include "net/cDownload.h"
#include "startup/FileIo.h"
#include "startup/Settings.h"
#include "unzip/cUnzipFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <cstdio>
#include <utility>

namespace {

bool Rename(const QString& from, const QString& to)
{
    // Replaces an existing target in one step.
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

// The name and version a checksum enciphers; empty unless exactly two parts.
QStringList ChecksumParts(const QString& checksum)
{
    if (!IsSafeChecksum(checksum))
        return {};
    const QStringList parts = DecryptHexString(checksum).split(u'@');
    return parts.size() == 2 ? parts : QStringList();
}

// Shows the work on a row (downloading, installing, removing) in its status
// cell while it runs. Unless the work is done, the row takes back the status
// it had: a failed or cancelled attempt leaves the list as it was.
class RowWork
{
public:
    RowWork(Catalogue& catalogue, const ExtensionEntry* row)
        : catalogue_(catalogue), index_(row ? row - catalogue.State().Entries.data() : -1),
          before_(row ? row->Status : Installed)
    {
    }
    ~RowWork()
    {
        if (!done_)
            Show(before_);
    }
    RowWork(const RowWork&) = delete;
    RowWork& operator=(const RowWork&) = delete;

    void Show(int32_t status)
    {
        // The list may have been rebuilt meanwhile; then there is nothing to show.
        std::vector<ExtensionEntry>& entries = catalogue_.State().Entries;
        if (index_ < 0 || index_ >= static_cast<qsizetype>(entries.size()) ||
            index_ >= catalogue_.View().count())
            return;
        entries[static_cast<size_t>(index_)].Status = status;
        catalogue_.View().SetItemTag(static_cast<int32_t>(index_), status);
        catalogue_.View().SubItemSet(static_cast<int32_t>(index_), 3, GetStatusText(status), -1);
    }
    void Done(int32_t status)
    {
        Show(status);
        done_ = true;
    }

private:
    Catalogue& catalogue_;
    qsizetype index_;
    int32_t before_;
    bool done_ = false;
};

} // namespace

void Catalogue::CancelWork()
{
    if (!cancellable_)
        return;
    cancelRequested_ = true;
    if (running_)
        running_->StopDownload();
}

ExtensionEntry* Catalogue::FirstRowWithChecksum(const QString& checksum)
{
    for (ExtensionEntry& entry : state_.Entries)
        if (entry.Checksum == checksum)
            return &entry;
    return nullptr;
}

// Unpacks into a staging folder beside the package folder and moves the
// members in only when the whole archive unpacked, so a failure leaves the
// package folder as it was.
bool Catalogue::Unpack(const QString& archive, const QString& packageFolder)
{
    const QString staging = packageFolder + QStringLiteral(".unpacking");
    QDir(staging).removeRecursively();
    if (!QDir().mkpath(staging))
        return false;

    cUnzipFiles unzip(&prompt_);
    unzip.SetZipFileName(archive);
    unzip.SetExtractDir(staging);
    unzip.SetHonorDirectories(false);
    if (unzip.Unzip(QString(), QString()) != 0) {
        (void)unzip.GetLastMessage(); // kept for a debugger; the user is told by the command
        QDir(staging).removeRecursively();
        return false;
    }

    bool moved = QDir().mkpath(packageFolder);
    QDirIterator members(staging, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    while (moved && members.hasNext()) {
        members.next();
        moved = Rename(members.filePath(), JoinPath(packageFolder, members.fileName()));
    }
    QDir(staging).removeRecursively();
    return moved;
}

bool Catalogue::InstallPackage(const QString& checksum, bool batch)
{
    // The checksum names the archive and the folder: only plain hex is used.
    if (!IsSafeChecksum(checksum))
        return false;
    const QString archive = ArchivePath(checksum);
    const QString packageFolder = PackageFolder(checksum);
    const QString descriptor = DescriptorPath(checksum);
    QDir().mkpath(ProgramFile(QStringLiteral("Packages")));
    QDir().mkpath(ProgramFile(QStringLiteral("Downloads")));
    RowWork work(*this, FirstRowWithChecksum(checksum));

    if (FileLength(descriptor) == 0) {
        if (!IsExistingFile(archive)) {
            const QString url = state_.Hub + u'/' + checksum + QStringLiteral(".Z");
            work.Show(Downloading);
            state_.Busy = true;
            const bool wasCancellable = std::exchange(cancellable_, true);
            UpdateControls();
            view_.DoEvents();

            // The archive gets its name only when the whole body arrived with a
            // success status; a cut-off, stopped or failed body or an error
            // page is dropped so that the next attempt downloads again.
            const QString partial = archive + QStringLiteral(".part");
            const ExtensionEntry* row = FirstRowWithChecksum(checksum);
            cDownload download;
            cDownloadProgress progress(view_, row ? row->Display : checksum, batchPosition_,
                                       batchCount_);
            download.DownloadEvent = [&](int32_t status, int32_t bytes, int32_t speed) {
                progress.OnEvent(status, bytes, speed, download.ContentLength());
            };
            running_ = &download;
            const int32_t n = cancelRequested_ ? 0 : download.DownloadToFile(url, partial);
            running_ = nullptr;
            const bool whole = n > 0 && download.Complete() && download.HttpStatus() >= 200 &&
                               download.HttpStatus() < 300 && Rename(partial, archive);
            if (!whole)
                QFile::remove(partial);

            cancellable_ = wasCancellable;
            if (!batch) {
                state_.Busy = false;
                UpdateControls();
            }
            if (!whole)
                return false;
        }
        work.Show(Installing);
        if (FileLength(archive) == 0)
            return false;
        if (!Unpack(archive, packageFolder))
            return false;
    }

    const QStringList parts = ChecksumParts(checksum);
    if (parts.isEmpty())
        return false;
    // The checksum proves the row: a package whose checksum names another
    // package or version is not recorded under this row's name.
    ExtensionEntry* row = FirstRowWithChecksum(checksum);
    if (row && (parts[0] != row->Name || parts[1] != row->Version))
        return false;
    if (FileLength(descriptor) == 0)
        return false;

    QString text;
    if (row) {
        const ByteArray bytes = ReadWholeFile(descriptor);
        if (!IsArrayEmpty(bytes) && !bytes->isEmpty()) {
            // A length that is not a multiple of 16 deciphers to nothing.
            const ByteArray plain = DecryptBytes(bytes, false);
            if (!IsArrayEmpty(plain))
                text = Utf8ToString(plain);
        }
        row->Descriptor = text;
        row->PendingSave = true;
    }
    if (text.isEmpty())
        return false;

    // A database that could not be written means the package is not recorded.
    if (!batch && !SaveInstalledDatabase())
        return false;
    Settings::Write(Settings::Tovarinth, parts[0], parts[1]);
    work.Done(Installed);
    return true;
}

bool Catalogue::UninstallPackage(const QString& checksum)
{
    const QStringList parts = ChecksumParts(checksum);
    if (parts.isEmpty())
        return false;
    if (FileLength(DescriptorPath(checksum)) == 0)
        return false;
    ExtensionEntry* row = FirstRowWithChecksum(checksum);
    RowWork work(*this, row);
    work.Show(Uninstalling);
    const QString descriptor = row ? std::exchange(row->Descriptor, QString()) : QString();
    if (!SaveInstalledDatabase(parts[0])) {
        if (row)
            row->Descriptor = descriptor;
        return false;
    }
    Settings::Delete(Settings::Tovarinth, parts[0]);
    work.Done(Uninstalling); // the refresh that follows shows what the files now say
    return true;
}
