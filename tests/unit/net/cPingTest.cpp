// The connectivity probe. Echo requests go to 127.0.0.1 only; the time-out
// is reached through the "no ICMP socket" path, never through another host.

#include "net/cPing.h"

#include "support/LoopGapMeter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstring>
#include <gtest/gtest.h>

namespace {

TEST(Ping, NormalizeHost_HttpNamesBecomeWwwNamesAddressesStay)
{
    // clang-format off
    const char* rows[][3] = { // host, with nameOnly true, with nameOnly false (when not resolved)
        {"http://kestrovia.example", "www.kestrovia.example", nullptr},
        {"HTTP://Kestrovia.example", "www.Kestrovia.example", nullptr},
        {"Http://kestrovia.example ", "www.kestrovia.example", nullptr},
        {"http://www.kestrovia.example", "www.kestrovia.example", nullptr},
        {"http://WWW.kestrovia.example", "WWW.kestrovia.example", nullptr},
        {"www.kestrovia.example", "www.kestrovia.example", nullptr},
        {"192.168.1.2", "192.168.1.2", "192.168.1.2"}, {"", "", ""}};
    // clang-format on
    for (const auto& [host, name, address] : rows) {
        EXPECT_EQ(cPing::NormalizeHost(host, true), name) << host;
        if (address) {
            EXPECT_EQ(cPing::NormalizeHost(host, false), address) << host;
        }
    }
    EXPECT_EQ(cPing::GetIPFromHostName("localhost"), "127.0.0.1");
    EXPECT_EQ(cPing::GetIPFromHostName("127.0.0.1"), "127.0.0.1");
}

TEST(Ping, AddressFromText_FourWholeNumbersModulo256ElseZero)
{
    // clang-format off
    const char* rows[][2] = {{"192.168.1.2", "192.168.1.2"}, {"256.257.0.511", "0.1.0.255"},
        {"192.168.1", "0.0.0.0"}, {"1.2.3.4.5", "0.0.0.0"}, {"a.b.c.d", "0.0.0.0"},
        {"1..2.3", "0.0.0.0"}, {"1.2.3.-4", "0.0.0.0"}, {"1.2.3.4 ", "0.0.0.0"}, {"", "0.0.0.0"}};
    // clang-format on
    for (const auto& [text, inMemory] : rows) {
        const uint32_t address = cPing::AddressFromText(text);
        uint8_t b[4];
        std::memcpy(b, &address, 4);
        EXPECT_EQ(QString("%1.%2.%3.%4").arg(b[0]).arg(b[1]).arg(b[2]).arg(b[3]), inMemory) << text;
    }
}

TEST(Ping, NoIcmpSocket_WaitsPingTimeoutWithTheLoopServicedAndReportsOnce)
{
    EXPECT_EQ(cPing().PingTimeout(), 800);
    cPing::SetIcmpUnavailableForTests(true);
    for (const int32_t timeout : {300, 0, -5}) {
        cPing ping;
        ping.PingTimeout(timeout);
        QStringList reports;
        ping.PingReturn = [&reports](QString& ip, bool& success, int32_t& roundTrip) {
            reports << QString("%1 %2 %3").arg(ip).arg(success).arg(roundTrip);
        };
        QString host = "127.0.0.1";
        QElapsedTimer elapsed;
        elapsed.start();
        LoopGapMeter gaps;
        EXPECT_EQ(ping.Ping(host), cPing::TimedOut);
        EXPECT_GE(elapsed.elapsed(), timeout - 1); // a millisecond clock: up to 1 ms short
        EXPECT_LT(elapsed.elapsed(), std::max(timeout, 0) + 400);
        QCoreApplication::processEvents();
        EXPECT_LT(gaps.LongestMs(), 100) << "the event loop was not serviced";
        EXPECT_EQ(reports, QStringList{"127.0.0.1 1 0"});
    }
    cPing::SetIcmpUnavailableForTests(false);
}

TEST(Ping, Loopback_AnsweredOnceWithSuccessAndNoRoundTrip)
{
    if (!cPing::IcmpAvailable())
        GTEST_SKIP() << "this process may not open ICMP sockets";
    for (QString host : {"127.0.0.1", ""}) {
        cPing ping;
        ping.PingTimeout(host.isEmpty() ? 100 : 2000);
        int reports = 0;
        ping.PingReturn = [&](QString& ip, bool& success, int32_t& roundTrip) {
            EXPECT_EQ(ip, host);
            EXPECT_TRUE(success);
            EXPECT_EQ(roundTrip, 0);
            ++reports;
        };
        // An unresolved (empty) host is never sent to: it runs into the time-out.
        EXPECT_EQ(ping.Ping(host), host.isEmpty() ? cPing::TimedOut : cPing::Answered);
        EXPECT_EQ(reports, 1);
    }
}

} // namespace
