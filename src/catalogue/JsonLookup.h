#pragma once

#include "startup/Errors.h"
#include "startup/JsonNode.h"

#include <QJsonObject>
#include <optional>

// Lookups for the loaders that pass over a failing statement: a missing
// member, or one of the wrong kind, reads as empty text or a count of 0.
// They look the member up without raising JsonError: a missing member is the
// common case in a rebuild of the list (every package that is not installed),
// and raising and catching an error for each row cost more than the row's
// other lookups together.

inline std::optional<JsonNode> MemberOf(const JsonNode& node, const QString& key)
{
    if (!node.value().isObject())
        return std::nullopt;
    const QJsonObject object = node.value().toObject();
    const auto it = object.constFind(key);
    if (it == object.constEnd())
        return std::nullopt;
    return JsonNode(it.value());
}

inline QString TextOr(const JsonNode& node, const QString& key, const QString& fallback = QString())
{
    const std::optional<JsonNode> member = MemberOf(node, key);
    if (!member || member->IsNode())
        return fallback;
    try {
        return member->text();
    } catch (const JsonError&) {
        return fallback;
    }
}

inline int CountOf(const std::optional<JsonNode>& node, const QString& key)
{
    if (!node)
        return 0;
    const std::optional<JsonNode> member = MemberOf(*node, key);
    return member && member->IsNode() ? member->count() : 0;
}

// A package descriptor (the member "NAME":[models], with the zero padding of
// its file) as a document of that one member; none when it does not parse.
inline std::optional<JsonNode> ParseDescriptor(QString descriptor)
{
    descriptor.remove(QChar(0));
    return JsonNode::parse(u'{' + descriptor + u'}');
}
