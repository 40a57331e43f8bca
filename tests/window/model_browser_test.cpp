#include "WindowFixture.h"

#include <QLabel>

class ModelBrowserTest : public CatalogueTest
{
protected:
    void Show(const QByteArray& models, const QString& version, bool extension)
    {
        browser = std::make_unique<frmModels>(prompt, "17");
        browser->Models = models.isEmpty() ? std::nullopt : JsonNode::parse(models);
        browser->PackageDisplay = "Fuji";
        browser->PackageVersion = version;
        browser->IsExtension = extension;
        browser->show();
        QTest::qWait(200); // the list is filled 100 ms after the dialog shows
    }
    cListView* List() const { return browser->findChild<cListView*>("lvModels"); }
    std::unique_ptr<frmModels> browser;
};

TEST_F(ModelBrowserTest, BodyWithTwoKitLensesGivesThreeLines)
{
    Show(
        R"([{"name":"X-T5","type":"milc","release":"2022-11-02","kit_lens":["XF 18-55mm","XC 15-45mm"]},
             {"name":"X100V","type":"Compact","release":"2020"},{"name":"GFX","type":"TLR"},{"type":"Dslr-h"}])",
        "3.2", true);
    cListView* list = List();
    ASSERT_EQ(list->count(), 6);
    EXPECT_EQ(list->ItemText(0, 0), "X-T5");
    EXPECT_EQ(list->ItemText(0, 1), "MILC");
    EXPECT_EQ(list->ItemIcon(0, 0), 5);
    EXPECT_EQ(list->ItemText(0, 2), "2022-11");
    EXPECT_EQ(list->ItemText(1, 0), QString::fromUtf16(u"\u251C  XF 18-55mm"));
    EXPECT_EQ(list->ItemText(1, 1), "KIT");
    EXPECT_EQ(list->ItemIcon(1, 1), 0);
    EXPECT_EQ(list->ItemIcon(1, 0), -1);
    EXPECT_EQ(list->ItemText(1, 2), "");
    EXPECT_EQ(list->ItemText(2, 0), QString::fromUtf16(u"\u251C  XC 15-45mm"));
    EXPECT_EQ(list->ItemText(3, 0), "X100V");
    EXPECT_EQ(list->ItemText(3, 2), "2020");
    EXPECT_EQ(list->ItemIcon(3, 0), 6);
    EXPECT_EQ(list->ItemText(4, 1), "TLR");
    EXPECT_EQ(list->ItemIcon(4, 0), 1);
    EXPECT_EQ(list->ItemText(5, 0), "");
    EXPECT_EQ(list->ItemIcon(5, 0), 2);
    EXPECT_TRUE(list->isVisible());
    EXPECT_EQ(browser->windowTitle(), QString::fromUtf16(u"浏览 Fuji (扩展包) 型号"));
    EXPECT_EQ(browser->findChild<QLabel*>("lblVersion")->text(),
              QString::fromUtf16(u"版本: v3.2.0"));
    EXPECT_EQ(list->headerItem()->text(0), QString::fromUtf16(u"型号"));
    EXPECT_EQ(list->columnWidth(0), 285);
    EXPECT_EQ(list->columnWidth(1), 75);
    browser->grab().save(ScreenshotPath("model_browser.png"));
}

TEST_F(ModelBrowserTest, BuiltinCaptionAndVersionRules)
{
    Show("[]", "13.2", false);
    EXPECT_EQ(browser->windowTitle(), QString::fromUtf16(u"浏览 Fuji (内置) 型号"));
    EXPECT_EQ(browser->findChild<QLabel*>("lblVersion")->text(),
              QString::fromUtf16(u"版本: v13.2"));
    EXPECT_EQ(List()->count(), 0);
    EXPECT_TRUE(List()->isVisible()) << "an empty list is never hidden";
    EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(ModelBrowserTest, NoModelListClosesAndReports)
{
    Show("", "1.0", true);
    EXPECT_FALSE(browser->isVisible());
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, QString::fromUtf16(u"数据库加载错误！"));
    EXPECT_EQ(prompt.messages[0].style, 16);
    EXPECT_EQ(prompt.messages[0].title, "");
}

TEST_F(ModelBrowserTest, TypeIcons)
{
    EXPECT_EQ(frmModels::TypeIcon("DSLR-H"), 2);
    EXPECT_EQ(frmModels::TypeIcon("DSLR-M"), 3);
    EXPECT_EQ(frmModels::TypeIcon("DSLR-E"), 4);
    EXPECT_EQ(frmModels::TypeIcon("MILC"), 5);
    EXPECT_EQ(frmModels::TypeIcon("COMPACT"), 6);
    EXPECT_EQ(frmModels::TypeIcon("CELL"), 13);
    EXPECT_EQ(frmModels::TypeIcon("milc"), 1) << "callers compare in upper case";
    EXPECT_EQ(frmModels::TypeIcon(""), 1);
}
