#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>
#include <optional>

// A byte array that may hold no storage at all: std::nullopt is "never given
// storage", an empty QByteArray is storage of no bytes. The two differ for
// every reader of an encrypted file.
using ByteArray = std::optional<QByteArray>;

// When text has fewer than n characters, the first character of fill repeated
// up to n, then the text; a longer text is never cut.
QString PadLeft(const QString& text, int32_t n, const QString& fill);

// The text up to, not including, its first U+0000.
QString TrimNull(const QString& text);

// The text without its leading and trailing U+0020 spaces; tabs, line breaks
// and other white space stay.
QString TrimSpaces(const QString& text);

// True when the array holds no storage; false as soon as it has any.
bool IsArrayEmpty(const ByteArray& bytes);

// Decimal Unix seconds of a local date-time, converted with the system's
// time-zone rules (daylight saving included); empty text when it cannot be
// converted.
QString DateToUnixTime(const QDateTime& localTime);
QString UnixTimeNow();

// UTF-8 to UTF-16. Malformed sequences become U+FFFD; U+0000 bytes stay.
// An array without storage raises RaisedError.
QString Utf8ToString(const ByteArray& bytes);
// UTF-16 to UTF-8 without BOM or terminator; empty text gives no storage. An
// unpaired surrogate becomes U+FFFD (EF BF BD).
ByteArray StringToUtf8(const QString& text);

// The value of the longest leading decimal number of text (sign, digits, one
// point, exponent; spaces inside skipped); 0 when there is none. The point is
// always ".", whatever the C library's locale. Never throws; may return an
// infinity for a huge exponent.
double TextToNumber(const QString& text);

// Rounds to the nearest whole number, halves to the even neighbour. A result
// outside the signed 32-bit range, an infinity or NaN gives 0.
int32_t RoundToInt32(double value);
