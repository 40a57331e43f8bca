#pragma once

#include "IView.h"
#include "MainState.h"
#include "cRebuildMemo.h"
#include "cInstalledDbFile.h"
#include "startup/IPrompt.h"
#include "startup/ProcessValues.h"

#include <QSet>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

class cDownload;
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

    // Fetches the archive unless it is at hand, unpacks it, loads the
    // descriptor into the first row with this checksum and records the
    // package. In a batch the caller keeps Busy set and saves the database.
    bool InstallPackage(const QString& checksum, bool batch);
    // Takes the package out of the database and the settings; its files stay.
    bool UninstallPackage(const QString& checksum);

    // Stops the package download under way between two chunks, or while it
    // connects; an install-all ends after its current package, which is not
    // installed. Nothing happens when no download or install-all runs.
    void CancelWork();
    bool CancelRequested() const { return cancelRequested_; }

    // The commands of the window.
    bool CheckPackageSupport();
    void InstallAll();              // the install-all button
    void ContextCommand(int index); // 0 install, 1 remove, 2 buy, 99 double-click
    void RowDoubleClick();
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
    void ReadInstalledDatabase();
    // As SaveInstalledDatabase; the member of the package removed leaves.
    bool SaveInstalledDatabase(const QString& removed);
    bool Unpack(const QString& archive, const QString& packageFolder);
    ExtensionEntry* FirstRowWithChecksum(const QString& checksum);

    std::unique_ptr<cPing> connection_; // created by the first online check
    cDownload* running_ = nullptr;      // the package download under way
    bool cancellable_ = false;          // a package download or an install-all runs
    bool cancelRequested_ = false;
    // The package's place in an install-all, for the progress line; count 0
    // outside one.
    int batchPosition_ = 0;
    int batchCount_ = 0;
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
} // namespace CatalogueText

// Message-box style values and answers, as the system numbers them.
namespace MsgStyle {
constexpr int32_t OkOnly = 0;
constexpr int32_t YesNoCancel = 3;
constexpr int32_t YesNo = 4;
constexpr int32_t RetryCancel = 5;
constexpr int32_t Critical = 16;
constexpr int32_t Question = 32;
constexpr int32_t Exclamation = 48;
constexpr int32_t Information = 64;
} // namespace MsgStyle
namespace MsgAnswer {
constexpr int32_t Ok = 1;
constexpr int32_t Cancel = 2;
constexpr int32_t Retry = 4;
constexpr int32_t Yes = 6;
constexpr int32_t No = 7;
} // namespace MsgAnswer
