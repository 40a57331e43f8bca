#include "net/VendorUrl.h"

#include "net/mInternet.h"

#include <gtest/gtest.h>

namespace {

class VendorUrlTest : public ::testing::Test
{
protected:
    void TearDown() override { qunsetenv("TOVARINTH_VENDOR_URL"); }
};

TEST_F(VendorUrlTest, NoEnvironment_BuiltInAddress)
{
    qunsetenv("TOVARINTH_VENDOR_URL");
    QString expected = QStringLiteral(TOVARINTH_DEFAULT_VENDOR_URL);
    while (expected.endsWith(QLatin1Char('/')))
        expected.chop(1);
    EXPECT_EQ(VendorUrl(), expected);
}

TEST_F(VendorUrlTest, EnvironmentWithTrailingSlashes_SlashesRemoved)
{
    qputenv("TOVARINTH_VENDOR_URL", "http://127.0.0.1:8123//");
    EXPECT_EQ(VendorUrl(), QStringLiteral("http://127.0.0.1:8123"));
    EXPECT_EQ(DefaultUpdateUrl(), QStringLiteral("http://127.0.0.1:8123/update/"));
    EXPECT_EQ(PurchasePageUrl(), QStringLiteral("http://127.0.0.1:8123/login?"));
    EXPECT_EQ(VendorHost(), QStringLiteral("127.0.0.1"));
}

TEST_F(VendorUrlTest, EmptyEnvironment_BuiltInAddress)
{
    qputenv("TOVARINTH_VENDOR_URL", "");
    EXPECT_EQ(VendorUrl(), QStringLiteral(TOVARINTH_DEFAULT_VENDOR_URL));
}

TEST_F(VendorUrlTest, HostName_WithoutSchemeAndPort)
{
    qputenv("TOVARINTH_VENDOR_URL", "http://www.kestrovia.example:8080");
    EXPECT_EQ(VendorHost(), QStringLiteral("www.kestrovia.example"));
}

} // namespace

namespace {

class ConnectedStateTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        qunsetenv("TOVARINTH_VENDOR_URL");
        mInternet::SetConnectedStateForTests(std::nullopt);
    }
};

TEST_F(ConnectedStateTest, VendorSiteOnThisComputer_ConnectedWithoutNetwork)
{
    for (const char* url : {"http://127.0.0.1:8123", "http://localhost:9/"}) {
        qputenv("TOVARINTH_VENDOR_URL", url);
        EXPECT_TRUE(mInternet::InternetGetConnectedState()) << url;
    }
}

TEST_F(ConnectedStateTest, Seam_OverridesTheSystemBothWays)
{
    qputenv("TOVARINTH_VENDOR_URL", "http://127.0.0.1:8123");
    mInternet::SetConnectedStateForTests(false);
    EXPECT_FALSE(mInternet::InternetGetConnectedState());
    mInternet::SetConnectedStateForTests(true);
    qputenv("TOVARINTH_VENDOR_URL", "http://www.kestrovia.example");
    EXPECT_TRUE(mInternet::InternetGetConnectedState());
}

} // namespace
