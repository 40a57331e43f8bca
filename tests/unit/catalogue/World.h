#pragma once

#include "catalogue/Catalogue.h"
#include "startup/Settings.h"
#include "support/FakeView.h"
#include "support/LocalSite.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

// One world per test, made by the vendor tool: the editor's folder, which
// also holds the manager, the site's folder, a settings store of its own, and
// the catalogue over a recording view and a scripted prompt.
class WorldTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        process.ProgramFolder = process.EditorFolder = root.filePath("editor");
        process.EditorPath = Path("Kestrovia.exe");
        process.UserName = "alice.photo";
        process.ScrollBarWidth = "17";
        QDir().mkpath(Path("Update")), QDir().mkpath(root.filePath("site/hub"));
        QFile::remove(qEnvironmentVariable("XDG_CONFIG_HOME") + "/Kestrovia/Kestrovia.ini");
    }
    QString Path(const QString& name) const { return process.ProgramFolder + "/" + name; }
    QString Vendor(const QStringList& args)
    {
        const ProcessResult run = RunVendor(args);
        EXPECT_EQ(run.exitCode, 0) << args.join(' ').toStdString() << run.err.toStdString();
        return QString::fromUtf8(run.out.trimmed());
    }
    // A file as the vendor enciphers it: extdb.cfg under the machine key.
    void Encrypt(const QString& name, const QByteArray& plain)
    {
        QDir().mkpath(QFileInfo(Path(name)).path()), WriteFile(root.filePath("plain"), plain);
        Vendor({"encrypt", "--key", name == "extdb.cfg" ? "machine" : "builtin",
                root.filePath("plain"), Path(name)});
    }
    // Every "{name@version}" in text replaced by the checksum that proves it.
    QString Checksums(QString text)
    {
        const QRegularExpression braced("\\{([^{}]*)@([^@{}]*)\\}");
        for (auto m = braced.match(text); m.hasMatch(); m = braced.match(text))
            text.replace(m.captured(0), Vendor({"checksum", m.captured(1), m.captured(2)}));
        return text;
    }
    // The account's catalogue cache; packages as "name version order count
    // [checksum]", by default the checksum that proves them.
    void Cache(const QStringList& packages)
    {
        QStringList items;
        for (const QString& p : packages) {
            const QString proof =
                p.section(' ', 0, 0) + "@" + NormalizeVersion(p.section(' ', 1, 1));
            const QStringList f = (p + " {" + proof + "}").split(' ');
            items << QString(R"({"name":"%1","display":"%1 pack","version":"%2","status":"%3",)"
                             R"("count":%4,"checksum":"%5"})")
                         .arg(f[0], f[1], f[2], f[3], Checksums(f[4]));
        }
        Encrypt("extcache.cfg", QString(R"({"id":"alice.photo","hub":"%1/hub/","extensions":[%2]})")
                                    .arg(site ? site->BaseUrl() : "h", items.join(','))
                                    .toUtf8());
    }
    void StartSite(const QStringList& faults = {})
    {
        site = std::make_unique<LocalSite>(root.filePath("site"), faults);
        ASSERT_TRUE(site->IsRunning()) << site->Error().toStdString();
        qputenv("TOVARINTH_VENDOR_URL", site->BaseUrl().toUtf8());
    }
    // The vendor tool's demo world on the site; the manager in its editor's folder.
    void DemoWorld(const QStringList& faults = {})
    {
        StartSite(faults);
        process.UserName = Vendor({"demo-world", "--data", TOVARINTH_DEMO_DATA, "--world",
                                   root.path(), "--url", site->BaseUrl()});
    }
    QString Setting(const QString& key) { return Settings::Read(Settings::Tovarinth, key, "-"); }
    // The status of every row, then the installed-version setting of key.
    QString Tags(const QString& key)
    {
        QString tags;
        for (const FakeView::Row& row : view.rows)
            tags += QString::number(row.tag) + " ";
        return tags + Setting(key);
    }

    QTemporaryDir root;
    ProcessValues process;
    MainState state;
    FakeView view;
    ScriptedPrompt prompt;
    Catalogue catalogue{state, view, prompt, process};
    std::unique_ptr<LocalSite> site;
};
