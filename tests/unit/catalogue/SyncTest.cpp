#include "SiteFixture.h"
#include "net/mInternet.h"

#include <QElapsedTimer>

class SyncTest : public SiteTest
{
protected:
    void SetUp() override
    {
        SiteTest::SetUp();
        WriteEquipDb(kSmallEquipDb);
        Settings::Write(Settings::AppInfo, "UserName", process.UserName);
        Settings::Write(Settings::AppInfo, "EditorVersion", "2.1.0.1316");
    }
    void TearDown() override
    {
        mInternet::SetConnectedStateForTests(std::nullopt);
        SiteTest::TearDown();
    }
    void Endpoint(const QByteArray& text)
    {
        ASSERT_TRUE(WriteFile(SiteRoot() + "/update/tvh_endpoint.txt", text));
    }
    void ProfileOnSite(const QByteArray& json)
    {
        ASSERT_TRUE(WriteFile(SiteRoot() + "/kvxta_user_ext_info/" + process.UserName, json));
    }
    QString Cache() const { return process.ProgramFolder + "/extcache.cfg"; }
    void ExpectRetryMessage(const QString& text)
    {
        ASSERT_EQ(prompt.messages.size(), 1u);
        EXPECT_EQ(prompt.messages[0].text, text);
        EXPECT_EQ(prompt.messages[0].style, 21);
        EXPECT_EQ(prompt.messages[0].title, QString::fromUtf16(u"错误"));
    }
};

TEST_F(SyncTest, AcceptedProfileReplacesCacheAndShowsRows)
{
    StartSite();
    Endpoint(site->BaseUrl().toUtf8());
    const QByteArray profile =
        Profile("alice.photo", {Package("nikon", "2.1", "OK", "3")}, site->Url("/hub/"));
    ProfileOnSite(profile);
    WriteCache(Profile("alice.photo", {Package("old", "1.0", "OK", "1")}));
    catalogue.PingReturn(true);
    EXPECT_TRUE(prompt.messages.empty());
    EXPECT_TRUE(state.ProfileSynced);
    EXPECT_FALSE(state.Busy);
    EXPECT_EQ(state.Endpoint, site->BaseUrl());
    EXPECT_EQ(*ReadEnvelopeFile(Cache(), false),
              profile + QByteArray((16 - profile.size() % 16) % 16, '\0'));
    EXPECT_FALSE(QFile::exists(process.ProgramFolder + "/extcache.tmp")) << "moved into place";
    ASSERT_EQ(view.rows.size(), 5u);
    EXPECT_EQ(view.rows[4].text, " nikon pack");
    EXPECT_TRUE(view.syncVisible[2]) << "synced";

    // What the server saw: the profile request and the user agent.
    const QStringList requests = Requests("/kvxta_user_ext_info/");
    ASSERT_EQ(requests.size(), 1);
    const QString expected = "/kvxta_user_ext_info/?u=alice.photo&s=" + GetMachineID() + "&t=";
    EXPECT_TRUE(requests[0].contains(expected)) << requests[0].toStdString();
    EXPECT_TRUE(requests[0].contains("&a=TVH0180")) << requests[0].toStdString();
    EXPECT_TRUE(requests[0].contains("Ksvro/2.1.0.1316 (alice.photo)"))
        << requests[0].toStdString();
}

TEST_F(SyncTest, EndpointNotStartingWithHttpGivesMessageB)
{
    StartSite();
    WriteCache(Profile("alice.photo", {Package("nikon", "2.1", "OK", "3")}));
    const QByteArray before = ReadFile(Cache());
    for (const QByteArray& endpoint : {QByteArray("HTTP://x"), QByteArray("\xEF\xBB\xBFhttp://x"),
                                       QByteArray(" http://x"), QByteArray()}) {
        prompt.messages.clear();
        Endpoint(endpoint);
        prompt.answers = {MsgAnswer::Cancel};
        QElapsedTimer elapsed;
        elapsed.start();
        catalogue.PingReturn(true);
        EXPECT_LT(elapsed.elapsed(), 2000) << endpoint.toStdString();
        ExpectRetryMessage(QString::fromUtf16(u"下载配置文件失败！"));
        EXPECT_FALSE(state.ProfileSynced);
        EXPECT_EQ(view.rows.size(), 4u) << "built-in rows only";
        EXPECT_TRUE(view.syncVisible[3]) << "the retry button";
        EXPECT_EQ(view.checkOnlineEnabled, 0) << "Cancel does nothing more";
    }
    EXPECT_EQ(ReadFile(Cache()), before);
}

TEST_F(SyncTest, RejectedProfilesKeepTheCacheAndShowMessageC)
{
    StartSite();
    Endpoint(site->BaseUrl().toUtf8());
    WriteCache(Profile("alice.photo", {Package("nikon", "2.1", "OK", "3")}));
    const QByteArray before = ReadFile(Cache());
    const std::pair<QByteArray, QString> cases[] = {
        {R"({"code":403,"message":"账户已过期","extensions":[]})",
         QString::fromUtf16(u"[403] 账户已过期")},
        {R"({"code":"E1","message":"no extensions"})", "[E1] no extensions"},
        {R"({"message":"no code"})", QString::fromUtf16(u"获取用户扩展包信息失败！")},
        {"<html>not json</html>", QString::fromUtf16(u"获取用户扩展包信息失败！")},
        {"", QString::fromUtf16(u"获取用户扩展包信息失败！")},
    };
    for (const auto& [profile, message] : cases) {
        prompt.messages.clear();
        ProfileOnSite(profile);
        prompt.answers = {MsgAnswer::Retry};
        const int enabled = view.checkOnlineEnabled;
        catalogue.PingReturn(true);
        ExpectRetryMessage(message);
        EXPECT_FALSE(state.ProfileSynced);
        EXPECT_EQ(ReadFile(Cache()), before) << profile.toStdString();
        EXPECT_EQ(view.checkOnlineEnabled, enabled + 1) << "Retry turns the online check on again";
        if (!profile.isEmpty()) {
            EXPECT_TRUE(QFile::exists(process.ProgramFolder + "/extcache.tmp"))
                << "left for the next request";
        }
    }
}

TEST_F(SyncTest, SiteDownGivesMessageBWithinTheConnectionTimeout)
{
    StartSite({"*=close"});
    Endpoint("http://x");
    QElapsedTimer elapsed;
    elapsed.start();
    catalogue.PingReturn(true);
    EXPECT_LT(elapsed.elapsed(), 6000);
    ExpectRetryMessage(QString::fromUtf16(u"下载配置文件失败！"));
    EXPECT_EQ(view.rows.size(), 4u);
}

TEST_F(SyncTest, ProbeFailureGivesMessageAAndKeepsSyncState)
{
    StartSite();
    state.ProfileSynced = true;
    WriteCache(Profile("alice.photo", {Package("nikon", "2.1", "OK", "3")}));
    catalogue.LoadExtensionCache();
    prompt.answers = {MsgAnswer::Cancel};
    catalogue.PingReturn(false);
    ExpectRetryMessage(QString::fromUtf16(u"服务器无响应！"));
    EXPECT_TRUE(state.ProfileSynced);
    EXPECT_EQ(view.rows.size(), 5u) << "a sync succeeded before: the list stays as it was";
    EXPECT_TRUE(Requests("/").isEmpty());
}

TEST_F(SyncTest, OnlineCheckProbesThenSyncs)
{
    StartSite();
    Endpoint(site->BaseUrl().toUtf8());
    ProfileOnSite(Profile("alice.photo", {Package("nikon", "2.1", "OK", "3")}, site->Url("/hub/")));
    catalogue.CheckOnline();
    EXPECT_TRUE(prompt.messages.empty());
    EXPECT_TRUE(state.ProfileSynced);
    EXPECT_FALSE(state.Busy);
    EXPECT_EQ(view.rows.size(), 5u);
}

TEST_F(SyncTest, OfflineAsksRetryOrCancel)
{
    mInternet::SetConnectedStateForTests(false);
    prompt.answers = {MsgAnswer::Retry};
    catalogue.CheckOnline();
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text,
              QString::fromUtf16(
                  u"无法连接到 "
                  u"Internet！请确保当前计算机已经连接到互联网，并且防火墙处于放行状态，然后重试"));
    EXPECT_EQ(prompt.messages[0].style, 21);
    EXPECT_TRUE(state.Busy) << "Retry keeps the work going";
    EXPECT_EQ(view.checkOnlineEnabled, 1);

    prompt.answers = {MsgAnswer::Cancel};
    catalogue.CheckOnline();
    EXPECT_FALSE(state.Busy);
    EXPECT_EQ(view.rows.size(), 4u) << "local data only";
    EXPECT_EQ(view.checkOnlineEnabled, 1);

    process.UserName.clear();
    prompt.messages.clear();
    catalogue.CheckOnline();
    EXPECT_TRUE(prompt.messages.empty()) << "an empty account name ends the check at once";
}
