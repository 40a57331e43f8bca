// demo-world: an editor installation, a vendor site and a settings store made
// from the plain JSON of data/demo, with packages in every state the list
// shows. The demo and the end-to-end tests start from it.

#include "Checksum.h"
#include "PackageArchive.h"
#include "VendorCommands.h"
#include "crypto/Envelope.h"
#include "crypto/MachineKey.h"
#include "startup/Errors.h"
#include "startup/FileIo.h"
#include "startup/JsonNode.h"
#include "startup/Settings.h"
#include "startup/VersionResourceWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>

namespace {

constexpr auto kEditorVersion = "2.1.0.1316"; // the first build that reads packages
constexpr auto kEditorName = "Kestrovia.exe";

struct WorldArgs
{
    QString data, world, url, manager, editorVersion = QString::fromLatin1(kEditorVersion);
};

bool ParseArgs(const QStringList& args, WorldArgs& parsed, QString& error)
{
    QMap<QString, QString*> options{{"--data", &parsed.data},
                                    {"--world", &parsed.world},
                                    {"--url", &parsed.url},
                                    {"--manager", &parsed.manager},
                                    {"--editor-version", &parsed.editorVersion}};
    for (qsizetype i = 0; i < args.size(); i += 2) {
        QString* target = options.value(args.at(i), nullptr);
        if (!target || i + 1 >= args.size()) {
            error = QStringLiteral("unexpected argument \"%1\" (see --help)").arg(args.at(i));
            return false;
        }
        *target = args.at(i + 1);
    }
    if (parsed.data.isEmpty() || parsed.world.isEmpty() ||
        !parsed.url.startsWith(QLatin1String("http"))) {
        error = QStringLiteral("expected --data DIR --world DIR --url http://HOST:PORT");
        return false;
    }
    return true;
}

// Everything that can go wrong while building is a failed write or a bad
// data file: collected as one message.
struct Builder
{
    QString error;

    bool Write(const QString& path, const QByteArray& bytes)
    {
        if (!error.isEmpty())
            return false;
        if (!QDir().mkpath(QFileInfo(path).path()) || !WriteFileAtomically(path, bytes))
            error = QStringLiteral("%1: cannot be written").arg(path);
        return error.isEmpty();
    }
    QByteArray Read(const QString& path)
    {
        const ByteArray bytes = ReadWholeFile(path);
        if (!bytes && error.isEmpty())
            error = QStringLiteral("%1: cannot be read").arg(path);
        return bytes.value_or(QByteArray());
    }
};

QString Text(const JsonNode& node, const char* key, const QString& fallback = QString())
{
    try {
        return node.Item(QString::fromLatin1(key)).text();
    } catch (const JsonError&) {
        return fallback;
    }
}

} // namespace

int RunDemoWorld(const QStringList& args)
{
    WorldArgs parsed;
    QString error;
    if (!ParseArgs(args, parsed, error))
        return Fail(error);
    Builder b;
    const QDir data(parsed.data);
    const QDir world(parsed.world);
    const QString editor = world.filePath("editor");
    const QString site = world.filePath("site");
    const QString url = parsed.url.endsWith(u'/') ? parsed.url.chopped(1) : parsed.url;

    const std::optional<JsonNode> catalogue =
        JsonNode::parse(QString::fromUtf8(b.Read(data.filePath("catalogue.json"))));
    if (!catalogue)
        return Fail(b.error.isEmpty() ? QStringLiteral("catalogue.json: not a JSON document")
                                      : b.error);
    const QString user = Text(*catalogue, "user");

    // The editor: an executable with a version resource and its built-in database.
    b.Write(QDir(editor).filePath(kEditorName),
            BuildVersionedExecutable(StubEditorContent(parsed.editorVersion)).bytes);
    const QByteArray equipment = b.Read(data.filePath("equipdb.json"));
    if (!JsonNode::parse(QString::fromUtf8(equipment)))
        return Fail(QStringLiteral("equipdb.json: not a JSON document"));
    b.Write(QDir(editor).filePath("Update/equipdb.cfg"), *EncryptBytes(equipment, false));

    // The site: the endpoint file, the hub and the account's profile.
    b.Write(QDir(site).filePath("update/tvh_endpoint.txt"), url.toUtf8());
    QStringList extensions;
    QStringList installed;
    QMap<QString, QString> installedVersions;
    JsonNode packages;
    try {
        packages = catalogue->Item(QStringLiteral("packages"));
    } catch (const JsonError&) {
        return Fail(QStringLiteral("catalogue.json: no \"packages\""));
    }
    for (int i = 1; i <= packages.count(); ++i) {
        const JsonNode p = packages.Item(i);
        const QString name = Text(p, "name");
        const QString version = Text(p, "version");
        const QString state = Text(p, "state", QStringLiteral("hub"));
        const QByteArray models =
            b.Read(data.filePath(QStringLiteral("packages/%1.json").arg(name)));
        const std::optional<JsonNode> modelList = JsonNode::parse(QString::fromUtf8(models));
        if (!modelList)
            return Fail(b.error.isEmpty()
                            ? QStringLiteral("packages/%1.json: not a JSON array").arg(name)
                            : b.error);

        // The checksum proves name and normalised version; a "bad" one names
        // another version.
        const QString normalised =
            version.lastIndexOf(u'.') == 1 ? version + QStringLiteral(".0") : version;
        const QString checksum = PackageChecksum(name, state == QLatin1String("bad-checksum")
                                                           ? normalised + QStringLiteral(".9")
                                                           : normalised);
        const QByteArray descriptor = PackageDescriptor(name, models);
        const QString archive = QDir(site).filePath(QStringLiteral("hub/%1.Z").arg(checksum));
        if (!QDir().mkpath(QFileInfo(archive).path()) ||
            !WriteArchive(archive, "extension.cfg", descriptor, QString(), error))
            return Fail(error.isEmpty() ? archive + QStringLiteral(": cannot be written") : error);

        if (state == QLatin1String("downloaded"))
            b.Write(QDir(editor).filePath(QStringLiteral("Downloads/%1.Z").arg(checksum)),
                    b.Read(archive));
        if (state == QLatin1String("installed") || state == QLatin1String("update")) {
            // What the manager records after installing: the descriptor in the
            // package folder, the database member and the version setting.
            const QString installedVersion = Text(p, "installed", normalised);
            const QString installedChecksum = PackageChecksum(name, installedVersion);
            b.Write(QDir(editor).filePath(
                        QStringLiteral("Packages/%1/extension.cfg").arg(installedChecksum)),
                    descriptor);
            installed << QStringLiteral("\"%1\":%2").arg(name, QString::fromUtf8(models));
            installedVersions[name] = installedVersion;
        }
        extensions
            << QStringLiteral(
                   R"({"name":"%1","display":"%2","version":"%3","status":"%4","count":%5,"checksum":"%6"})")
                   .arg(name, Text(p, "display", name), version,
                        Text(p, "order", QStringLiteral("OK")))
                   .arg(modelList->count())
                   .arg(checksum);
    }
    const QString profile =
        QStringLiteral(R"({"id":"%1","hub":"%2/hub/","code":0,"message":"OK","extensions":[%3]})")
            .arg(user, url, extensions.join(u','));
    b.Write(QDir(site).filePath(QStringLiteral("kvxta_user_ext_info/%1").arg(user)),
            profile.toUtf8());
    if (!b.error.isEmpty())
        return Fail(b.error);

    // The installed-extension database is bound to this computer.
    if (!WriteEnvelopeFile(QDir(editor).filePath("extdb.cfg"),
                           (u'{' + installed.join(u',') + u'}').toUtf8(), true))
        return Fail(
            QStringLiteral("%1: cannot be written").arg(QDir(editor).filePath("extdb.cfg")));

    if (!parsed.manager.isEmpty()) {
        const QString target = QDir(editor).filePath(QFileInfo(parsed.manager).fileName());
        QFile::remove(target);
        if (!QFile::copy(parsed.manager, target))
            return Fail(QStringLiteral("%1: cannot be copied into %2").arg(parsed.manager, editor));
    }

    // The shared settings, as the editor leaves them (XDG_CONFIG_HOME decides where).
    Settings::Write(Settings::AppInfo, QStringLiteral("Editor"),
                    QDir(editor).filePath(kEditorName));
    Settings::Write(Settings::AppInfo, QStringLiteral("UserName"), user);
    Settings::Write(Settings::AppInfo, QStringLiteral("EditorVersion"), parsed.editorVersion);
    for (auto it = installedVersions.cbegin(); it != installedVersions.cend(); ++it)
        Settings::Write(Settings::Tovarinth, it.key(), it.value());
    Out() << user << "\n";
    return 0;
}
