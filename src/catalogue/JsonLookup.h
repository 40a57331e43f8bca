#pragma once

#include "startup/Errors.h"
#include "startup/JsonNode.h"

#include <optional>

// Lookups for the loaders that pass over a failing statement: a missing
// member, or one of the wrong kind, reads as empty text or a count of 0.
inline QString TextOr(const JsonNode& node, const QString& key, const QString& fallback = QString())
{
    try {
        return node.Item(key).text();
    } catch (const JsonError&) {
        return fallback;
    }
}

inline int CountOf(const std::optional<JsonNode>& node, const QString& key)
{
    if (!node)
        return 0;
    try {
        return node->Item(key).count();
    } catch (const JsonError&) {
        return 0;
    }
}
