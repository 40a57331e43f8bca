// tovarinth-vendor serve: what the site answers, what it logs, its faults.

#include "support/LocalSite.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// curl's status code and body for url (curl -s: no progress; exit code kept).
struct Fetched
{
    int exitCode;
    QByteArray status;
    QByteArray body;
};

Fetched Fetch(const QString& url, const QString& workDir)
{
    const QString bodyFile = workDir + "/fetched.bin";
    QFile::remove(bodyFile);
    const ProcessResult r =
        RunProcess(QStringLiteral("curl"),
                   {QStringLiteral("-s"), QStringLiteral("-m"), QStringLiteral("5"),
                    QStringLiteral("-A"), QStringLiteral("test-agent/1"), QStringLiteral("-o"),
                    bodyFile, QStringLiteral("-w"), QStringLiteral("%{http_code}"), url});
    return {r.exitCode, r.out, ReadFile(bodyFile)};
}

class VendorServeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root_.isValid());
        QDir(root_.path()).mkpath(QStringLiteral("update"));
        QDir(root_.path()).mkpath(QStringLiteral("kvxta_user_ext_info"));
        QDir(root_.path()).mkpath(QStringLiteral("hub"));
        WriteFile(root_.path() + "/update/tvh_endpoint.txt", "http://127.0.0.1:9");
        WriteFile(root_.path() + "/kvxta_user_ext_info/alice", "{\"profile\":\"alice\"}");
        WriteFile(root_.path() + "/hub/pack.Z", PseudoRandomBytes(1000, 9));
        WriteFile(root_.path() + "/../outside.txt", "secret");
    }
    QTemporaryDir root_;
    QTemporaryDir work_;
};

TEST_F(VendorServeTest, Files_ServedAsTheyAre)
{
    LocalSite site(root_.path());
    ASSERT_TRUE(site.IsRunning()) << site.Error().toStdString();
    Fetched f = Fetch(site.Url("/update/tvh_endpoint.txt"), work_.path());
    EXPECT_EQ(f.status, "200");
    EXPECT_EQ(f.body, QByteArray("http://127.0.0.1:9"));
    f = Fetch(site.Url("/hub/pack.Z"), work_.path());
    EXPECT_EQ(Hex(f.body), Hex(PseudoRandomBytes(1000, 9)));
    EXPECT_EQ(Fetch(site.Url("/hub/none.Z"), work_.path()).status, "404");
    EXPECT_EQ(Fetch(site.Url("/hub"), work_.path()).status, "404");
}

TEST_F(VendorServeTest, Profile_ChosenByQueryKeyU)
{
    LocalSite site(root_.path());
    ASSERT_TRUE(site.IsRunning()) << site.Error().toStdString();
    Fetched f = Fetch(site.Url("/kvxta_user_ext_info/?u=alice&s=AB12&t=1700000000&a=TVH0180"),
                      work_.path());
    EXPECT_EQ(f.status, "200");
    EXPECT_EQ(f.body, QByteArray("{\"profile\":\"alice\"}"));
    EXPECT_EQ(Fetch(site.Url("/kvxta_user_ext_info/?u=bob"), work_.path()).status, "404");
    EXPECT_EQ(Fetch(site.Url("/kvxta_user_ext_info/?s=1"), work_.path()).status, "404");
    EXPECT_EQ(Fetch(site.Url("/kvxta_user_ext_info/?u=.."), work_.path()).status, "404");
}

TEST_F(VendorServeTest, PathOutsideRoot_NotServed)
{
    LocalSite site(root_.path());
    ASSERT_TRUE(site.IsRunning());
    const ProcessResult r =
        RunProcess(QStringLiteral("curl"),
                   {QStringLiteral("-s"), QStringLiteral("--path-as-is"), QStringLiteral("-w"),
                    QStringLiteral(" %{http_code}"), site.Url("/../outside.txt")});
    EXPECT_EQ(r.out.right(3), QByteArray("404"));
    EXPECT_FALSE(r.out.contains("secret"));
}

TEST_F(VendorServeTest, EveryRequest_LoggedWithPathQueryAndAgent)
{
    LocalSite site(root_.path());
    ASSERT_TRUE(site.IsRunning());
    Fetch(site.Url("/kvxta_user_ext_info/?u=alice&s=1"), work_.path());
    Fetch(site.Url("/missing"), work_.path());
    EXPECT_EQ(site.LogLines(),
              (QStringList{QStringLiteral("GET /kvxta_user_ext_info/?u=alice&s=1 test-agent/1"),
                           QStringLiteral("GET /missing test-agent/1")}));
}

TEST_F(VendorServeTest, Faults_AppliedByPrefixFirstMatchWins)
{
    LocalSite site(root_.path(),
                   {QStringLiteral("/hub/=status:503"), QStringLiteral("/hub/=hang"),
                    QStringLiteral("/update/=truncate:5"), QStringLiteral("/kvxta=close")});
    ASSERT_TRUE(site.IsRunning()) << site.Error().toStdString();
    Fetched f = Fetch(site.Url("/hub/pack.Z"), work_.path());
    EXPECT_EQ(f.status, "503");
    EXPECT_TRUE(f.body.contains("503 Service Unavailable"));
    f = Fetch(site.Url("/update/tvh_endpoint.txt"), work_.path());
    EXPECT_EQ(f.exitCode, 18); // curl: partial file
    EXPECT_EQ(f.body, QByteArray("http:"));
    f = Fetch(site.Url("/kvxta_user_ext_info/?u=alice"), work_.path());
    EXPECT_EQ(f.exitCode, 52); // curl: empty reply
}

TEST_F(VendorServeTest, HangForAll_NoAnswerUntilClientGivesUp)
{
    LocalSite site(root_.path(), {QStringLiteral("*=hang")});
    ASSERT_TRUE(site.IsRunning());
    const ProcessResult r =
        RunProcess(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-m"),
                                            QStringLiteral("0.5"), site.Url("/hub/pack.Z")});
    EXPECT_EQ(r.exitCode, 28); // curl: operation timed out
}

TEST_F(VendorServeTest, BadArguments_ExitCode2WithMessage)
{
    ProcessResult r = RunVendor({QStringLiteral("serve"), QStringLiteral("--root"), root_.path(),
                                 QStringLiteral("--port"), QStringLiteral("0"),
                                 QStringLiteral("--fault"), QStringLiteral("/x=explode")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err,
              QByteArray("tovarinth-vendor: fault \"/x=explode\": unknown mode \"explode\"\n"));
    r = RunVendor({QStringLiteral("serve"), QStringLiteral("--port"), QStringLiteral("0")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, QByteArray("tovarinth-vendor: serve needs --root DIR and --port P\n"));
    r = RunVendor({QStringLiteral("--help")});
    EXPECT_TRUE(r.out.contains("serve --root DIR --port P"));
}

} // namespace
