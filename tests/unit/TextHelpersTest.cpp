#include "startup/TextHelpers.h"

#include "startup/Errors.h"
#include "startup/FileIo.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>
#include <clocale>
#include <cmath>
#include <gtest/gtest.h>

// QApplication takes LC_NUMERIC from the environment, and de_DE reads a decimal
// comma: every case holds in the C locale and in de_DE.
TEST(TextHelpers, CasesHoldInTheCAndADecimalCommaLocale)
{
    QTemporaryDir locales;
    const QStringList localedef{"-i", "de_DE", "-f", "UTF-8", locales.filePath("de_DE.UTF-8")};
    ASSERT_EQ(RunProcess("localedef", localedef).exitCode, 0);
    qputenv("LOCPATH", locales.path().toLocal8Bit());
    const auto U16 = [](const char16_t* text, qsizetype size = -1) {
        return QString::fromUtf16(text, size);
    };
    for (const char* locale : {"C", "de_DE.UTF-8"}) {
        ASSERT_TRUE(std::setlocale(LC_NUMERIC, locale)) << locale;
        const auto n = [](const QString& text) { return QString::number(TextToNumber(text)); };
        const auto r = [](double value) { return QString::number(RoundToInt32(value)); };
        const auto hex = [](const QString& text) { return StringToUtf8(text)->toHex().toUpper(); };
        // clang-format off
        const std::pair<QString, QString> cases[] = {
            {PadLeft("180", 4, "0"), "0180"}, {PadLeft("12345", 4, "0"), "12345"},
            {PadLeft("7", 4, "0x"), "0007"}, {TrimSpaces("  a b  "), "a b"}, {TrimNull("a"), "a"},
            {TrimNull(U16(u"\0a", 2)), ""}, {TrimNull(U16(u"ab\0c\0", 5)), "ab"},
            // Only U+0020 is a space here: tabs, line breaks, U+3000 and U+00A0 stay.
            {TrimSpaces(U16(u" \t\u3000a\u00A0\r\n ")), U16(u"\t\u3000a\u00A0\r\n")},
            {Utf8ToString(QByteArray("abc\0\0\0", 6)), U16(u"abc\0\0\0", 6)},
            {Utf8ToString(QByteArray()), ""}, {Utf8ToString("a\xFF\x62"), U16(u"a\uFFFDb")},
            {Utf8ToString("\xEF\xBB\xBFx"), QChar(0xFEFF) + QString("x")},
            {hex(U16(u"\u4E2D")), "E4B8AD"}, {hex(U16(u"\xD83D\xDCF7")), "F09F93B7"},
            // An unpaired surrogate becomes U+FFFD, as the platform's converter writes it.
            {hex(U16(u"a\xD83D\x62")), "61EFBFBD62"}, {hex(U16(u"\xDCF7")), "EFBFBD"},
            {hex(U16(u"\xDCF7\xD83D")), "EFBFBDEFBFBD"}, {hex(U16(u"x\xD83D")), "78EFBFBD"},
            {n("1.2.0"), "1.2"}, {n("2.10.1"), "2.1"}, {n("35"), "35"}, {n(""), "0"},
            {n(" 1 2 . 5x"), "12.5"}, {n("-3.5e2abc"), "-350"}, {n("1e"), "1"}, {n("1e+"), "1"},
            {n("2E-1"), "0.2"}, {n("--1"), "0"}, {n("."), "0"}, {n("1e999"), "inf"}, {n("+7"), "7"},
            {n("1e-999"), "0"}, {n("5e000000000000000001"), "50"}, {n(QString(10000, u'9')), "inf"},
            {n("0." + QString(10000, u'0') + "1"), "0"},
            // A name may begin with a separator, a folder end in one.
            {JoinPath("a", "/b"), "a/b"}, {JoinPath("a/", "\\b"), "a/b"},
            {JoinPath("a", "/\\/c/d"), "a/c/d"}, {JoinPath("a", "b"), "a/b"},
            // RoundToInt32 halves to even; outside the 32-bit range it fails to 0.
            {r(2.5), "2"}, {r(-3.5), "-4"}, {r(2147483646.5), "2147483646"}, {r(NAN), "0"},
            {r(2147483647), "2147483647"}, {r(2147483647.5), "0"}, {r(2147483648), "0"},
            {r(-2147483648.5), "-2147483648"}, {r(-2147483649), "0"}, {r(-INFINITY), "0"}};
        // clang-format on
        for (size_t i = 0; i < std::size(cases); ++i)
            EXPECT_EQ(cases[i].first, cases[i].second) << locale << ", case " << i;
    }
    EXPECT_STREQ(std::localeconv()->decimal_point, ",") << "the locale must read a comma";
    std::setlocale(LC_NUMERIC, "C");
    qunsetenv("LOCPATH");
    const QString mixed = U16(u"佳能 EOS R5 \u00e9\xD83D\xDCF7\0x", 15);
    EXPECT_EQ(Utf8ToString(StringToUtf8(mixed)), mixed);
    EXPECT_THROW(Utf8ToString(std::nullopt), RaisedError);
    EXPECT_TRUE(IsArrayEmpty(std::nullopt) && !IsArrayEmpty(QByteArray()) && !StringToUtf8(""));
    EXPECT_NEAR(UnixTimeNow().toLongLong(), QDateTime::currentSecsSinceEpoch(), 2);
    EXPECT_EQ(DateToUnixTime(QDateTime()), "");
}
