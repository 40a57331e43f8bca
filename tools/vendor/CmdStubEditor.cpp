// stub-editor: a small PE executable with the editor's version resource, so
// that tests and the demo can give the program an "editor" of any build.

#include "VendorCommands.h"
#include "startup/FileIo.h"
#include "startup/VersionResourceWriter.h"

#include <QRegularExpression>

namespace {

// Four hex digits (one to four accepted), as a 16-bit number.
std::optional<quint16> Hex4(const QString& text)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]{1,4}$"));
    if (!hex.match(text).hasMatch())
        return std::nullopt;
    return quint16(text.toUInt(nullptr, 16));
}

} // namespace

int RunStubEditor(const QStringList& args)
{
    QString productVersion;
    QString fileVersion;
    quint16 language = 0x0804;
    quint16 codePage = 0x04B0;
    bool haveProductVersion = false;
    QString out;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        const bool isOption = arg == QLatin1String("--product-version") ||
                              arg == QLatin1String("--file-version") ||
                              arg == QLatin1String("--lang") || arg == QLatin1String("--codepage");
        if (isOption) {
            if (i + 1 >= args.size())
                return Fail(QStringLiteral("%1 needs a value").arg(arg));
            const QString value = args.at(++i);
            if (arg == QLatin1String("--product-version")) {
                productVersion = value;
                haveProductVersion = true;
            } else if (arg == QLatin1String("--file-version")) {
                fileVersion = value;
            } else {
                const auto number = Hex4(value);
                if (!number)
                    return Fail(
                        QStringLiteral("%1: \"%2\" is not 1 to 4 hex digits").arg(arg, value));
                (arg == QLatin1String("--lang") ? language : codePage) = *number;
            }
        } else if (arg.startsWith(QLatin1String("--"))) {
            return Fail(QStringLiteral("unknown option %1").arg(arg));
        } else if (out.isEmpty()) {
            out = arg;
        } else {
            return Fail(QStringLiteral("more than one OUT given"));
        }
    }
    if (!haveProductVersion)
        return Fail(QStringLiteral("--product-version is required"));
    if (out.isEmpty())
        return Fail(QStringLiteral("no OUT given"));
    const BuiltExecutable built = BuildVersionedExecutable(
        StubEditorContent(productVersion, fileVersion, language, codePage));
    if (!WriteFileAtomically(out, built.bytes))
        return Fail(QStringLiteral("%1: cannot be written").arg(out));
    return 0;
}
