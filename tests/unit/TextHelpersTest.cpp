#include "startup/TextHelpers.h"

#include "startup/Errors.h"
#include "support/TestSupport.h"

#include <QDate>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

TEST(PadLeft, PadsShortTextWithFirstFillCharacterAndNeverCuts)
{
    EXPECT_EQ(PadLeft("180", 4, "0"), "0180");
    EXPECT_EQ(PadLeft("12345", 4, "0"), "12345");
    EXPECT_EQ(PadLeft("7", 4, "0x"), "0007");
    EXPECT_EQ(PadLeft("", 3, "*"), "***");
    EXPECT_EQ(PadLeft("1234", 4, "0"), "1234");
}

TEST(TrimNull, CutsAtFirstNul)
{
    EXPECT_EQ(TrimNull("abc"), "abc");
    EXPECT_EQ(TrimNull(QString::fromUtf16(u"\0abc", 4)), "");
    EXPECT_EQ(TrimNull(QString::fromUtf16(u"ab\0c\0", 5)), "ab");
}

TEST(IsArrayEmpty, NoStorageDiffersFromNoBytes)
{
    EXPECT_TRUE(IsArrayEmpty(std::nullopt));
    EXPECT_FALSE(IsArrayEmpty(QByteArray()));
    EXPECT_FALSE(IsArrayEmpty(QByteArray(3, '\0')));
}

TEST(Utf8, DecodingKeepsNulsAndRejectsNoStorage)
{
    const QString text = Utf8ToString(QByteArray("abc\0\0\0", 6));
    ASSERT_EQ(text.size(), 6);
    EXPECT_EQ(text.left(3), "abc");
    EXPECT_EQ(text.at(5), QChar(0));
    EXPECT_EQ(Utf8ToString(QByteArray()), "");
    EXPECT_THROW(Utf8ToString(std::nullopt), RaisedError);
    EXPECT_EQ(Utf8ToString(QByteArray("\xEF\xBB\xBFhttp")), QString(QChar(0xFEFF)) + "http")
        << "the BOM stays";
    // Malformed input decodes instead of failing.
    EXPECT_EQ(Utf8ToString(QByteArray("a\xFF"
                                      "b")),
              QString::fromUtf16(u"a\uFFFDb"));
}

TEST(Utf8, EncodingCountsBytesAndRoundTrips)
{
    EXPECT_FALSE(StringToUtf8("").has_value());
    EXPECT_EQ(StringToUtf8(QString::fromUtf16(u"中"))->size(), 3);
    const QString astral = QString::fromUcs4(U"\U0001F4F7");
    ASSERT_EQ(astral.size(), 2);
    EXPECT_EQ(StringToUtf8(astral)->size(), 4);
    const QString mixed = QString::fromUtf16(u"佳能 EOS R5 — \u00e9") + astral + QChar(0) + "x";
    EXPECT_EQ(Utf8ToString(StringToUtf8(mixed)), mixed);
}

TEST(TextToNumber, ReadsLeadingDecimalNumber)
{
    EXPECT_DOUBLE_EQ(TextToNumber("1.2.0"), 1.2);
    EXPECT_DOUBLE_EQ(TextToNumber("2.10.1"), 2.1);
    EXPECT_DOUBLE_EQ(TextToNumber("35"), 35);
    EXPECT_DOUBLE_EQ(TextToNumber(""), 0);
    EXPECT_DOUBLE_EQ(TextToNumber(" 1 2 . 5x"), 12.5);
    EXPECT_DOUBLE_EQ(TextToNumber("-3.5e2abc"), -350);
    EXPECT_DOUBLE_EQ(TextToNumber("+7"), 7);
    EXPECT_DOUBLE_EQ(TextToNumber("1e"), 1);
    EXPECT_DOUBLE_EQ(TextToNumber("1e+"), 1);
    EXPECT_DOUBLE_EQ(TextToNumber("2E-1"), 0.2);
    EXPECT_DOUBLE_EQ(TextToNumber("1.1316"), 1.1316);
    EXPECT_LT(TextToNumber("1.10"), TextToNumber("1.9"));
    EXPECT_EQ(TextToNumber("1.2.0"), TextToNumber("1.2.5"));
}

TEST(TextToNumber, HostileInputNeverThrows)
{
    EXPECT_DOUBLE_EQ(TextToNumber("--1"), 0);
    EXPECT_DOUBLE_EQ(TextToNumber("."), 0);
    EXPECT_DOUBLE_EQ(TextToNumber("abc"), 0);
    EXPECT_TRUE(std::isinf(TextToNumber("1e999")));
    EXPECT_DOUBLE_EQ(TextToNumber("1e-999"), 0);
    EXPECT_DOUBLE_EQ(TextToNumber("5e0000000000000000001"), 50);
    const QString huge(10000, u'9');
    EXPECT_TRUE(std::isinf(TextToNumber(huge)));
    EXPECT_DOUBLE_EQ(TextToNumber("0." + QString(10000, u'0') + "1"), 0);
}

TEST(RoundToInt32, HalvesToEvenAndClamps)
{
    EXPECT_EQ(RoundToInt32(2.5), 2);
    EXPECT_EQ(RoundToInt32(3.5), 4);
    EXPECT_EQ(RoundToInt32(-2.5), -2);
    EXPECT_EQ(RoundToInt32(1315.6), 1316);
    EXPECT_EQ(RoundToInt32(1e300), INT32_MAX);
    EXPECT_EQ(RoundToInt32(-INFINITY), INT32_MIN);
    EXPECT_EQ(RoundToInt32(NAN), 0);
}

namespace {
// Switches the process's time zone for one test.
class TimeZoneScope
{
public:
    explicit TimeZoneScope(const char* zone)
    {
        const char* old = std::getenv("TZ");
        hadOld_ = old != nullptr;
        if (hadOld_)
            old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZoneScope()
    {
        if (hadOld_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool hadOld_ = false;
    std::string old_;
};

QDateTime Local(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}
} // namespace

TEST(DateToUnixTime, ConvertsInUtcPlus8)
{
    TimeZoneScope zone("Asia/Shanghai");
    EXPECT_EQ(DateToUnixTime(Local(1970, 1, 1, 8, 0, 0)), "0");
    EXPECT_EQ(DateToUnixTime(Local(2026, 12, 6, 8, 0, 0)), "1796515200");
    EXPECT_EQ(DateToUnixTime(Local(1970, 1, 1, 7, 59, 59)), "-1");
}

TEST(DateToUnixTime, HonoursDaylightSavingAroundTransition)
{
    TimeZoneScope zone("Europe/Berlin");
    // 2026-03-29 02:00 CET jumps to 03:00 CEST (01:00 UTC).
    EXPECT_EQ(DateToUnixTime(Local(2026, 3, 29, 1, 59, 59)), "1774745999"); // 00:59:59 UTC
    EXPECT_EQ(DateToUnixTime(Local(2026, 3, 29, 3, 0, 0)), "1774746000");   // 01:00:00 UTC
    // Summer: UTC+2; winter: UTC+1.
    EXPECT_EQ(DateToUnixTime(Local(2026, 7, 1, 12, 0, 0)), "1782900000");
    EXPECT_EQ(DateToUnixTime(Local(2026, 1, 1, 12, 0, 0)), "1767265200");
}

TEST(DateToUnixTime, InvalidDateGivesEmptyText)
{
    EXPECT_EQ(DateToUnixTime(QDateTime()), "");
    EXPECT_FALSE(UnixTimeNow().isEmpty());
    EXPECT_NEAR(UnixTimeNow().toLongLong(), std::time(nullptr), 2);
}
