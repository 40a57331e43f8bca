// The connectivity probe. Echo requests go to 127.0.0.1 only; the time-out
// is reached through the "no ICMP socket" path, never through another host.

#include "net/cPing.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

struct Report
{
    QString ip;
    bool success;
    int32_t roundTrip;
};

void Record(cPing& ping, std::vector<Report>& reports)
{
    ping.PingReturn = [&reports](QString& ip, bool& success, int32_t& roundTrip) {
        reports.push_back({ip, success, roundTrip});
    };
}

std::vector<unsigned char> Bytes(uint32_t address)
{
    std::vector<unsigned char> bytes(4);
    std::memcpy(bytes.data(), &address, 4);
    return bytes;
}

TEST(PingNormalizeHost, HttpName_BecomesWwwName)
{
    EXPECT_EQ(cPing::NormalizeHost(QStringLiteral("http://kestrovia.example"), true),
              QStringLiteral("www.kestrovia.example"));
    EXPECT_EQ(cPing::NormalizeHost(QStringLiteral("HTTP://Kestrovia.example"), true),
              QStringLiteral("www.Kestrovia.example"));
    EXPECT_EQ(cPing::NormalizeHost(QStringLiteral("Http://kestrovia.example "), true),
              QStringLiteral("www.kestrovia.example"));
}

TEST(PingNormalizeHost, HttpWwwName_LosesOnlyTheScheme)
{
    EXPECT_EQ(cPing::NormalizeHost(QStringLiteral("http://www.kestrovia.example"), true),
              QStringLiteral("www.kestrovia.example"));
    EXPECT_EQ(cPing::NormalizeHost(QStringLiteral("http://WWW.kestrovia.example"), true),
              QStringLiteral("WWW.kestrovia.example"));
}

TEST(PingNormalizeHost, WwwNameOrDottedAddress_Unchanged)
{
    EXPECT_EQ(cPing::NormalizeHost(QStringLiteral("www.kestrovia.example"), true),
              QStringLiteral("www.kestrovia.example"));
    EXPECT_EQ(cPing::NormalizeHost(QStringLiteral("192.168.1.2"), true),
              QStringLiteral("192.168.1.2"));
    EXPECT_EQ(cPing::NormalizeHost(QStringLiteral("192.168.1.2"), false),
              QStringLiteral("192.168.1.2"));
    EXPECT_EQ(cPing::NormalizeHost(QString(), false), QString());
}

TEST(PingAddressFromText, FourNumbers_BytesInMemoryOrder)
{
    EXPECT_EQ(Bytes(cPing::AddressFromText(QStringLiteral("192.168.1.2"))),
              (std::vector<unsigned char>{192, 168, 1, 2}));
    EXPECT_EQ(Bytes(cPing::AddressFromText(QStringLiteral("127.0.0.1"))),
              (std::vector<unsigned char>{127, 0, 0, 1}));
    EXPECT_EQ(Bytes(cPing::AddressFromText(QStringLiteral("256.257.0.511"))),
              (std::vector<unsigned char>{0, 1, 0, 255}));
}

TEST(PingAddressFromText, NotFourWholeNumbers_Zero)
{
    for (const char* text : {"192.168.1", "1.2.3.4.5", "a.b.c.d", "1.2.3.x", "1..2.3", "",
                             "1.2.3.-4", "1.2.3.4 ", "www.kestrovia.example"})
        EXPECT_EQ(cPing::AddressFromText(QString::fromLatin1(text)), 0u) << text;
}

TEST(PingGetIPFromHostName, LoopbackNames_Resolve)
{
    EXPECT_EQ(cPing::GetIPFromHostName(QStringLiteral("127.0.0.1")), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(cPing::GetIPFromHostName(QStringLiteral("localhost")), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(cPing::GetIPFromHostName(QString()), QString());
}

TEST(Ping, NewProbe_TimeoutIs800)
{
    EXPECT_EQ(cPing().PingTimeout(), 800);
}

TEST(Ping, Loopback_AnsweredAndPingReturnRaisedOnce)
{
    if (!cPing::IcmpAvailable())
        GTEST_SKIP() << "this process may not open ICMP sockets";
    cPing ping;
    ping.PingTimeout(2000);
    std::vector<Report> reports;
    Record(ping, reports);
    QString host = QStringLiteral("127.0.0.1");
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(ping.Ping(host), cPing::Answered);
    EXPECT_LT(elapsed.elapsed(), 1000);
    EXPECT_EQ(host, QStringLiteral("127.0.0.1"));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].ip, QStringLiteral("127.0.0.1"));
    EXPECT_TRUE(reports[0].success);
    EXPECT_EQ(reports[0].roundTrip, 0);
}

class PingWithoutSocket : public ::testing::Test
{
protected:
    void SetUp() override { cPing::SetIcmpUnavailableForTests(true); }
    void TearDown() override { cPing::SetIcmpUnavailableForTests(false); }
};

TEST_F(PingWithoutSocket, NothingSent_TimesOutWhileEventLoopRunsAndStillReportsSuccess)
{
    EXPECT_FALSE(cPing::IcmpAvailable());
    cPing ping;
    ping.PingTimeout(300);
    std::vector<Report> reports;
    Record(ping, reports);
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start(10);
    QString host = QStringLiteral("127.0.0.1");
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(ping.Ping(host), cPing::TimedOut);
    const qint64 ms = elapsed.elapsed();
    EXPECT_GE(ms, 299); // a millisecond clock: up to 1 ms short
    EXPECT_LT(ms, 700);
    EXPECT_GE(ticks, 10) << "the event loop was not serviced during the wait";
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].ip, QStringLiteral("127.0.0.1"));
    EXPECT_TRUE(reports[0].success);
    EXPECT_EQ(reports[0].roundTrip, 0);
}

TEST_F(PingWithoutSocket, ZeroOrNegativeTimeout_EndsAfterFirstStep)
{
    cPing ping;
    for (const int32_t timeout : {0, -5}) {
        ping.PingTimeout(timeout);
        QString host = QStringLiteral("127.0.0.1");
        QElapsedTimer elapsed;
        elapsed.start();
        EXPECT_EQ(ping.Ping(host), cPing::TimedOut);
        EXPECT_LT(elapsed.elapsed(), 200);
    }
}

TEST(Ping, UnresolvedEmptyHost_NothingSentTimesOutReportedOnce)
{
    cPing ping;
    ping.PingTimeout(100);
    std::vector<Report> reports;
    Record(ping, reports);
    QString host;
    EXPECT_EQ(ping.Ping(host), cPing::TimedOut);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].ip, QString());
    EXPECT_TRUE(reports[0].success);
}

} // namespace
