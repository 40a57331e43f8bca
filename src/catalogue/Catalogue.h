#pragma once

#include "IView.h"
#include "MainState.h"
#include "cInstalledDbFile.h"
#include "cRebuildMemo.h"
#include "startup/IPrompt.h"
#include "startup/ProcessValues.h"

#include <QSet>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

class cLongWork;
class cPing;

// The main window's procedures over its form-level state: building the list
// from the local files, working out each row's status, and keeping the
// installed-extension database. They show messages through the prompt and
// change the window only through the view.
class Catalogue
{
public:
    Catalogue(MainState& state, IView& view, IPrompt& prompt, const ProcessValues& process);
    ~Catalogue();
    Catalogue(const Catalogue&) = delete;
    Catalogue& operator=(const Catalogue&) = delete;

    // Clears the list, reads the installed-extension database and the editor's
    // built-in equipment database and adds one ghosted row per maker.
    void LoadLocalDatabases();
    // LoadLocalDatabases, then one row per package of the catalogue cache.
    // A cache that cannot be read leaves the built-in rows and is reported,
    // unless quiet: after a failed sync, whose message said what went wrong.
    void LoadExtensionCache(bool quiet = false);
    // LoadLocalDatabases, then LoadExtensionCache.
    void RefreshList();
    // Enables and shows the window's controls from the state.
    void UpdateControls();

    // The status of a package row; descriptor receives the package's
    // decrypted extension.cfg when its folder holds one.
    int32_t GetExtensionStatus(const QString& name, const QString& version, const QString& status,
                               const QString& checksum, QString& descriptor);

    // Writes every recorded row's descriptor into extdb.cfg under the machine
    // key and replaces InstalledDb. When the file changed since it was last
    // read (another manager saved), it is read again first: the packages this
    // run installed win, every other record stays as the file holds it. False
    // (and nothing written) when the assembled database does not parse, the
    // file cannot be written, or it cannot be read.
    bool SaveInstalledDatabase();

    // Why an installation did not complete.
    enum class InstallFault
    {
        None,
        Failed,      // the download, the descriptor, the records
        Damaged,     // the archive did not unpack (damaged, hostile)
        CannotWrite, // the program folder could not be written (no rights, a full disk)
    };
    // Fetches the archive unless it is at hand, unpacks it, loads the
    // descriptor into the first row with this checksum and records the
    // package; in a batch the caller records it. A descriptor that names
    // another package than the checksum fails it, and its folder and archive
    // are removed, so that the next attempt fetches the package again. A stop
    // of the running long work is honoured until the archive is in place.
    bool InstallPackage(const QString& checksum, bool batch, InstallFault* fault = nullptr);
    // The database first, then each version setting; a package whose setting
    // cannot be written stays out of the database. True when all are recorded.
    bool RecordPackages(const std::vector<size_t>& rows);
    // Takes the package out of the database and the settings; its files stay.
    bool UninstallPackage(const QString& checksum);

    // The one gate: a long operation (cLongWork) runs, and every command refuses.
    bool WorkRunning() const { return work_ != nullptr; }
    void CancelWork(); // 取消 and Escape: stops it while it can be stopped

    // The commands of the window.
    bool CheckPackageSupport();
    void InstallAll();              // the install-all button
    void ContextCommand(int index); // 0 install, 1 remove, 2 buy, 99 double-click
    void RowDoubleClick();
    // The single installation, in the caller's long work, with its message
    // and refresh. For an archive carried in, a damaged archive and a program
    // folder that cannot be written have messages of their own.
    InstallFault InstallOne(int32_t row, bool carriedIn = false);
    QString PurchaseLink(int row) const;

    // What the row's context menu offers.
    struct ContextMenuState
    {
        bool install = false;
        bool uninstall = false;
        bool buyVisible = false;
        bool browse = false;
    };
    // A mouse button released over the list with selectedRow the first
    // selected row (-1 for none). The menu to show for the right button.
    std::optional<ContextMenuState> ListMouseUp(int button, int selectedRow);

    // The online check (probe, then the profile sync in its event).
    void CheckOnline();
    // The profile sync: the probe's event.
    void PingReturn(bool successStatus);
    // Finds the editor's build once and warns when it is too old.
    void CheckVersion();

    // Paths in the program and editor folders.
    QString ProgramFile(const QString& name) const;
    QString PackageFolder(const QString& checksum) const;
    QString DescriptorPath(const QString& checksum) const;
    QString ArchivePath(const QString& checksum) const;
    QString EquipmentDbPath() const;

    MainState& State() { return state_; }
    IView& View() { return view_; }
    IPrompt& Prompt() { return prompt_; }
    const ProcessValues& Process() const { return process_; }

private:
    friend class cLongWork;

    void ReadInstalledDatabase();
    // As SaveInstalledDatabase; the member of the package removed leaves.
    bool SaveInstalledDatabase(const QString& removed);
    // UnZip's code, or DiskFull when the folders could not be made or filled.
    int32_t Unpack(const QString& archive, const QString& packageFolder);
    ExtensionEntry* FirstRowWithChecksum(const QString& checksum);

    std::unique_ptr<cPing> connection_; // created by the first online check
    cLongWork* work_ = nullptr;         // the long operation under way
    cInstalledDbFile installedDbFile_;
    cRebuildMemo memo_; // what the rebuilds deciphered, until its file changes

    // What the Packages and Downloads folders held when the running rebuild
    // of the catalogue rows began; none outside it. With it the status of a
    // row needs no look at the disk unless its package folder is there.
    struct FolderListing
    {
        QSet<QString> packageFolders; // folder names in Packages
        QSet<QString> archives;       // file names in Downloads
    };
    std::optional<FolderListing> listing_;

    MainState& state_;
    IView& view_;
    IPrompt& prompt_;
    const ProcessValues& process_;
};

// The first editor build that reads extension packages.
constexpr int32_t kMinimumEditorBuild = 1316;

// "TVH" and the revision padded to 4 digits.
QString GetVersionTag();

// The colours of one cell of the main list: alternating backgrounds, grey
// built-in rows, and the status column coloured by the row's status.
// Colours are 0xRRGGBB; text is left as it is where nothing applies.
void RowColours(int row, int column, int32_t tag, bool ghosted, uint32_t greyText,
                uint32_t& background, uint32_t& text);

// The logo of a maker key in the BRAND strip: 1..13 for the known makers,
// 0 for any other key.
int16_t GetMakerIconIndex(const QString& key);

// A checksum names files and folders: only hex digits are accepted there.
bool IsSafeChecksum(const QString& checksum);

namespace CatalogueText {
inline const QString BuiltinDbFailed = QStringLiteral("无法加载内置数据库！");
inline const QString CacheFailed = QStringLiteral("读取扩展包信息失败！");
inline const QString DatabaseWriteFailed = QStringLiteral("创建数据库文件失败！");
inline const QString ErrorTitle = QStringLiteral("错误");
inline const QString BuiltinSuffix = QStringLiteral(" (内置)");
inline const QString HintTitle = QStringLiteral("提示");
inline const QString ReminderTitle = QStringLiteral("提醒");
inline const QString ArchiveUnsafe = QStringLiteral("扩展包文件已损坏或含有不安全的内容，未安装！");
inline const QString FolderNotWritable = QStringLiteral("无法写入程序目录，请检查磁盘空间和权限！");
} // namespace CatalogueText
