#include "World.h"
#include "startup/mMain.h"

// Start-up: one message and no window when the editor is missing, rights are
// lacking or the JSON component is broken; the settings are written anyway.
TEST_F(WorldTest, StartupMessages)
{
    const QString here = Path("Kestrovia.exe"), other = root.filePath("other/Kestrovia.exe");
    const QString noEditor = "未找到 Kestrovia 元数据编辑器！|48|提示";
    const QString noRights = "权限不足，请尝试以管理员身份重新运行本程序|16|权限不足";
    const std::tuple<QString, bool, bool, QString> cases[] = {
        {"", true, true, noEditor},
        {"   ", true, true, noEditor},
        {"\t" + here, false, true, noRights}, // only spaces are trimmed
        {"  " + here + " ", false, true, ""},
        {process.ProgramFolder.toUpper() + "/Kestrovia.exe", false, true, noRights},
        {"Kestrovia.exe", false, true, noRights},
        {other, false, true, noRights},
        {other, true, true, ""},
        {here, false, false, "Kestrovia 元数据编辑器未被正确安装，请重新安装后重试|16|提示"},
    };
    Settings::Write(Settings::AppInfo, "UserName", " \talice, \"photo\" ");
    for (const auto& [editor, admin, json, message] : cases) {
        Settings::Write(Settings::AppInfo, "Editor", editor);
        Settings::Delete(Settings::AppInfo, "Tovarinth");
        SetJsonComponentAvailable(json);
        const bool isAdmin = admin;
        const auto values = Main(prompt, {Path("tovarinth"), [=] { return isAdmin; }, "17"});
        SetJsonComponentAvailable(true);
        EXPECT_EQ(prompt.Take(), message.isEmpty() ? QStringList() : QStringList{message})
            << editor.toStdString();
        EXPECT_EQ(Settings::Read(Settings::AppInfo, "Tovarinth") + " " +
                      Settings::Read(Settings::AppInfo, "TovarinthVersion") + " " +
                      (values ? values->UserName : "-"),
                  Path("tovarinth") + (message.isEmpty() ? " 0180 \talice, \"photo\"" : " 0180 -"));
    }
}
