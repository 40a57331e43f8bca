#include "ModelFilter.h"

#include "JsonLookup.h"

#include <QJsonArray>

QString FoldModelName(const QString& text)
{
    QString folded;
    folded.reserve(text.size());
    for (const QChar c : text)
        if (!c.isSpace() && c != u'-')
            folded.append(c.toLower());
    return folded;
}

void ModelFilter::AddBody(const QString& name, int kitLines)
{
    bodies_.push_back({FoldModelName(name), lines_, 1 + std::max(0, kitLines)});
    lines_ += bodies_.back().lines;
}

std::vector<bool> ModelFilter::VisibleLines(const QString& text) const
{
    const QString needle = FoldModelName(text);
    std::vector<bool> visible(static_cast<size_t>(lines_), needle.isEmpty());
    if (needle.isEmpty())
        return visible;
    for (const Body& body : bodies_)
        if (body.folded.contains(needle))
            std::fill_n(visible.begin() + body.firstLine, body.lines, true);
    return visible;
}

bool ModelsMatch(const JsonNode& models, const QString& text)
{
    const QString needle = FoldModelName(text);
    if (needle.isEmpty())
        return true;
    if (!models.value().isArray())
        return false;
    const QJsonArray bodies = models.value().toArray();
    for (const QJsonValue& body : bodies)
        if (FoldModelName(TextOr(JsonNode(body), QStringLiteral("name"))).contains(needle))
            return true;
    return false;
}

bool RowMatchesFind(const MainState& state, int row, const QString& text)
{
    if (row < 0 || row >= static_cast<int>(state.Entries.size()) || FoldModelName(text).isEmpty())
        return true;
    const ExtensionEntry& entry = state.Entries[static_cast<size_t>(row)];
    std::optional<JsonNode> models;
    if (!entry.IsExtension) {
        if (state.EquipmentDb)
            if (const auto bodies = MemberOf(*state.EquipmentDb, QStringLiteral("bodies")))
                models = MemberOf(*bodies, entry.Name);
    } else if (state.InstalledDb && CountOf(state.InstalledDb, entry.Name) > 0) {
        models = MemberOf(*state.InstalledDb, entry.Name);
    } else if (!entry.Descriptor.isEmpty()) {
        // An unpacked package not yet recorded: its descriptor holds the models.
        if (const auto parsed = ParseDescriptor(entry.Descriptor))
            models = MemberOf(*parsed, entry.Name);
    }
    if (!models)
        return entry.IsExtension; // no local model list
    return ModelsMatch(*models, text);
}
