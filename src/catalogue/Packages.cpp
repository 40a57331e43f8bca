// Installation and removal of one package. A package moves through
// downloaded (the archive), unpacked (the descriptor in its folder) and
// recorded (database and settings); installing starts at the first state not
// yet reached. Nothing here deletes an archive or a package folder, but those
// that hold another package than their checksum names.

#include "Catalogue.h"
#include "cLongWork.h"
#include "crypto/MachineKey.h"
#include "net/cDownload.h"
#include "net/cPartialDownload.h"
#include "startup/FileIo.h"
#include "startup/Settings.h"
#include "unzip/UnzipEngine.h"
#include "unzip/cUnzipFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QScopeGuard>
#include <utility>

namespace {

// Fetches url into archive within the long work, if one runs. The archive
// gets its name only when the whole body arrived with a success status and
// nobody stopped it. What the line or the server cut off stays for the next
// attempt to continue; a stopped or failed body or an error page is dropped.
// resumed: the archive was put together from more than one transfer.
bool FetchArchive(cLongWork* work, const QString& url, const QString& archive,
                  const QString& display, bool& resumed)
{
    const auto stopped = [work] { return work && work->StopRequested(); };
    if (stopped())
        return false;
    const QString partial = archive + QStringLiteral(".part");
    cDownload download;
    const int32_t n = [&] {
        const cLongWork::Transfer transfer(work, download, display);
        return download.DownloadToPartFile(url, partial);
    }();
    // Nothing services the event loop from this test to the rename: a stop
    // that came in time is honoured, and after the rename none is taken.
    const bool whole = n > 0 && !stopped() && download.Complete() && download.HttpStatus() >= 200 &&
                       download.HttpStatus() < 300 && RenameOver(partial, archive);
    if (!whole && (!download.PartKept() || stopped()))
        cPartialDownload(partial).Remove();
    resumed = whole && download.ResumedFrom() > 0;
    return whole;
}

} // namespace

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
int32_t Catalogue::Unpack(const QString& archive, const QString& packageFolder)
{
    const QString staging = packageFolder + QStringLiteral(".unpacking");
    QDir(staging).removeRecursively();
    if (!QDir().mkpath(staging))
        return UnzipCode::DiskFull;

    cUnzipFiles unzip(&prompt_);
    unzip.SetZipFileName(archive);
    unzip.SetExtractDir(staging);
    unzip.SetHonorDirectories(false);
    if (const int32_t code = unzip.Unzip(QString(), QString()); code != UnzipCode::Ok) {
        (void)unzip.GetLastMessage(); // kept for a debugger; the user is told by the command
        QDir(staging).removeRecursively();
        return code;
    }

    bool moved = QDir().mkpath(packageFolder);
    QDirIterator members(staging, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    while (moved && members.hasNext()) {
        members.next();
        moved = RenameOver(members.filePath(), JoinPath(packageFolder, members.fileName()));
    }
    QDir(staging).removeRecursively();
    return moved ? UnzipCode::Ok : UnzipCode::DiskFull;
}

bool Catalogue::InstallPackage(const QString& checksum, bool batch, InstallFault* fault)
{
    InstallFault failure = InstallFault::Failed;
    const auto outcome = qScopeGuard([&] {
        if (fault)
            *fault = failure;
    });
    // The checksum names the archive and the folder: only plain hex is used.
    if (!IsSafeChecksum(checksum))
        return false;
    const QString archive = ArchivePath(checksum);
    const QString packageFolder = PackageFolder(checksum);
    const QString descriptor = DescriptorPath(checksum);
    ExtensionEntry* row = FirstRowWithChecksum(checksum);
    const int32_t index = row ? static_cast<int32_t>(row - state_.Entries.data()) : -1;
    if (work_)
        work_->BeginRow(index);
    // Unless it ends with its outcome, the row takes back its status.
    const auto endRow = qScopeGuard([this] {
        if (work_)
            work_->EndRow();
    });
    const auto show = [this](int32_t status) {
        if (work_)
            work_->ShowRow(status);
        view_.DoEvents(); // painted now: the unpack does not service the event loop
    };
    if (!QDir().mkpath(ProgramFile(QStringLiteral("Packages"))) ||
        !QDir().mkpath(ProgramFile(QStringLiteral("Downloads")))) {
        failure = InstallFault::CannotWrite;
        return false;
    }

    bool resumed = false;
    if (FileLength(descriptor) == 0 && !IsExistingFile(archive)) {
        show(Downloading);
        if (!FetchArchive(work_, state_.Hub + u'/' + checksum + QStringLiteral(".Z"), archive,
                          row ? row->Display : checksum, resumed))
            return false;
    }
    // From here the installation completes: a cancel would come too late.
    if (work_)
        work_->SetStoppable(false);
    if (FileLength(descriptor) == 0) {
        show(Installing);
        if (FileLength(archive) == 0)
            return false;
        if (const int32_t code = Unpack(archive, packageFolder); code != UnzipCode::Ok) {
            failure =
                code == UnzipCode::DiskFull ? InstallFault::CannotWrite : InstallFault::Damaged;
            // An archive put together from two transfers that does not unpack
            // would fail every later attempt: the next one starts afresh.
            if (resumed)
                QFile::remove(archive);
            return false;
        }
    }

    const QStringList parts = memo_.ChecksumParts(checksum);
    if (parts.isEmpty())
        return false;
    // The checksum proves the row: a package whose checksum names another
    // package or version is not recorded under this row's name.
    row = FirstRowWithChecksum(checksum);
    if (row && (parts[0] != row->Name || parts[1] != row->Version))
        return false;
    if (FileLength(descriptor) == 0)
        return false;
    const QString text = ReadDescriptor(descriptor).value_or(QString());
    // An archive that holds another package (a hub serving the wrong file, a
    // file carried in that was swapped) must not stand for this one.
    if (DescriptorPackage(text) != parts[0]) {
        QDir(packageFolder).removeRecursively();
        QFile::remove(archive);
        return false;
    }
    if (!row)
        return false;
    row->Descriptor = text;
    row->PendingSave = true;
    if (!batch && !RecordPackages({static_cast<size_t>(row - state_.Entries.data())}))
        return false;
    if (work_)
        work_->EndRow(Installed);
    failure = InstallFault::None;
    return true;
}

bool Catalogue::RecordPackages(const std::vector<size_t>& rows)
{
    // The version setting says which version the database holds, so it is
    // written only after the database: a failed save leaves every setting as
    // it was, and no row reads installed over the models of an older version.
    // A setting that cannot be written (a name that cannot be a key, the
    // editor holding the store's lock) keeps its package out of the database;
    // one that the store refuses only after the save takes it out again.
    // A package left out is no longer pending, and a row that already read
    // installed (an install-all's) reads failed, so that no save records it.
    bool all = true;
    const auto fail = [&](size_t i) {
        state_.Entries[i].PendingSave = false;
        if (state_.Entries[i].Status == Installed)
            ShowRowStatus(*this, static_cast<int32_t>(i), Failed);
        all = false;
    };
    std::vector<std::pair<size_t, QStringList>> kept;
    for (const size_t i : rows) {
        const QStringList parts = memo_.ChecksumParts(state_.Entries[i].Checksum);
        if (parts.isEmpty() || !Settings::Writable(Settings::Tovarinth, parts[0], parts[1]))
            fail(i);
        else
            kept.emplace_back(i, parts);
    }
    if (!SaveInstalledDatabase()) {
        for (const auto& [i, parts] : kept)
            fail(i);
        return false;
    }
    for (const auto& [i, parts] : kept) {
        if (Settings::Write(Settings::Tovarinth, parts[0], parts[1]))
            continue;
        fail(i);
        SaveInstalledDatabase(parts[0]);
    }
    return all;
}

bool Catalogue::UninstallPackage(const QString& checksum)
{
    const QStringList parts = memo_.ChecksumParts(checksum);
    if (parts.isEmpty())
        return false;
    if (FileLength(DescriptorPath(checksum)) == 0)
        return false;
    ExtensionEntry* row = FirstRowWithChecksum(checksum);
    if (work_) {
        work_->BeginRow(row ? static_cast<int32_t>(row - state_.Entries.data()) : -1);
        work_->ShowRow(Uninstalling);
    }
    const QString descriptor = row ? std::exchange(row->Descriptor, QString()) : QString();
    if (!SaveInstalledDatabase(parts[0])) {
        if (row)
            row->Descriptor = descriptor;
        if (work_)
            work_->EndRow();
        return false;
    }
    Settings::Delete(Settings::Tovarinth, parts[0]);
    if (work_)
        work_->EndRow(Uninstalling); // the refresh that follows shows what the files now say
    return true;
}
