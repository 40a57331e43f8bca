#include "TextHelpers.h"

#include "Errors.h"

#include <QStringDecoder>
#include <QTimeZone>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

QString PadLeft(const QString& text, int32_t n, const QString& fill)
{
    if (text.size() >= n || fill.isEmpty())
        return text;
    return QString(n - text.size(), fill.at(0)) + text;
}

QString TrimNull(const QString& text)
{
    const qsizetype at = text.indexOf(QChar(0));
    return at < 0 ? text : text.left(at);
}

bool IsArrayEmpty(const ByteArray& bytes)
{
    return !bytes.has_value();
}

QString DateToUnixTime(const QDateTime& localTime)
{
    if (!localTime.isValid())
        return {};
    const QDateTime local(localTime.date(), localTime.time(), Qt::LocalTime);
    if (!local.isValid())
        return {};
    const qint64 ms = local.toMSecsSinceEpoch();
    // Whole seconds, rounded half away from zero as the date arithmetic does.
    const qint64 secs = static_cast<qint64>(std::llround(static_cast<double>(ms) / 1000.0));
    return QString::number(secs);
}

QString UnixTimeNow()
{
    return DateToUnixTime(QDateTime::currentDateTime());
}

QString Utf8ToString(const ByteArray& bytes)
{
    if (!bytes)
        throw RaisedError(ErrorNumber::SubscriptOutOfRange,
                          QStringLiteral("Subscript out of range"));
    // A byte-order mark stays in the text as U+FEFF: text that begins with
    // one does not begin with what follows it.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(*bytes);
}

ByteArray StringToUtf8(const QString& text)
{
    if (text.isEmpty())
        return std::nullopt;
    // Qt writes "?" for an unpaired surrogate; the platform's converter writes
    // U+FFFD, and so do we.
    QByteArray out;
    out.reserve(text.size() * 3);
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < n && text.at(i + 1).isLowSurrogate())
            c = QChar::surrogateToUcs4(char16_t(c), text.at(++i).unicode());
        else if (QChar::isSurrogate(c))
            c = 0xFFFD;
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | c >> 6);
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | c >> 12);
            out += char(0x80 | (c >> 6 & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | c >> 18);
            out += char(0x80 | (c >> 12 & 0x3F));
            out += char(0x80 | (c >> 6 & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

QString TrimSpaces(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == u' ')
        ++begin;
    while (end > begin && text.at(end - 1) == u' ')
        --end;
    return text.mid(begin, end - begin);
}

namespace {
bool IsSkippedSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}
bool IsDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}
} // namespace

double TextToNumber(const QString& text)
{
    // Collect the accepted characters first, then let strtod read them; the
    // scan is linear and accepts only what strtod reads the same way.
    std::string number;
    number.reserve(static_cast<size_t>(std::min<qsizetype>(text.size(), 64)));
    const qsizetype n = text.size();
    qsizetype i = 0;
    auto skipSpaces = [&] {
        while (i < n && IsSkippedSpace(text.at(i).unicode()))
            ++i;
    };

    skipSpaces();
    if (i < n && (text.at(i) == u'+' || text.at(i) == u'-')) {
        number += static_cast<char>(text.at(i).unicode());
        ++i;
    }
    bool anyDigit = false;
    bool seenPoint = false;
    for (;; ++i) {
        skipSpaces();
        if (i >= n)
            break;
        const char16_t c = text.at(i).unicode();
        if (IsDigit(c)) {
            number += static_cast<char>(c);
            anyDigit = true;
        } else if (c == u'.' && !seenPoint) {
            number += '.';
            seenPoint = true;
        } else {
            break;
        }
    }
    if (!anyDigit)
        return 0.0;

    // The exponent counts only when at least one digit follows it.
    if (i < n && (text.at(i) == u'e' || text.at(i) == u'E')) {
        qsizetype j = i + 1;
        std::string exponent = "e";
        auto skip = [&] {
            while (j < n && IsSkippedSpace(text.at(j).unicode()))
                ++j;
        };
        skip();
        if (j < n && (text.at(j) == u'+' || text.at(j) == u'-')) {
            exponent += static_cast<char>(text.at(j).unicode());
            ++j;
        }
        bool expDigit = false;
        std::string digits;
        for (;; ++j) {
            skip();
            if (j >= n || !IsDigit(text.at(j).unicode()))
                break;
            const char16_t c = text.at(j).unicode();
            expDigit = true;
            // Leading zeros add nothing, and a huge exponent gives an infinity
            // or zero either way: keep the text short.
            if ((c != u'0' || !digits.empty()) && digits.size() < 8)
                digits += static_cast<char>(c);
        }
        if (expDigit)
            number += exponent + (digits.empty() ? std::string("0") : digits);
    }
    // QApplication sets the C library's locale from the environment, where
    // strtod may expect a decimal comma: read the number in the C locale.
    static const locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", locale_t(nullptr));
    return strtod_l(number.c_str(), nullptr, cLocale);
}

int32_t RoundToInt32(double value)
{
    if (std::isnan(value))
        return 0;
    const double rounded = std::nearbyint(value); // default mode: halves to even
    // A value that does not fit is an overflow, not the nearest limit.
    if (rounded > static_cast<double>(std::numeric_limits<int32_t>::max()) ||
        rounded < static_cast<double>(std::numeric_limits<int32_t>::min()))
        return 0;
    return static_cast<int32_t>(rounded);
}
