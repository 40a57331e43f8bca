// Installing a package from a file, off line, and finding a camera, in the
// demo world made by the vendor tool.

#include "World.h"
#include "catalogue/ModelFilter.h"
#include "catalogue/cPackageImport.h"

#include <QDirIterator>
#include <zip.h>

namespace {

// Every file below folder, relative and sorted.
QStringList Files(const QString& folder)
{
    QStringList files;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
         it.hasNext();)
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

// A zip archive of one member made by libzip; a link when mode says so.
void MakeZip(const QString& path, const QByteArray& name, const QByteArray& data, int mode = 0)
{
    zip_t* za = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE, nullptr);
    zip_file_add(za, name.constData(), zip_source_buffer(za, data.constData(), data.size(), 0), 0);
    zip_file_set_external_attributes(za, 0, 0, ZIP_OPSYS_UNIX, uint32_t(mode) << 16);
    ASSERT_EQ(zip_close(za), 0);
}

} // namespace

TEST(ModelFilter, FoldedNamesMatchAndKitLensesStayWithTheirBody)
{
    ModelFilter filter;
    filter.AddBody("EOS R5", 1);
    filter.AddBody("Z 8", 0);
    filter.AddBody("EOS-R50", 2);
    const std::pair<QString, QString> cases[] = {
        {"eosr5", "110111"}, {"EOS r5", "110111"}, {"z8", "001000"}, {"Z-8", "001000"},
        {"r50", "000111"},   {"z9", "000000"},     {"", "111111"},   {" - ", "111111"}};
    for (const auto& [text, expected] : cases) {
        QString shown;
        for (const bool visible : filter.VisibleLines(text))
            shown += visible ? u'1' : u'0';
        EXPECT_EQ(shown, expected) << text.toStdString();
    }
}

TEST_F(WorldTest, FindShowsRowsWithAMatchingBodyAndPackagesWithoutModelsHere)
{
    DemoWorld();
    catalogue.PingReturn(true); // the sync stores the catalogue and lists it
    const std::pair<QString, QString> cases[] = {
        {"eosr4", "canon canon+ nikon+ sony+ dji+ leica+ panasonic+ olympus+"},
        {"X-T83", "fuji+ nikon+ sony+ dji+ leica+ panasonic+ olympus+"},
        {"", "canon nikon sony fuji olympus panasonic pentax casio leica ricoh samsung apple "
             "huawei hasselblad canon+ fuji+ nikon+ sony+ dji+ leica+ panasonic+ olympus+"}};
    for (const auto& [text, expected] : cases) {
        QStringList shown;
        for (int row = 0; row < view.count(); ++row)
            if (RowMatchesFind(state, row, text))
                shown << state.Entries[row].Name + (state.Entries[row].IsExtension ? "+" : "");
        EXPECT_EQ(shown.join(' '), expected) << text.toStdString();
    }
}

TEST_F(WorldTest, InstallFromFileOffLine)
{
    DemoWorld();
    const QString pentax = Pack("pentax", "1.0"), in = root.filePath("in/");
    catalogue.PingReturn(true);
    site.reset(); // off line from here: the window starts with the built-in rows only
    catalogue.LoadLocalDatabases();
    state.CatalogueLoaded = false;
    state.EditorBuild = kMinimumEditorBuild;
    const auto hub = [&](const QString& package) {
        return root.filePath("site/hub/" + Checksums("{" + package + "}") + ".Z");
    };
    QDir().mkpath(in);
    WriteFile(in + "notes.Z", "not a zip");
    MakeZip(in + "plain.zip", "readme.txt", "no descriptor here");
    MakeZip(in + "hostile.zip", "extension.cfg",
            root.filePath("editor/Update/equipdb.cfg").toUtf8(),
            0120777); // a link to the editor's database
    QFile::copy(hub("nikon@1.2.0"), in + Checksums("{sony@3.1.2}.Z"));
    QFile::copy(hub("dji@1.0.0"), in + "pentax-models.zip");
    struct Case
    {
        QString file, message, installed; // installed: name@version
    } cases[] = {
        {in + "notes.Z", "所选文件不是扩展包压缩文件！|48|提醒", ""},
        {in + "plain.zip", "所选文件中没有扩展包描述文件！|48|提醒", ""},
        {in + "hostile.zip", "扩展包文件已损坏或含有不安全的内容，未安装！|48|提醒", ""},
        {in + Checksums("{sony@3.1.2}.Z"), "所选文件不是 索尼 Sony 2026 扩展包！|48|提醒", ""},
        {root.filePath("site/hub/" + pentax + ".Z"),
         "当前账户的扩展包列表中没有 pentax 扩展包！|48|提醒", ""},
        {hub("panasonic@1.1.0"), "当前尚未购买 松下 Panasonic 2026 扩展包，无法安装！|48|提醒", ""},
        {hub("leica@1.0.1"), "徕卡 Leica 2026 扩展包的订单正在处理中，请稍后重试！|48|提醒", ""},
        {hub("fuji@2.0.0"), "已安装此版本的 富士 Fujifilm 2026 扩展包！|48|提醒", ""},
        {hub("nikon@1.2.0"), "成功安装 尼康 Nikon 2026 扩展包！|64|提示", "nikon@1.2.0"},
        {in + "pentax-models.zip", "成功安装 大疆 DJI 扩展包！|64|提示", "dji@1.0.0"},
    };
    for (const Case& c : cases) {
        QStringList expected = Files(process.ProgramFolder);
        if (!c.installed.isEmpty()) {
            const QString checksum = Checksums("{" + c.installed + "}");
            expected << "Downloads/" + checksum + ".Z"
                     << "Packages/" + checksum + "/extension.cfg";
            expected.sort();
        }
        cPackageImport(catalogue).InstallFromFile(c.file);
        EXPECT_EQ(prompt.Take(), QStringList{c.message}) << c.file.toStdString();
        EXPECT_EQ(Files(process.ProgramFolder), expected) << c.file.toStdString();
        if (!c.installed.isEmpty()) {
            EXPECT_EQ(Setting(c.installed.section('@', 0, 0)), c.installed.section('@', 1));
        }
    }
}
