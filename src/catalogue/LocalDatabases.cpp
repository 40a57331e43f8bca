// The built-in rows: the installed-extension database and the editor's
// built-in equipment database.

#include "Catalogue.h"
#include "JsonLookup.h"
#include "crypto/MachineKey.h"
#include "startup/FileIo.h"
#include "startup/Settings.h"

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

// Whether the row's descriptor is the member that members hold for its name.
bool IsRecordOf(const ExtensionEntry& entry, const QJsonObject& members)
{
    const auto it = members.constFind(entry.Name);
    if (it == members.constEnd())
        return false;
    const std::optional<JsonNode> own = JsonNode::parse(u'{' + RemoveNuls(entry.Descriptor) + u'}');
    return own && own->value().toObject().value(entry.Name) == it.value();
}

} // namespace

void Catalogue::ReadInstalledDatabase()
{
    state_.InstalledDb.reset();
    state_.InstalledDb = installedDbFile_.Read(ProgramFile(QStringLiteral("extdb.cfg")));
}

void Catalogue::LoadLocalDatabases()
{
    const Settings::Snapshot settingsSnapshot; // one look at the settings file per rebuild
    WaitCursor hourglass(view_);
    state_.SelectedIndex = -1;
    state_.Entries.clear();
    state_.CatalogueTime = QDateTime();
    view_.Clear();
    state_.InstalledDb.reset();

    std::optional<JsonNode> document;
    try {
        ReadInstalledDatabase();
        const QString path = EquipmentDbPath();
        if (IsExistingFile(path)) {
            const ByteArray bytes = ReadWholeFile(path);
            if (!IsArrayEmpty(bytes))
                document = memo_.Parse(cRebuildMemo::EquipmentDb, *bytes);
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
    // Another manager on this program folder may have saved since the file
    // was read: what it recorded is read again, so that it is kept. A file
    // that cannot be read is never overwritten.
    if (installedDbFile_.Changed(ProgramFile(QStringLiteral("extdb.cfg")))) {
        try {
            ReadInstalledDatabase();
        } catch (const RaisedError&) {
            return false;
        }
    }
    const bool recorded = state_.InstalledDb && state_.InstalledDb->value().isObject();
    const QJsonObject members = recorded ? state_.InstalledDb->value().toObject() : QJsonObject();

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
        // A row that this run did not install stands for the record it was
        // read from; when the file no longer holds that record (the package
        // was removed or updated elsewhere), the file's member wins.
        if (recorded && !entry.PendingSave && !IsRecordOf(entry, members))
            continue;
        if (!text.isEmpty())
            text += u',';
        text += entry.Descriptor;
        written.push_back(i);
        names.insert(entry.Name);
    }
    // A package that stays installed without a row that says so (one with an
    // update waiting, one the account no longer lists, one another manager
    // installed) keeps its member: only the package being removed leaves.
    for (auto it = members.constBegin(); it != members.constEnd(); ++it) {
        if (names.contains(it.key()) || it.key() == removed)
            continue;
        const QByteArray member =
            QJsonDocument(QJsonObject{{it.key(), it.value()}}).toJson(QJsonDocument::Compact);
        if (!text.isEmpty())
            text += u',';
        text += QString::fromUtf8(member.mid(1, member.size() - 2));
    }
    text = RemoveNuls(u'{' + text + u'}');

    std::optional<JsonNode> parsed = JsonNode::parse(text);
    if (!parsed) {
        prompt_.MsgBox(CatalogueText::DatabaseWriteFailed, MsgStyle::Critical,
                       CatalogueText::ErrorTitle);
        return false;
    }
    if (!installedDbFile_.Write(ProgramFile(QStringLiteral("extdb.cfg")), text))
        return false;
    // Only rows whose descriptor reached the file lose their pending mark.
    for (const size_t i : written)
        state_.Entries[i].PendingSave = false;
    state_.InstalledDb = std::move(parsed);
    return true;
}
