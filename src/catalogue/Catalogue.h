#pragma once

#include "IPrompt.h"
#include "IView.h"
#include "MainState.h"
#include "startup/ProcessValues.h"

#include <QString>
#include <cstdint>

// The main window's procedures over its form-level state: building the list
// from the local files, working out each row's status, and keeping the
// installed-extension database. They show messages through the prompt and
// change the window only through the view.
class Catalogue
{
public:
    Catalogue(MainState& state, IView& view, IPrompt& prompt, const ProcessValues& process);

    // Clears the list, reads the installed-extension database and the editor's
    // built-in equipment database and adds one ghosted row per maker.
    void LoadLocalDatabases();
    // LoadLocalDatabases, then one row per package of the catalogue cache.
    void LoadExtensionCache();
    // LoadLocalDatabases, then LoadExtensionCache.
    void RefreshList();
    // Enables and shows the window's controls from the state.
    void UpdateControls();

    // The status of a package row; descriptor receives the package's
    // decrypted extension.cfg when its folder holds one.
    int32_t GetExtensionStatus(const QString& name, const QString& version, const QString& status,
                               const QString& checksum, QString& descriptor);

    // Writes every recorded row's descriptor into extdb.cfg under the machine
    // key and replaces InstalledDb. False (and nothing written) when the
    // assembled database does not parse or the file cannot be written.
    bool SaveInstalledDatabase();

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

    MainState& state_;
    IView& view_;
    IPrompt& prompt_;
    const ProcessValues& process_;
};

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
