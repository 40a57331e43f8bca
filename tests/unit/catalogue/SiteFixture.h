#pragma once

#include "CatalogueFixture.h"
#include "support/LocalSite.h"

#include <QFile>
#include <memory>

// The catalogue beside a local vendor site whose folder the test fills: the
// hub with package archives made by the vendor tool, the endpoint file and
// the profiles.
class SiteTest : public CatalogueTest
{
protected:
    void SetUp() override
    {
        CatalogueTest::SetUp();
        QDir().mkpath(SiteRoot() + "/hub");
        QDir().mkpath(SiteRoot() + "/update");
        QDir().mkpath(SiteRoot() + "/kvxta_user_ext_info");
    }
    void TearDown() override
    {
        site.reset();
        qunsetenv("TOVARINTH_VENDOR_URL");
    }

    QString SiteRoot() const { return root.filePath("site"); }

    void StartSite(const QStringList& faults = {})
    {
        site = std::make_unique<LocalSite>(SiteRoot(), faults);
        ASSERT_TRUE(site->IsRunning()) << site->Error().toStdString();
        qputenv("TOVARINTH_VENDOR_URL", site->BaseUrl().toUtf8());
        state.Hub = site->Url("/hub");
    }

    // Packs a package into the hub; the checksum the tool printed.
    QString Pack(const QString& name, const QString& version,
                 const QByteArray& models = R"([{"name":"M1"},{"name":"M2"}])",
                 const QStringList& extra = {})
    {
        const QString modelsPath = root.filePath(name + "-models.json");
        EXPECT_TRUE(WriteFile(modelsPath, models));
        const ProcessResult packed =
            RunVendor(QStringList{"pack", "--name", name, "--version", version, "--models",
                                  modelsPath, "--out", SiteRoot() + "/hub"} +
                      extra);
        EXPECT_EQ(packed.exitCode, 0) << packed.err.toStdString();
        return QString::fromLatin1(packed.out.trimmed());
    }

    // One catalogue row for the package.
    ExtensionEntry& AddRow(const QString& name, const QString& version, const QString& checksum)
    {
        ExtensionEntry row;
        row.Name = name;
        row.Display = name + " pack";
        row.Version = version;
        row.Checksum = checksum;
        row.IsExtension = true;
        row.Status = PendingDownload;
        state.Entries.push_back(row);
        view.rows.emplace_back();
        return state.Entries.back();
    }

    QStringList Requests(const QString& containing) const
    {
        return site->LogLines().filter(containing);
    }

    std::unique_ptr<LocalSite> site;
};
