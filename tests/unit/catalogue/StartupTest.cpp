#include "CatalogueFixture.h"
#include "startup/JsonNode.h"
#include "startup/VersionResourceWriter.h"
#include "startup/mMain.h"

class StartupTest : public CatalogueTest
{
protected:
    std::optional<ProcessValues> Start(const QString& exe, bool admin)
    {
        StartupPlatform platform;
        platform.executablePath = exe;
        platform.isUserAnAdmin = [admin] { return admin; };
        platform.scrollBarWidth = "17";
        return Main(prompt, platform);
    }
    void ExpectSettingsWritten(const QString& exe)
    {
        EXPECT_EQ(Settings::Read(Settings::AppInfo, "Tovarinth"), exe);
        EXPECT_EQ(Settings::Read(Settings::AppInfo, "TovarinthVersion"), "0180");
    }
    void ExpectOneMessage(const QString& text, int32_t style, const QString& title)
    {
        ASSERT_EQ(prompt.messages.size(), 1u);
        EXPECT_EQ(prompt.messages[0].text, text);
        EXPECT_EQ(prompt.messages[0].style, style);
        EXPECT_EQ(prompt.messages[0].title, title);
    }
    QString exe() const { return process.ProgramFolder + "/tovarinth"; }
};

TEST_F(StartupTest, NoEditor_Message1AndSettingsWritten)
{
    for (const char* editor : {"", "   "}) {
        prompt.messages.clear();
        Settings::Write(Settings::AppInfo, "Editor", editor);
        EXPECT_FALSE(Start(exe(), true));
        ExpectOneMessage(StartupText::NoEditor, 48, QString::fromUtf16(u"提示"));
        ExpectSettingsWritten(exe());
    }
}

TEST_F(StartupTest, RightsCheckedOnlyOutsideTheEditorsFolder)
{
    // In the editor's folder: no rights needed.
    Settings::Write(Settings::AppInfo, "Editor", "  " + process.ProgramFolder + "/Kestrovia.exe ");
    Settings::Write(Settings::AppInfo, "UserName", "  alice.photo  ");
    const auto values = Start(exe(), false);
    ASSERT_TRUE(values);
    EXPECT_TRUE(prompt.messages.empty());
    EXPECT_EQ(values->EditorFolder, process.ProgramFolder);
    EXPECT_EQ(values->UserName, "alice.photo");
    EXPECT_EQ(values->ProgramFolder, process.ProgramFolder);
    EXPECT_EQ(values->ScrollBarWidth, "17");

    // Another folder, the same in other letter case, and a bare file name all
    // differ from the program folder.
    for (const QString& editor :
         {process.EditorFolder + "/Kestrovia.exe",
          process.ProgramFolder.toUpper() + "/Kestrovia.exe", QString("Kestrovia.exe")}) {
        prompt.messages.clear();
        Settings::Write(Settings::AppInfo, "Editor", editor);
        EXPECT_FALSE(Start(exe(), false)) << editor.toStdString();
        ExpectOneMessage(StartupText::NoRights, 16, QString::fromUtf16(u"权限不足"));
        ExpectSettingsWritten(exe());
        prompt.messages.clear();
        EXPECT_TRUE(Start(exe(), true)) << "an administrator may run it from anywhere";
        EXPECT_TRUE(prompt.messages.empty());
    }
}

TEST_F(StartupTest, MissingJsonComponent_Message3)
{
    Settings::Write(Settings::AppInfo, "Editor", process.ProgramFolder + "/Kestrovia.exe");
    SetJsonComponentAvailable(false);
    const auto values = Start(exe(), false);
    SetJsonComponentAvailable(true);
    EXPECT_FALSE(values);
    ExpectOneMessage(StartupText::BrokenEditor, 16, QString::fromUtf16(u"提示"));
    ExpectSettingsWritten(exe());
}

TEST_F(StartupTest, EmptyUserNameStillStarts)
{
    Settings::Write(Settings::AppInfo, "Editor", process.ProgramFolder + "/Kestrovia.exe");
    const auto values = Start(exe(), false);
    ASSERT_TRUE(values);
    EXPECT_EQ(values->UserName, "");
    EXPECT_FALSE(values->HasAccount());
}

class VersionCheckTest : public CatalogueTest
{
protected:
    void Editor(const QString& productVersion)
    {
        ASSERT_TRUE(WriteFile(process.EditorPath,
                              BuildVersionedExecutable(StubEditorContent(productVersion)).bytes));
    }
};

TEST_F(VersionCheckTest, BuildFromTheLastFourCharactersOfProductVersion)
{
    Editor("2.1.0.1316");
    catalogue.CheckVersion();
    EXPECT_EQ(state.EditorBuild, 1316);
    EXPECT_FALSE(view.warningShown);
    EXPECT_TRUE(prompt.messages.empty());

    Editor("2.0.0.1220");
    catalogue.CheckVersion();
    EXPECT_EQ(state.EditorBuild, 1220);
    EXPECT_TRUE(view.warningShown);
}

TEST_F(VersionCheckTest, FallsBackToSettingThenWarns)
{
    ASSERT_TRUE(WriteFile(process.EditorPath, "not an executable"));
    Settings::Write(Settings::AppInfo, "EditorVersion", "1400");
    catalogue.CheckVersion();
    EXPECT_EQ(state.EditorBuild, 1400);
    EXPECT_TRUE(prompt.messages.empty());
    EXPECT_FALSE(view.warningShown);

    Settings::Delete(Settings::AppInfo, "EditorVersion");
    catalogue.CheckVersion();
    EXPECT_EQ(state.EditorBuild, 0);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, QString::fromUtf16(u"无法获取当前编辑器的版本信息！"));
    EXPECT_EQ(prompt.messages[0].style, 16);
    EXPECT_EQ(prompt.messages[0].title, "");
    EXPECT_TRUE(view.warningShown);
}
