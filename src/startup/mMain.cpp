#include "mMain.h"

#include "JsonNode.h"
#include "Settings.h"
#include "TextHelpers.h"
#include "startup/IPrompt.h"

#include <QFileInfo>
#include <unistd.h>

namespace {
constexpr int32_t kExclamation = 48;
constexpr int32_t kCritical = 16;
} // namespace

QString RunningExecutable()
{
    return QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
}

QString ProgramFolderOf(const QString& executablePath)
{
    return QFileInfo(executablePath).absolutePath();
}

bool IsUserAnAdmin()
{
    return geteuid() == 0;
}

std::optional<ProcessValues> Main(IPrompt& prompt, const StartupPlatform& platform)
{
    ProcessValues values;
    values.ScrollBarWidth = platform.scrollBarWidth;
    values.ProgramFolder = ProgramFolderOf(platform.executablePath);

    // A value that cannot be written never stops start-up.
    Settings::Write(Settings::AppInfo, QStringLiteral("Tovarinth"), platform.executablePath);
    Settings::Write(Settings::AppInfo, QStringLiteral("TovarinthVersion"),
                    PadLeft(QString::number(TOVARINTH_REVISION), 4, QStringLiteral("0")));

    values.EditorPath = TrimSpaces(Settings::Read(Settings::AppInfo, QStringLiteral("Editor")));
    if (values.EditorPath.isEmpty()) {
        prompt.MsgBox(StartupText::NoEditor, kExclamation, QStringLiteral("提示"));
        return std::nullopt;
    }
    const qsizetype separator =
        std::max(values.EditorPath.lastIndexOf(u'/'), values.EditorPath.lastIndexOf(u'\\'));
    if (separator >= 0)
        values.EditorFolder = values.EditorPath.left(separator);

    // Exactly, letter case included: only the editor's own folder needs no rights.
    if (values.EditorFolder != values.ProgramFolder &&
        !(platform.isUserAnAdmin && platform.isUserAnAdmin())) {
        prompt.MsgBox(StartupText::NoRights, kCritical, QStringLiteral("权限不足"));
        return std::nullopt;
    }
    if (!CreateJsonComponent()) {
        prompt.MsgBox(StartupText::BrokenEditor, kCritical, QStringLiteral("提示"));
        return std::nullopt;
    }
    values.UserName = TrimSpaces(Settings::Read(Settings::AppInfo, QStringLiteral("UserName")));
    return values;
}
