#include "startup/TextHelpers.h"

#include "startup/Errors.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>
#include <clocale>
#include <cmath>
#include <gtest/gtest.h>

namespace {
QString U16(const char16_t* text, qsizetype size = -1)
{
    return QString::fromUtf16(text, size);
}
QString Utf8Hex(const QString& text)
{
    const ByteArray bytes = StringToUtf8(text);
    return bytes ? QString::fromLatin1(bytes->toHex().toUpper()) : "no storage";
}
} // namespace

TEST(TextHelpers, PaddingTrimmingAndUtf8)
{
    // clang-format off
    const std::pair<QString, QString> cases[] = {
        {PadLeft("180", 4, "0"), "0180"}, {PadLeft("12345", 4, "0"), "12345"},
        {PadLeft("7", 4, "0x"), "0007"}, {TrimNull("abc"), "abc"}, {TrimNull(U16(u"\0abc", 4)), ""},
        {TrimNull(U16(u"ab\0c\0", 5)), "ab"}, {TrimSpaces("  a b  "), "a b"},
        // Only U+0020 is a space here: tabs, line breaks, U+3000 and U+00A0 stay.
        {TrimSpaces(U16(u" \t\u3000a\u00A0\r\n ")), U16(u"\t\u3000a\u00A0\r\n")},
        {Utf8ToString(QByteArray("abc\0\0\0", 6)), U16(u"abc\0\0\0", 6)},
        {Utf8ToString(QByteArray()), ""}, {Utf8ToString("\xEF\xBB\xBFx"), QChar(0xFEFF) + QString("x")},
        {Utf8ToString("a\xFF\x62"), U16(u"a\uFFFDb")}, {Utf8Hex(""), "no storage"},
        {Utf8Hex(U16(u"\u4E2D")), "E4B8AD"}, {Utf8Hex(U16(u"\xD83D\xDCF7")), "F09F93B7"},
        // An unpaired surrogate becomes U+FFFD, as the platform's converter writes it.
        {Utf8Hex(U16(u"a\xD83D\x62")), "61EFBFBD62"}, {Utf8Hex(U16(u"\xDCF7")), "EFBFBD"},
        {Utf8Hex(U16(u"\xDCF7\xD83D")), "EFBFBDEFBFBD"}, {Utf8Hex(U16(u"x\xD83D")), "78EFBFBD"}};
    // clang-format on
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i;
    const QString mixed = U16(u"佳能 EOS R5 \u00e9\xD83D\xDCF7\0x", 15);
    EXPECT_EQ(Utf8ToString(StringToUtf8(mixed)), mixed);
    EXPECT_THROW(Utf8ToString(std::nullopt), RaisedError);
    EXPECT_TRUE(IsArrayEmpty(std::nullopt));
    EXPECT_FALSE(IsArrayEmpty(QByteArray()));
}

// QApplication takes LC_NUMERIC from the environment; de_DE reads a decimal comma.
TEST(TextHelpers, NumbersAreReadTheSameInADecimalCommaLocaleAndRoundToInt32)
{
    const double inf = INFINITY;
    // clang-format off
    const std::pair<QString, double> cases[] = {
        {"1.2.0", 1.2}, {"2.10.1", 2.1}, {"35", 35}, {"", 0}, {" 1 2 . 5x", 12.5}, {"+7", 7},
        {"-3.5e2abc", -350}, {"1e", 1}, {"1e+", 1}, {"2E-1", 0.2}, {"--1", 0}, {".", 0}, {"abc", 0},
        {"1e999", inf}, {"1e-999", 0}, {"5e0000000000000000001", 50}, {QString(10000, u'9'), inf},
        {"0." + QString(10000, u'0') + "1", 0}};
    // clang-format on
    QTemporaryDir locales;
    const ProcessResult made =
        RunProcess("localedef", {"-i", "de_DE", "-f", "UTF-8", locales.filePath("de_DE.UTF-8")});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    qputenv("LOCPATH", locales.path().toLocal8Bit());
    for (const char* locale : {"C", "de_DE.UTF-8"}) {
        ASSERT_TRUE(std::setlocale(LC_NUMERIC, locale)) << locale;
        for (const auto& [text, want] : cases)
            EXPECT_EQ(TextToNumber(text), want) << locale << ": " << text.left(20).toStdString();
    }
    EXPECT_STREQ(std::localeconv()->decimal_point, ",") << "the locale must read a comma";
    std::setlocale(LC_NUMERIC, "C");
    qunsetenv("LOCPATH");

    // RoundToInt32 halves to even; outside the 32-bit range it fails to 0.
    // clang-format off
    const std::pair<double, int32_t> rounded[] = {
        {2.5, 2}, {3.5, 4}, {-2.5, -2}, {1315.6, 1316}, {2147483646.5, 2147483646},
        {2147483647, INT32_MAX}, {2147483647.5, 0}, {2147483648, 0}, {-2147483648, INT32_MIN},
        {-2147483648.5, INT32_MIN}, {-2147483649, 0}, {1e300, 0}, {-INFINITY, 0}, {NAN, 0}};
    // clang-format on
    for (const auto& [value, want] : rounded)
        EXPECT_EQ(RoundToInt32(value), want) << std::fixed << value;
}

TEST(TextHelpers, DateToUnixTimeFollowsTheZonesRules)
{
    // Europe/Berlin jumps from CET to CEST at 02:00 on 2026-03-29.
    // clang-format off
    const std::tuple<const char*, QDateTime, QString> cases[] = {
        {"Asia/Shanghai", QDateTime({1970, 1, 1}, {8, 0}), "0"}, {"Europe/Berlin", QDateTime(), ""},
        {"Europe/Berlin", QDateTime({2026, 3, 29}, {1, 59, 59}), "1774745999"},
        {"Europe/Berlin", QDateTime({2026, 3, 29}, {3, 0}), "1774746000"}};
    // clang-format on
    for (const auto& [zone, time, want] : cases) {
        qputenv("TZ", zone);
        tzset();
        EXPECT_EQ(DateToUnixTime(time), want) << zone << " " << time.toString().toStdString();
    }
    qunsetenv("TZ");
    tzset();
    EXPECT_NEAR(UnixTimeNow().toLongLong(), QDateTime::currentSecsSinceEpoch(), 2);
}
