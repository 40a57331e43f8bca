#pragma once

#include <QJsonValue>
#include <QString>
#include <optional>

// A node of a parsed JSON document: the root, an object, an array or a scalar.
// Nodes share their data implicitly, so they stay valid after the text and
// every other node are gone. Lookups of absent keys or indices outside
// 1..count() throw JsonError.
class JsonNode
{
public:
    JsonNode() = default;
    explicit JsonNode(QJsonValue value) : value_(std::move(value)) {}

    // The root of the document in text; trailing U+0000 characters are
    // ignored. No document for text that is not a JSON object or array, for
    // nesting deeper than the reader allows, or when the component is missing.
    static std::optional<JsonNode> parse(const QString& text);

    JsonNode Item(const QString& key) const;
    JsonNode Item(int index) const; // 1-based
    // Elements of an array, members of an object.
    int count() const;

    // A scalar as text: whole numbers without fraction or exponent, other
    // numbers in the shortest form that reads back the same, "True"/"False",
    // null as empty text. An object or array throws JsonError.
    QString text() const;

    bool IsNode() const { return value_.isObject() || value_.isArray(); }
    const QJsonValue& value() const { return value_; }

private:
    QJsonValue value_;
};

// The JSON component is always available in the program; tests switch it off
// to exercise the "not installed" paths.
bool CreateJsonComponent();
void SetJsonComponentAvailable(bool available);
