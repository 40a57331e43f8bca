#pragma once

#include "ProcessValues.h"

#include <QString>
#include <functional>
#include <optional>

class IPrompt;

// What start-up needs of the platform; tests replace each piece.
struct StartupPlatform
{
    QString executablePath;              // the running executable
    std::function<bool()> isUserAnAdmin; // effective user id 0
    QString scrollBarWidth;              // pixels, as the style reports them
};

// The checks that decide whether the program may run: records the manager's
// path and revision in the shared settings (at every start, also when a
// check then fails), finds the editor, checks administrator rights when the
// manager does not live in the editor's folder, and the JSON component. On a
// failure it shows its one message and gives no values: no window opens.
std::optional<ProcessValues> Main(IPrompt& prompt, const StartupPlatform& platform);

// The running executable (/proc/self/exe) and its folder.
QString RunningExecutable();
QString ProgramFolderOf(const QString& executablePath);
bool IsUserAnAdmin();

namespace StartupText {
inline const QString NoEditor = QStringLiteral("未找到 Kestrovia 元数据编辑器！");
inline const QString NoRights = QStringLiteral("权限不足，请尝试以管理员身份重新运行本程序");
inline const QString BrokenEditor =
    QStringLiteral("Kestrovia 元数据编辑器未被正确安装，请重新安装后重试");
} // namespace StartupText
