// Installation and removal of one package. A package moves through
// downloaded (the archive), unpacked (the descriptor in its folder) and
// recorded (database and settings); installing starts at the first state not
// yet reached. Nothing here deletes an archive or a package folder.

#include "Catalogue.h"
#include "cLongWork.h"
#include "crypto/MachineKey.h"
#include "net/cDownload.h"
#include "net/cPartialDownload.h"
#include "startup/FileIo.h"
#include "startup/Settings.h"
#include "unzip/cUnzipFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QScopeGuard>
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
                       download.HttpStatus() < 300 && Rename(partial, archive);
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
        if (!Unpack(archive, packageFolder)) {
            // An archive put together from two transfers that does not unpack
            // would fail every later attempt: the next one starts afresh.
            if (resumed)
                QFile::remove(archive);
            return false;
        }
    }

    const QStringList parts = ChecksumParts(checksum);
    if (parts.isEmpty())
        return false;
    // The checksum proves the row: a package whose checksum names another
    // package or version is not recorded under this row's name.
    row = FirstRowWithChecksum(checksum);
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
    if (!batch && !RecordPackages({static_cast<size_t>(row - state_.Entries.data())}))
        return false;
    if (work_)
        work_->EndRow(Installed);
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
        const QStringList parts = ChecksumParts(state_.Entries[i].Checksum);
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
    const QStringList parts = ChecksumParts(checksum);
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
