// pack: a package archive as the hub serves it.

#include "Checksum.h"
#include "PackageArchive.h"
#include "VendorCommands.h"
#include "crypto/MachineKey.h"
#include "startup/FileIo.h"
#include "startup/JsonNode.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>

namespace {

constexpr auto kDescriptorName = "extension.cfg";

struct PackArgs
{
    QString name, version, models, out, subfolder, password;
};

bool ParsePackArgs(const QStringList& args, PackArgs& parsed, QString& error)
{
    QMap<QString, QString*> options{
        {"--name", &parsed.name},           {"--version", &parsed.version},
        {"--models", &parsed.models},       {"--out", &parsed.out},
        {"--subfolder", &parsed.subfolder}, {"--password", &parsed.password}};
    for (qsizetype i = 0; i < args.size(); i += 2) {
        QString* target = options.value(args.at(i), nullptr);
        if (!target || i + 1 >= args.size()) {
            error = QStringLiteral("unexpected argument \"%1\" (see --help)").arg(args.at(i));
            return false;
        }
        *target = args.at(i + 1);
    }
    if (parsed.name.isEmpty() || parsed.version.isEmpty() || parsed.models.isEmpty() ||
        parsed.out.isEmpty()) {
        error =
            QStringLiteral("expected --name NAME --version VERSION --models MODELS.json --out DIR");
        return false;
    }
    if ((parsed.name + parsed.version).contains(QChar(0))) {
        error = QStringLiteral("NAME and VERSION must not contain NUL");
        return false;
    }
    return true;
}

} // namespace

int RunPack(const QStringList& args)
{
    PackArgs parsed;
    QString error;
    if (!ParsePackArgs(args, parsed, error))
        return Fail(error);
    if (!QFileInfo(parsed.models).isFile())
        return Fail(QStringLiteral("%1: no such file").arg(parsed.models));
    const ByteArray models = ReadWholeFile(parsed.models);
    if (!models)
        return Fail(QStringLiteral("%1: cannot be read").arg(parsed.models));
    const std::optional<JsonNode> root = JsonNode::parse(QString::fromUtf8(*models));
    if (!root || !root->value().isArray())
        return Fail(QStringLiteral("%1: not a JSON array").arg(parsed.models));

    const QByteArray cipher = PackageDescriptor(parsed.name, *models);
    const QString checksum = PackageChecksum(parsed.name, parsed.version);
    if (!QDir().mkpath(parsed.out))
        return Fail(QStringLiteral("%1: cannot be created").arg(parsed.out));
    QByteArray memberName = kDescriptorName;
    if (!parsed.subfolder.isEmpty())
        memberName = parsed.subfolder.toUtf8() + '/' + memberName;
    if (!WriteArchive(QDir(parsed.out).filePath(checksum + QStringLiteral(".Z")), memberName,
                      cipher, parsed.password, error))
        return Fail(error);
    Out() << checksum << "\n";
    return 0;
}
