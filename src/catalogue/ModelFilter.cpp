#include "ModelFilter.h"

#include "JsonLookup.h"

#include <QJsonArray>
#include <algorithm>

namespace {

// Characters that do not count in a name: every kind of space and dash, and
// the invisible format characters (soft hyphen, zero-width space) that
// pasted text brings along.
bool IsIgnored(QChar c)
{
    return c.isSpace() || c.category() == QChar::Punctuation_Dash ||
           c.category() == QChar::Other_Format;
}

} // namespace

QString FoldModelName(const QString& text)
{
    QString folded;
    folded.reserve(text.size());
    // Plain ASCII, nearly every name, is folded here: normalising it changes
    // nothing and costs ten times as much, which a fill of ten thousand
    // lines would feel.
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; })) {
        for (const QChar c : text)
            if (!IsIgnored(c))
                folded.append(c >= u'A' && c <= u'Z' ? QChar(c.unicode() + (u'a' - u'A')) : c);
        return folded;
    }
    // Compatibility normalisation makes an input method's full-width "ＥＯＳ"
    // and "Ｚ８" ordinary letters and digits, and the ideographic space a
    // space; case folding then makes the letters compare without case.
    const QString plain = text.normalized(QString::NormalizationForm_KC).toCaseFolded();
    for (const QChar c : plain)
        if (!IsIgnored(c))
            folded.append(c);
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
