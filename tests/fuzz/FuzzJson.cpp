// JSON nodes: any text through parse, then every lookup the loaders make.

#include "FuzzSupport.h"
#include "startup/Errors.h"
#include "startup/JsonNode.h"

#include <QJsonObject>

namespace {

// Deep enough for every document the program reads; the walk stays linear.
constexpr int kMaxDepth = 24;

bool Throws(const auto& lookup)
{
    try {
        lookup();
    } catch (const JsonError&) {
        return true;
    }
    return false;
}

void Walk(const JsonNode& node, int depth)
{
    if (!node.IsNode()) {
        // A scalar is text, never a container.
        const QString text = node.text();
        FUZZ_CHECK(!node.value().isString() || text == node.value().toString());
        FUZZ_CHECK(Throws([&] { return node.count(); }));
        FUZZ_CHECK(Throws([&] { return node.Item(1); }));
        FUZZ_CHECK(Throws([&] { return node.Item(QStringLiteral("id")); }));
        return;
    }
    FUZZ_CHECK(Throws([&] { return node.text(); }));
    const int count = node.count();
    FUZZ_CHECK(count >= 0);
    if (depth >= kMaxDepth)
        return;

    if (node.value().isArray()) {
        FUZZ_CHECK(Throws([&] { return node.Item(0); }));
        FUZZ_CHECK(Throws([&] { return node.Item(count + 1); }));
        FUZZ_CHECK(Throws([&] { return node.Item(QStringLiteral("0")); }));
        for (int i = 1; i <= count; ++i)
            Walk(node.Item(i), depth + 1);
        return;
    }

    FUZZ_CHECK(Throws([&] { return node.Item(1); }));
    const QStringList keys = node.value().toObject().keys();
    FUZZ_CHECK(keys.size() == count);
    for (const QString& key : keys) {
        // A key found is never absent, and a key with a character added is,
        // unless the document has that key too.
        const JsonNode member = node.Item(key);
        const QString other = key + QChar(0xFFFD);
        if (!keys.contains(other))
            FUZZ_CHECK(Throws([&] { return node.Item(other); }));
        Walk(member, depth + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzStartOnce();
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<JsonNode> root = JsonNode::parse(text);

    // Decryption leaves zero padding after the text: it changes nothing.
    const std::optional<JsonNode> padded = JsonNode::parse(text + QString(13, QChar(0)));
    FUZZ_CHECK(root.has_value() == padded.has_value());
    if (!root)
        return 0;
    FUZZ_CHECK(root->IsNode());
    FUZZ_CHECK(root->value() == padded->value());
    Walk(*root, 0);
    return 0;
}
