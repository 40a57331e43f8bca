// The find fields, the keyboard and installing from a file off line, in the
// real windows over the demo world.

#include "controls/cListView.h"
#include "crypto/MachineKey.h"
#include "unit/catalogue/World.h"
#include "windows/frmMain.h"
#include "windows/frmModels.h"

#include <QAction>
#include <QApplication>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <zip.h>

namespace {

// The lines in sight, in order; keys go to the focused control.
QString Shown(const cListView* list)
{
    QStringList shown;
    for (int row = 0; row < list->count(); ++row)
        if (!list->topLevelItem(row)->isHidden())
            shown << list->ItemText(row, 0).trimmed();
    return shown.join(u'|');
}
void Key(int key, Qt::KeyboardModifiers modifiers = {})
{
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), modifiers);
}

// Every file below folder, relative and sorted.
QStringList Files(const QString& folder)
{
    QStringList files;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
         it.hasNext();)
        files << QDir(folder).relativeFilePath(it.next());
    return files.sort(), files;
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

TEST_F(WorldTest, MainWindowFindKeysAndInstallFromAFileOffLine)
{
    DemoWorld();
    const QString editor = process.ProgramFolder;
    // The browser. Texts as typed, or as an input method commits them (full
    // width, any case, any kind of space or dash: U+3000, U+2010..U+2015,
    // soft hyphen U+00AD, no-break space U+00A0) -> the lines shown; a body's
    // kit lenses stay with it. Enter goes to the first match, Escape brings
    // the whole list back.
    frmModels browser(prompt, "17");
    browser.Models = JsonNode::parse(R"([{"name":"EOS R5","kit_lens":["RF 24-105mm"]},
        {"name":"Z 8"},{"name":"EOS-R50"},{"name":"X‐T5"},{"name":"α7R Ⅳ"},{"name":"ＧＦＸ１００"}])");
    browser.show();
    const cListView* models = browser.findChild<cListView*>();
    ASSERT_TRUE(QTest::qWaitFor([&] { return models->count() == 7 && browser.isActiveWindow(); }));
    Key(Qt::Key_F, Qt::ControlModifier);
    const QString all = "EOS R5|├  RF 24-105mm|Z 8|EOS-R50|X\u2010T5|α7R Ⅳ|ＧＦＸ１００";
    // clang-format off
    const std::pair<QString, QString> typed[] = {
        {"eosr5", "EOS R5|├  RF 24-105mm|EOS-R50"}, {"ｚ８", "Z 8"}, {"ＥＯＳ－ｒ５", "EOS R5|├  RF 24-105mm|EOS-R50"},
        {"x\u2014t5", "X\u2010T5"}, {"\u03917r iv", "α7R Ⅳ"}, {"gfx\u00a0100", "ＧＦＸ１００"}, {"r6", ""},
        {"\u2012 \u3000\u2015", all}, {"e\u00adOS\u2011r\u300050", "EOS-R50"}, {"\r", "EOS-R50"}, {"\x1b", all}};
    // clang-format on
    for (const auto& [keys, shown] : typed) {
        keys[0] < ' ' ? Key(keys == "\r" ? Qt::Key_Return : Qt::Key_Escape)
                      : browser.findChild<QLineEdit*>("txtFind")->setText(keys);
        EXPECT_EQ(Shown(models), shown) << keys.toStdString();
    }
    EXPECT_TRUE(browser.isVisible()) << "Enter went to the first match, Escape cleared the field";
    EXPECT_TRUE(QApplication::focusWidget() == models && models->ItemSelected(3));
    browser.reject();

    auto window = std::make_unique<frmMain>(process, &prompt);
    const auto open = [&](int rows) {
        window->resize(700, 900);
        window->show();
        return QTest::qWaitFor([&] {
            return !window->State().Busy && window->count() == rows && window->isActiveWindow();
        });
    };
    ASSERT_TRUE(open(22));
    auto* list = window->findChild<cListView*>();
    const auto on = [&](int i, bool visible) {
        const QAction* a = window->findChild<QAction*>(QString("mnuContext%1").arg(i));
        return (visible ? a->isVisible() : a->isEnabled()) ? a->text().left(1) : "-";
    };
    window->findChild<QWidget*>("cboType")->setFocus();
    QStringList order;
    for (int i = 0; i < 5; ++i, Key(Qt::Key_Tab))
        order << QApplication::focusWidget()->objectName();
    EXPECT_EQ(order.join(' '), "cboType txtFind lvBody cmdInstall cmdClose");

    // Built-in rows match by the equipment database, installed packages by
    // their models; the others stay. The find outlives a rebuild.
    Key(Qt::Key_F, Qt::ControlModifier);
    window->findChild<QLineEdit*>("txtFind")->insert("ＥＯＳ　ｒ４");
    window->Procedures().RefreshList();
    QCoreApplication::processEvents();
    EXPECT_EQ(Shown(list), "佳能 (内置)|佳能 Canon 2026|尼康 Nikon 2026|索尼 Sony 2026|大疆 "
                           "DJI|徕卡 Leica 2026|松下 Panasonic 2026|奥林巴斯 OM System");
    EXPECT_EQ(window->findChild<QLineEdit*>("txtFind")->placeholderText(), "查找机型");
    // Enter in the field goes to the first row still shown, and a second
    // Enter acts on that row: here a package with no model list on this
    // computer, the first row no built-in body matches.
    Key(Qt::Key_A, Qt::ControlModifier), Key(Qt::Key_Delete);
    window->findChild<QLineEdit*>("txtFind")->insert("zzzz");
    prompt.answers = {MsgAnswer::No};
    Key(Qt::Key_Return);
    EXPECT_TRUE(QApplication::focusWidget() == list) << "Enter stays in the field";
    EXPECT_TRUE(prompt.Take().isEmpty());
    Key(Qt::Key_Return);
    EXPECT_EQ(prompt.Take(), QStringList{"是否安装 尼康 Nikon 2026 型号扩展包？|36|安装扩展包"});
    Key(Qt::Key_F, Qt::ControlModifier);
    Key(Qt::Key_A, Qt::ControlModifier), Key(Qt::Key_Delete);
    EXPECT_EQ(Shown(list).count(u'|'), 21);

    // Keys on a row: the menu it opens (Install, Uninstall, Purchase, Browse) or the questions.
    const std::tuple<int, int, Qt::KeyboardModifiers, QString> keys[] = {
        {21, Qt::Key_Return, {}, "是否安装 奥林巴斯 OM System 型号扩展包？|36|安装扩展包"},
        {15, Qt::Key_Menu, {}, "-卸-浏"},
        {20, Qt::Key_F10, Qt::ShiftModifier, "--购-"},
        {15, Qt::Key_Delete, {}, "是否卸载 富士 Fujifilm 2026 扩展包？|36|卸载扩展包"}};
    for (const auto& [row, key, modifiers, expected] : keys) {
        list->setFocus();
        list->setCurrentItem(list->topLevelItem(row));
        prompt.answers = {MsgAnswer::No};
        Key(key, modifiers);
        QString seen = prompt.Take().join(' ');
        if (auto* menu = window->findChild<QMenu*>("mnuItem"); menu->isVisible())
            seen = on(0, false) + on(1, false) + on(2, true) + on(99, false), menu->hide();
        EXPECT_EQ(seen, expected) << row << " " << key;
    }

    // Off line the window lists the built-in rows and those of the cached
    // catalogue, and says when it was synced. An archive, chosen in the
    // file dialog or dropped, is identified by its checksum name or else by
    // its descriptor, and is installed only for a bought row of the cached
    // catalogue; a refusal leaves the disk as it was.
    site.reset();
    prompt.answers = {MsgAnswer::Cancel};
    window = std::make_unique<frmMain>(process, &prompt);
    ASSERT_TRUE(open(22));
    EXPECT_EQ(prompt.Take(), QStringList{"下载配置文件失败！|21|错误"});
    EXPECT_TRUE(
        window->findChild<QAction*>("button3")->toolTip().startsWith("点击重试\n当前列表为 "));
    const auto hub = [&](const QString& name, const QString& version) {
        return RunVendor({"checksum", name, version}).out.trimmed() + ".Z";
    };
    const QString in = root.filePath("in/");
    const QString nikon = hub("nikon", "1.2.0");
    QDir().mkpath(in);
    MakeZip(in + "pentax.Z", "a/extension.cfg", *EncryptBytes(QByteArray(R"("pentax":[])"), false));
    WriteFile(in + "notes.Z", "not a zip");
    MakeZip(in + "plain.zip", "readme.txt", "no descriptor here");
    MakeZip(in + "hostile.zip", "extension.cfg", editor.toUtf8() + "/Update/equipdb.cfg", 0120777);
    MakeZip(in + "absolute.zip", "/extension.cfg", "a name from the root");
    // A zip archive whose offsets are off by what was lost at its head.
    WriteFile(in + "cut.zip", ReadFile(root.filePath("site/hub/" + nikon)).mid(10));
    const QString dji = root.filePath("site/hub/" + hub("dji", "1.0.0"));
    for (const QByteArray& name : {hub("sony", "3.1.2"), hub("nikon", "1.1.0")})
        QFile::copy(root.filePath("site/hub/" + nikon), in + name);
    QFile::copy(dji, in + "dji.ZIP"), QFile::copy(dji, in + "pentax-models.z");
    const QString ask =
        "无法从文件确认版本，将作为 1.0.0 版本安装 大疆 DJI 扩展包，是否继续？|36|安装扩展包";
    // The file changes while the question shows: the copy taken before is installed.
    QString chosen;
    prompt.onMessage = [&] {
        if (prompt.messages.back().text + "|36|安装扩展包" == ask)
            WriteFile(chosen, "changed");
    };
    const QString unsafe = "扩展包文件已损坏或含有不安全的内容，未安装！|48|提醒";
    // clang-format off
    const std::tuple<QString, QStringList, QString, QString> files[] = {
        // file, messages, archive installed, world: answer No, Downloads a file
        {"in/notes.Z", {"所选文件不是扩展包压缩文件！|48|提醒"}, "", ""},
        {"in/plain.zip", {"所选文件中没有扩展包描述文件！|48|提醒"}, "", ""}, {"in/hostile.zip", {unsafe}, "", ""},
        {"in/cut.zip", {unsafe}, "", ""}, {"in/absolute.zip", {unsafe}, "", ""},
        {"in/" + hub("sony", "3.1.2"), {"所选文件不是 索尼 Sony 2026 扩展包！|48|提醒"}, "", ""},
        {"in/" + hub("nikon", "1.1.0"), {"所选文件为 1.1.0 版本的 尼康 Nikon 2026 扩展包，当前账户的版本为 1.2.0，未安装！|48|提醒"}, "", ""},
        {"in/pentax.Z", {"当前账户的扩展包列表中没有 pentax 扩展包！|48|提醒"}, "", ""},
        {"site/hub/" + hub("panasonic", "1.1.0"), {"当前尚未购买 松下 Panasonic 2026 扩展包，无法安装！|48|提醒"}, "", ""},
        {"site/hub/" + hub("leica", "1.0.1"), {"徕卡 Leica 2026 扩展包的订单正在处理中，请稍后重试！|48|提醒"}, "", ""},
        {"site/hub/" + nikon, {"无法写入程序目录，请检查磁盘空间和权限！|16|错误"}, "", "file"},
        {"site/hub/" + nikon, {"成功安装 尼康 Nikon 2026 扩展包！|64|提示"}, nikon, ""},
        {"site/hub/" + nikon, {"已安装此版本的 尼康 Nikon 2026 扩展包！|48|提醒"}, "", ""}, {"in/dji.ZIP", {ask}, "", "no"},
        {"in/pentax-models.z", {ask, "成功安装 大疆 DJI 扩展包！|64|提示"}, hub("dji", "1.0.0"), ""}};
    // clang-format on
    for (const auto& [file, messages, archive, world] : files) {
        const QString downloads = editor + "/Downloads", away = root.filePath("away");
        if (world == "file") // as a folder that cannot be written, also for root
            QFile::rename(downloads, away), WriteFile(downloads, "");
        QStringList expected = Files(editor)
                               << "Downloads/" + archive
                               << "Packages/" + archive.section(u'.', 0, 0) + "/extension.cfg";
        expected = archive.isEmpty() ? Files(editor) : (expected.sort(), expected);
        chosen = root.filePath(file);
        const QByteArray bytes = ReadFile(chosen);
        prompt.files = {chosen};
        prompt.answers = {world == "no" ? MsgAnswer::No : MsgAnswer::Yes};
        QMimeData dropped;
        dropped.setUrls({QUrl::fromLocalFile(root.filePath(file))});
        QDropEvent drop(QPointF(9, 9), Qt::CopyAction, &dropped, Qt::LeftButton, {});
        file.endsWith(".Z") ? window->findChild<QAction*>("mnuContext21")->trigger()
                            : void(static_cast<QObject*>(window.get())->event(&drop));
        QTest::qWait(20);
        EXPECT_EQ(prompt.Take(), messages) << file.toStdString();
        EXPECT_EQ(Files(editor), expected) << file.toStdString();
        EXPECT_TRUE(archive.isEmpty() || ReadFile(downloads + "/" + archive) == bytes)
            << file.toStdString();
        if (world == "file")
            QFile::remove(downloads), QFile::rename(away, downloads);
    }
    EXPECT_EQ(prompt.fileDialogs.first(), "从文件安装扩展包|扩展包 (*.Z *.z *.zip *.ZIP)");
    EXPECT_EQ(window->count(), 22) << "the cached catalogue is listed";

    // A large file dropped by mistake: the copy shows as a download does, the
    // window answers meanwhile, and a click on 取消 stops it without a word,
    // leaving nothing behind.
    QFile large(in + "photos.zip");
    ASSERT_TRUE(large.open(QIODevice::WriteOnly) && large.resize(qint64{128} << 20));
    large.close();
    const QStringList before = Files(editor);
    auto* line = window->findChild<QLabel*>("lblProgress");
    auto* cancel = window->findChild<QPushButton*>("cmdCancel");
    QString seen;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!seen.isEmpty() || !line->isVisible() || !cancel->isEnabled())
            return;
        seen = line->text();
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                          cancel->mapTo(window.get(), cancel->rect().center()));
    });
    watch.start(1);
    QMimeData dropped;
    dropped.setUrls({QUrl::fromLocalFile(large.fileName())});
    QDropEvent drop(QPointF(9, 9), Qt::CopyAction, &dropped, Qt::LeftButton, {});
    static_cast<QObject*>(window.get())->event(&drop);
    QTest::qWait(20);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->Procedures().WorkRunning(); }));
    EXPECT_TRUE(QRegularExpression(
                    "^复制 photos\\.zip [\\d.]+ (KB|MB) / 128\\.0 MB · [\\d.]+ (KB|MB|GB)/s$")
                    .match(seen)
                    .hasMatch())
        << seen.toStdString();
    EXPECT_EQ(prompt.Take(), QStringList());
    EXPECT_EQ(Files(editor), before);
    EXPECT_FALSE(line->isVisible() || cancel->isVisible());
}
