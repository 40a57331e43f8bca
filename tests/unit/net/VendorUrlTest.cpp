#include "net/VendorUrl.h"

#include "net/mInternet.h"

#include <gtest/gtest.h>

namespace {

// TOVARINTH_VENDOR_URL -> the vendor's address, update folder, purchase page,
// probed host, and whether a connection counts as up without any network.
TEST(VendorUrl, Environment_ReplacesTheBuiltInAddress)
{
    const char* rows[][6] = {
        {nullptr, "http://www.kestrovia.example", "http://www.kestrovia.example/update/",
         "http://www.kestrovia.example/login?", "www.kestrovia.example", ""},
        {"", "http://www.kestrovia.example", "http://www.kestrovia.example/update/",
         "http://www.kestrovia.example/login?", "www.kestrovia.example", ""},
        {" http://127.0.0.1:8123// ", "http://127.0.0.1:8123", "http://127.0.0.1:8123/update/",
         "http://127.0.0.1:8123/login?", "127.0.0.1", "up"},
        {"http://localhost:9/", "http://localhost:9", "http://localhost:9/update/",
         "http://localhost:9/login?", "localhost", "up"},
        {"https://shop.example:8080", "https://shop.example:8080",
         "https://shop.example:8080/update/", "https://shop.example:8080/login?", "shop.example",
         ""},
    };
    for (const auto& [env, url, update, purchase, host, up] : rows) {
        env ? qputenv("TOVARINTH_VENDOR_URL", env) : qunsetenv("TOVARINTH_VENDOR_URL");
        EXPECT_EQ(VendorUrl(), url);
        EXPECT_EQ(DefaultUpdateUrl(), update);
        EXPECT_EQ(PurchasePageUrl(), purchase);
        EXPECT_EQ(VendorHost(), host);
        EXPECT_TRUE(!*up || mInternet::InternetGetConnectedState()) << "a site on this computer";
    }
    qunsetenv("TOVARINTH_VENDOR_URL");
}

} // namespace
