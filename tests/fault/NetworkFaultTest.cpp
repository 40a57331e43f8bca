// Every fault of the local vendor site during the endpoint, the profile and a
// package download: the window's event loop keeps being serviced (the
// longest gap between two services is measured) and nothing on disk changes
// where a download failed.

#include "../unit/catalogue/SiteFixture.h"
#include "support/LoopGapMeter.h"

#include <cstdio>

namespace {

constexpr qint64 kLongestGapMs = 20; // what the window may go without servicing its events

const QStringList kFaults{"hang", "close", "status:500", "truncate:10", "drip:4000", "delay:300"};

} // namespace

class NetworkFaultTest : public SiteTest
{
protected:
    void SetUp() override
    {
        SiteTest::SetUp();
        WriteEquipDb(kSmallEquipDb);
        ASSERT_TRUE(WriteFile(
            SiteRoot() + "/kvxta_user_ext_info/alice.photo",
            Profile("alice.photo", {Package("nikon", "2.1", "OK", "3")}, "http://h/hub")));
        WriteCache(Profile("alice.photo", {Package("old", "1.0", "OK", "1")}));
    }
    void Endpoint()
    {
        ASSERT_TRUE(WriteFile(SiteRoot() + "/update/tvh_endpoint.txt", site->BaseUrl().toUtf8()));
    }
    QByteArray Cache() const { return ReadFile(process.ProgramFolder + "/extcache.cfg"); }
};

TEST_F(NetworkFaultTest, EndpointAndProfileFaults_KeepCacheAndWindowResponsive)
{
    const QByteArray before = Cache();
    for (const QString& target : {QString("/update/"), QString("/kvxta_user_ext_info/")}) {
        for (const QString& fault : kFaults) {
            const std::string where = (target + "=" + fault).toStdString();
            StartSite({target + "=" + fault});
            Endpoint();
            prompt.messages.clear();
            prompt.answers = {MsgAnswer::Cancel};
            LoopGapMeter gaps;
            catalogue.PingReturn(true);
            std::printf("longest gap %s: %.2f ms\n", where.c_str(), gaps.LongestMs());
            EXPECT_LT(gaps.LongestMs(), kLongestGapMs) << where;
            // A drip or a delay only slows the answer down: the sync succeeds.
            const bool slowOnly = fault.startsWith("drip") || fault.startsWith("delay");
            EXPECT_EQ(state.ProfileSynced, slowOnly) << where;
            if (!slowOnly) {
                ASSERT_EQ(prompt.messages.size(), 1u) << where;
                EXPECT_EQ(prompt.messages[0].style, 21) << where;
                EXPECT_EQ(Cache(), before) << where;
                EXPECT_EQ(view.rows.size(), 4u) << where;
            } else {
                WriteCache(Profile("alice.photo", {Package("old", "1.0", "OK", "1")}));
            }
            site.reset();
        }
    }
}

TEST_F(NetworkFaultTest, PackageDownloadFaults_LeaveNothingAndWindowResponsive)
{
    const QString c = Pack("nikon", "2.1.0", QByteArray("[") + QByteArray(30000, ' ') + "]");
    for (const QString& fault : kFaults) {
        const std::string where = fault.toStdString();
        StartSite({"/hub/=" + fault});
        ExtensionEntry row;
        row.Name = "nikon";
        row.Version = "2.1.0";
        row.Checksum = c;
        row.IsExtension = true;
        state.Entries = {row};
        QDir(process.ProgramFolder + "/Downloads").removeRecursively();
        LoopGapMeter gaps;
        const bool installed = catalogue.InstallPackage(c, false);
        std::printf("longest gap /hub/=%s: %.2f ms\n", where.c_str(), gaps.LongestMs());
        EXPECT_LT(gaps.LongestMs(), kLongestGapMs) << where;
        const bool slowOnly = fault.startsWith("drip") || fault.startsWith("delay");
        EXPECT_EQ(installed, slowOnly) << where;
        if (!slowOnly) {
            EXPECT_TRUE(QDir(process.ProgramFolder + "/Downloads").isEmpty()) << where;
            EXPECT_FALSE(QFile::exists(catalogue.DescriptorPath(c))) << where;
        } else {
            QDir(process.ProgramFolder + "/Packages").removeRecursively();
        }
        site.reset();
    }
}
