// The built-in rows: the installed-extension database and the editor's
// built-in equipment database.

#include "Catalogue.h"
#include "JsonLookup.h"
#include "crypto/Envelope.h"
#include "crypto/MachineKey.h"
#include "startup/FileIo.h"
#include "startup/Settings.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

namespace {

// The hourglass for the length of a scope.
class WaitCursor
{
public:
    explicit WaitCursor(IView& view) : view_(view) { view_.BeginWaitCursor(); }
    ~WaitCursor() { view_.EndWaitCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    IView& view_;
};

QString RemoveNuls(QString text)
{
    return text.remove(QChar(0));
}

} // namespace

void Catalogue::ReadInstalledDatabase()
{
    state_.InstalledDb.reset();
    // Until the file has been read through, a save would replace records
    // that nobody has seen.
    installedDbUnreadable_ = true;
    const QString path = ProgramFile(QStringLiteral("extdb.cfg"));
    const ByteArray bytes = ReadWholeFile(path);
    // Something by that name that cannot be read (a folder, an I/O error) is
    // not a missing database: the caller reports it.
    if (!bytes && QFileInfo::exists(path))
        throw IoError(ErrorNumber::PathAccess, path);
    // A file of no bytes is no database, like a missing one.
    if (IsArrayEmpty(bytes) || bytes->isEmpty()) {
        installedDbUnreadable_ = false;
        return;
    }
    // Raises for a length that is not a multiple of 16; the caller reports it.
    const QString text = RemoveNuls(Utf8ToString(DecryptBytes(bytes, true)));
    installedDbUnreadable_ = false;
    if (text.startsWith(u'{'))
        state_.InstalledDb = JsonNode::parse(text);
}

void Catalogue::LoadLocalDatabases()
{
    const Settings::Snapshot settingsSnapshot; // one look at the settings file per rebuild
    WaitCursor hourglass(view_);
    state_.SelectedIndex = -1;
    state_.Entries.clear();
    view_.Clear();
    state_.InstalledDb.reset();

    std::optional<JsonNode> document;
    try {
        ReadInstalledDatabase();
        const QString path = EquipmentDbPath();
        if (IsExistingFile(path)) {
            const ByteArray bytes = ReadWholeFile(path);
            if (!IsArrayEmpty(bytes))
                document = JsonNode::parse(Utf8ToString(DecryptBytes(bytes, false)));
        }
    } catch (const RaisedError&) {
        document.reset();
    }
    if (!document) {
        prompt_.MsgBox(CatalogueText::BuiltinDbFailed, MsgStyle::Critical);
        return;
    }

    const QString version = NormalizeVersion(TextOr(*document, QStringLiteral("version")));
    const double versionValue = TextToNumber(version);
    std::optional<JsonNode> makers;
    std::optional<JsonNode> bodies;
    try {
        makers = document->Item(QStringLiteral("makers"));
    } catch (const JsonError&) {
    }
    try {
        bodies = document->Item(QStringLiteral("bodies"));
    } catch (const JsonError&) {
    }

    int32_t row = 0;
    const int makerCount = makers && makers->IsNode() ? makers->count() : 0;
    for (int i = 1; i <= makerCount; ++i) {
        JsonNode maker;
        try {
            maker = makers->Item(i);
        } catch (const JsonError&) {
            continue;
        }
        const QString key = TrimSpaces(TextOr(maker, QStringLiteral("id")));

        int32_t status = Installed;
        if (CountOf(state_.InstalledDb, key) > 0) {
            const QString local = Settings::Read(Settings::Tovarinth, key, version);
            if (versionValue < TextToNumber(local))
                status = Superseded;
        }
        const int n = CountOf(bodies, key);
        if (n <= 0)
            continue;

        ExtensionEntry entry;
        entry.Name = key;
        entry.Display = TextOr(maker, QStringLiteral("name_zh-CN"));
        entry.Version = version;
        entry.Status = status;
        state_.Entries.push_back(entry);

        view_.ItemAdd(row, u' ' + entry.Display + CatalogueText::BuiltinSuffix, 0,
                      GetMakerIconIndex(key), status);
        view_.SubItemSet(row, 1, version, -1);
        view_.SubItemSet(row, 2, QString::number(n), -1);
        view_.SubItemSet(row, 3, GetStatusText(status), -1);
        view_.SetItemGhosted(row, true);
        ++row;
    }
    state_.EquipmentDb = std::move(document);
}

bool Catalogue::SaveInstalledDatabase()
{
    return SaveInstalledDatabase(QString());
}

bool Catalogue::SaveInstalledDatabase(const QString& removed)
{
    if (installedDbUnreadable_)
        return false;
    QString text;
    std::vector<size_t> written;
    QSet<QString> names;
    for (size_t i = 0; i < state_.Entries.size(); ++i) {
        const ExtensionEntry& entry = state_.Entries[i];
        if (!entry.IsExtension)
            continue;
        if (entry.Status != Installed && !entry.PendingSave)
            continue;
        if (entry.Descriptor.isEmpty())
            continue;
        if (!text.isEmpty())
            text += u',';
        text += entry.Descriptor;
        written.push_back(i);
        names.insert(entry.Name);
    }
    // A package that stays installed without a row that says so (one with an
    // update waiting, or one the account no longer lists) keeps its member:
    // only the package being removed leaves the database.
    if (state_.InstalledDb && state_.InstalledDb->value().isObject()) {
        const QJsonObject members = state_.InstalledDb->value().toObject();
        for (auto it = members.constBegin(); it != members.constEnd(); ++it) {
            if (names.contains(it.key()) || it.key() == removed)
                continue;
            const QByteArray member =
                QJsonDocument(QJsonObject{{it.key(), it.value()}}).toJson(QJsonDocument::Compact);
            if (!text.isEmpty())
                text += u',';
            text += QString::fromUtf8(member.mid(1, member.size() - 2));
        }
    }
    text = RemoveNuls(u'{' + text + u'}');

    std::optional<JsonNode> parsed = JsonNode::parse(text);
    if (!parsed) {
        prompt_.MsgBox(CatalogueText::DatabaseWriteFailed, MsgStyle::Critical,
                       CatalogueText::ErrorTitle);
        return false;
    }
    if (!WriteEnvelopeFile(ProgramFile(QStringLiteral("extdb.cfg")), text.toUtf8(), true))
        return false;
    // Only rows whose descriptor reached the file lose their pending mark.
    for (const size_t i : written)
        state_.Entries[i].PendingSave = false;
    state_.InstalledDb = std::move(parsed);
    return true;
}
