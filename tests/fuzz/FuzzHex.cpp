// Hexadecimal text: HexToBytes and DecryptHexString of any text, checked
// against a plain count of the digits and a round trip through BytesToHex.

#include "FuzzSupport.h"
#include "crypto/MachineKey.h"
#include "startup/TextHelpers.h"

namespace {

bool IsHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'F') || (u >= u'a' && u <= u'f');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzStartOnce();
    // Odd sizes are read as UTF-16 too, so that characters beyond Latin-1
    // whose low byte looks like a digit come up.
    const QString text = size % 2 == 1 ? QString::fromUtf16(reinterpret_cast<const char16_t*>(data),
                                                            static_cast<qsizetype>(size / 2))
                                       : QString::fromUtf8(reinterpret_cast<const char*>(data),
                                                           static_cast<qsizetype>(size));

    QString digits;
    for (const QChar c : text)
        if (IsHexDigit(c))
            digits += c.toUpper();
    digits.truncate(digits.size() - digits.size() % 2);

    const ByteArray bytes = HexToBytes(text);
    FUZZ_CHECK(bytes.has_value() == !digits.isEmpty());
    if (bytes) {
        FUZZ_CHECK(bytes->size() == digits.size() / 2);
        FUZZ_CHECK(BytesToHex(*bytes, bytes->size(), 16).remove(u' ') == digits);
        FUZZ_CHECK(BytesToHex(*bytes, bytes->size(), 0) == digits);
    }

    const QString plain = DecryptHexString(text);
    FUZZ_CHECK(!plain.contains(QChar(0)));
    if (!bytes || bytes->size() % 16 != 0 || TrimNull(text).isEmpty())
        FUZZ_CHECK(plain.isEmpty());
    return 0;
}
