// Every fault of the local vendor site during the endpoint, the profile and a
// package download: the window's event loop keeps being serviced (the longest
// gap between two passes is measured), the user sees the message of the step
// that failed, and nothing on disk changes where a download failed.

#include "../unit/catalogue/World.h"
#include "support/LoopGapMeter.h"

#include <cstdio>

namespace {

// What the window may go without servicing its events: every blocking wait
// here would last 300 ms or more, and a loaded machine always meets 100 ms.
constexpr double kLongestGapMs = 100;

TEST_F(WorldTest, SiteFaults_WindowServicedAndNothingDamaged)
{
    DemoWorld();
    catalogue.PingReturn(true);
    ASSERT_TRUE(state.ProfileSynced);
    const QString nikon = Checksums("{nikon@1.2.0}");
    const QString B = "下载配置文件失败！|21|错误", C = "获取用户扩展包信息失败！|21|错误";
    // fault -> message at the endpoint, at the profile; none: only slower
    const std::vector<std::tuple<QString, QString, QString>> faults = {
        {"hang", B, C},        {"close", B, C},       {"status:500", B, C},
        {"truncate:10", C, C}, {"drip:4000", "", ""}, {"delay:300", "", ""}};
    for (const auto& [fault, atEndpoint, atProfile] : faults) {
        for (const QString target : {"/update/", "/kvxta_user_ext_info/", "/hub/"}) {
            const std::string where = (target + "=" + fault).toStdString();
            site = std::make_unique<LocalSite>(root.filePath("site"),
                                               QStringList{target + "=" + fault});
            ASSERT_TRUE(site->IsRunning()) << site->Error().toStdString();
            qputenv("TOVARINTH_VENDOR_URL", site->BaseUrl().toUtf8());
            WriteFile(root.filePath("site/update/tvh_endpoint.txt"), site->BaseUrl().toUtf8());
            state.Hub = site->Url("/hub");
            const QByteArray cache = ReadFile(Path("extcache.cfg"));
            const QString message = target == "/update/" ? atEndpoint : atProfile;
            prompt.answers = {2}; // Cancel
            QDir(Path("Downloads")).removeRecursively();
            QDir(Path("Packages/" + nikon)).removeRecursively();
            LoopGapMeter gaps;
            const bool done = target == "/hub/" ? catalogue.InstallPackage(nikon, false)
                                                : (catalogue.PingReturn(true), state.ProfileSynced);
            std::printf("longest gap %s: %.2f ms\n", where.c_str(), gaps.LongestMs());
            EXPECT_LT(gaps.LongestMs(), kLongestGapMs) << where;
            const bool failed = !message.isEmpty();
            EXPECT_EQ(done, !failed) << where;
            // The sync shows its message; an installation keeps only a whole archive.
            QStringList shown = prompt.Take(), expected = {message};
            if (target == "/hub/")
                shown = QDir(Path("Downloads")).entryList(QDir::Files), expected = {nikon + ".Z"};
            EXPECT_EQ(shown, target == "/hub/" ? (failed ? QStringList() : expected)
                                               : (failed ? expected : QStringList()))
                << where;
            EXPECT_TRUE(!failed || ReadFile(Path("extcache.cfg")) == cache) << where;
        }
    }
}

} // namespace
