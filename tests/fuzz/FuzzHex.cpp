// Hexadecimal text: HexToBytes and DecryptHexString of any text, checked
// against a plain count of the digits and a round trip through BytesToHex.

#include "FuzzSupport.h"
#include "startup/TextHelpers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzStart();
    // Odd sizes are read as UTF-16, so that characters beyond Latin-1 whose
    // low byte looks like a digit come up.
    const QString text =
        size % 2 ? QString::fromUtf16(reinterpret_cast<const char16_t*>(data), qsizetype(size / 2))
                 : QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    QString digits;
    for (const QChar c : text)
        digits += QStringLiteral("0123456789abcdefABCDEF").contains(c) ? c.toUpper() : QString();
    digits.chop(digits.size() % 2);
    const ByteArray bytes = HexToBytes(text);
    FUZZ_CHECK(bytes ? BytesToHex(*bytes, bytes->size(), 0) == digits : digits.isEmpty());
    const QString plain = DecryptHexString(text);
    FUZZ_CHECK(!plain.contains(QChar(0)) && (plain.isEmpty() || (bytes && bytes->size() % 16 == 0 &&
                                                                 !TrimNull(text).isEmpty())));
    return 0;
}
