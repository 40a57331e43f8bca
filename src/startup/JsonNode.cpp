#include "JsonNode.h"

#include "Errors.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace {
bool componentAvailable = true;

[[noreturn]] void Fail(const QString& what)
{
    throw JsonError(ErrorNumber::ObjectRequired, what);
}
} // namespace

bool CreateJsonComponent()
{
    return componentAvailable;
}

void SetJsonComponentAvailable(bool available)
{
    componentAvailable = available;
}

std::optional<JsonNode> JsonNode::parse(const QString& text)
{
    if (!componentAvailable)
        return std::nullopt;
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1).isNull())
        --end;
    QJsonParseError error;
    const QJsonDocument document =
        QJsonDocument::fromJson(QStringView(text).left(end).toUtf8(), &error);
    if (error.error != QJsonParseError::NoError)
        return std::nullopt;
    if (document.isObject())
        return JsonNode(QJsonValue(document.object()));
    if (document.isArray())
        return JsonNode(QJsonValue(document.array()));
    return std::nullopt;
}

JsonNode JsonNode::Item(const QString& key) const
{
    if (!value_.isObject())
        Fail(QStringLiteral("JSON: not an object, no member \"%1\"").arg(key));
    const QJsonObject object = value_.toObject();
    const auto it = object.constFind(key);
    if (it == object.constEnd())
        Fail(QStringLiteral("JSON: no member \"%1\"").arg(key));
    return JsonNode(it.value());
}

JsonNode JsonNode::Item(int index) const
{
    if (!value_.isArray())
        Fail(QStringLiteral("JSON: not an array, no element %1").arg(index));
    const QJsonArray array = value_.toArray();
    if (index < 1 || index > array.size())
        Fail(QStringLiteral("JSON: no element %1").arg(index));
    return JsonNode(array.at(index - 1));
}

int JsonNode::count() const
{
    if (value_.isArray())
        return static_cast<int>(value_.toArray().size());
    if (value_.isObject())
        return static_cast<int>(value_.toObject().size());
    Fail(QStringLiteral("JSON: a scalar has no count"));
}

QString JsonNode::text() const
{
    switch (value_.type()) {
    case QJsonValue::String:
        return value_.toString();
    case QJsonValue::Bool:
        return value_.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QJsonValue::Null:
        return QString();
    case QJsonValue::Double: {
        const double d = value_.toDouble();
        if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 1e15)
            return QString::number(static_cast<qint64>(d));
        return QString::number(d, 'g', QLocale::FloatingPointShortest);
    }
    case QJsonValue::Object:
    case QJsonValue::Array:
        Fail(QStringLiteral("JSON: a node is not text"));
    case QJsonValue::Undefined:
        break;
    }
    Fail(QStringLiteral("JSON: undefined value"));
}
