// The connectivity probe and the vendor's address it probes. Echo requests go
// to 127.0.0.1 only; the time-out is reached through the "no ICMP socket"
// path, never through another host.

#include "net/VendorUrl.h"
#include "net/cPing.h"
#include "net/mInternet.h"
#include "support/LoopGapMeter.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

namespace {

// Text -> NormalizeHost with nameOnly true, AddressFromText's bytes in memory.
TEST(Ping, HostTexts_WwwNamesAndAddressBytes)
{
    // clang-format off
    const char* rows[][3] = {{"HTTP://a.example ", "www.a.example", "0.0.0.0"},
        {"http://www.a.b", "www.a.b", "0.0.0.0"}, {"192.168.1.2", "192.168.1.2", "192.168.1.2"},
        {"256.257.0.511", "256.257.0.511", "0.1.0.255"}, {"192.168.1", "192.168.1", "0.0.0.0"},
        {"1.2.3.x", "1.2.3.x", "0.0.0.0"}, {"1..2.3", "1..2.3", "0.0.0.0"}};
    // clang-format on
    for (const auto& [text, name, inMemory] : rows) {
        const uint32_t address = cPing::AddressFromText(text);
        const auto* b = reinterpret_cast<const uint8_t*>(&address);
        EXPECT_EQ(cPing::NormalizeHost(text, true), name) << text;
        EXPECT_EQ(QString("%1.%2.%3.%4").arg(b[0]).arg(b[1]).arg(b[2]).arg(b[3]), inMemory) << text;
    }
    EXPECT_EQ(cPing::NormalizeHost("192.168.1.2", false), "192.168.1.2");
    EXPECT_EQ(cPing::GetIPFromHostName("localhost"), "127.0.0.1");
}

// PingReturn comes once, before Ping returns, with success and no round-trip
// time whatever the outcome. Without an ICMP socket nothing is sent and the
// wait runs into PingTimeout with the event loop serviced; an empty (not
// resolved) host is never sent to either.
TEST(Ping, Outcomes_ReportedOnceAsIssued)
{
    EXPECT_EQ(cPing().PingTimeout(), 800);
    // clang-format off
    const std::tuple<bool, const char*, int32_t, int32_t> rows[] = { // ICMP, host, time-out, outcome
        {false, "127.0.0.1", 300, cPing::TimedOut}, {false, "127.0.0.1", 0, cPing::TimedOut},
        {false, "127.0.0.1", -5, cPing::TimedOut}, {true, "", 100, cPing::TimedOut},
        {true, "127.0.0.1", 2000, cPing::Answered}};
    // clang-format on
    for (const auto& [icmp, host, timeout, outcome] : rows) {
        cPing::SetIcmpUnavailableForTests(!icmp);
        if (icmp && !cPing::IcmpAvailable())
            continue; // this process may not open ICMP sockets
        cPing ping;
        ping.PingTimeout(timeout);
        QStringList reports;
        ping.PingReturn = [&reports](QString& ip, bool& success, int32_t& roundTrip) {
            reports << QString("%1 %2 %3").arg(ip).arg(success).arg(roundTrip);
        };
        QString probed = host;
        LoopGapMeter gaps;
        EXPECT_EQ(ping.Ping(probed), outcome) << host << timeout;
        const qint64 ms = gaps.ElapsedMs();
        EXPECT_TRUE(ms >= timeout - 1 || outcome == cPing::Answered) << ms; // a ms clock
        EXPECT_LT(ms, std::max(timeout, 0) + 400);
        QCoreApplication::processEvents();
        EXPECT_LT(gaps.LongestMs(), 100) << "the event loop was not serviced";
        EXPECT_EQ(reports, QStringList{QString(host) + " 1 0"});
    }
    cPing::SetIcmpUnavailableForTests(false);
}

// TOVARINTH_VENDOR_URL -> the vendor's address and the host the probe pings.
TEST(VendorUrl, Environment_ReplacesTheBuiltInAddress)
{
    // clang-format off
    const char* rows[][3] = {{nullptr, "http://www.kestrovia.example", "www.kestrovia.example"},
        {"", "http://www.kestrovia.example", "www.kestrovia.example"},
        {" http://127.0.0.1:8123// ", "http://127.0.0.1:8123", "127.0.0.1"}};
    // clang-format on
    for (const auto& [env, url, host] : rows) {
        env ? qputenv("TOVARINTH_VENDOR_URL", env) : qunsetenv("TOVARINTH_VENDOR_URL");
        EXPECT_EQ(VendorUrl() + " " + DefaultUpdateUrl() + " " + PurchasePageUrl() + " " +
                      VendorHost(),
                  QString("%1 %1/update/ %1/login? %2").arg(url, host));
    }
    // A site on this computer counts as a connection without any network.
    EXPECT_TRUE(mInternet::InternetGetConnectedState());
    qunsetenv("TOVARINTH_VENDOR_URL");
}

} // namespace
