// JSON nodes: any text through parse, then every lookup the loaders make.

#include "FuzzSupport.h"
#include "startup/Errors.h"
#include "startup/JsonNode.h"

#include <QJsonObject>

static bool Throws(const auto& lookup)
try {
    lookup();
    return false;
} catch (const JsonError&) {
    return true;
}

// A scalar is text and a container is not; indices run from 1 to count in
// arrays only; an object has count keys. The depth limit lies beyond any
// document the program reads.
static void Walk(const JsonNode& node, int depth)
{
    FUZZ_CHECK(Throws([&] { node.text(); }) == node.IsNode());
    FUZZ_CHECK(Throws([&] { node.count(); }) != node.IsNode());
    const bool array = node.value().isArray();
    const QStringList keys = node.value().toObject().keys();
    for (int i = 1; node.IsNode() && depth < 24 && i <= node.count(); ++i)
        Walk(array ? node.Item(i) : node.Item(keys.at(i - 1)), depth + 1);
    FUZZ_CHECK(!node.IsNode() || (Throws([&] { node.Item(array ? node.count() + 1 : 1); }) &&
                                  Throws([&] { node.Item(0); })));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzStart();
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<JsonNode> root = JsonNode::parse(text);
    // Decryption leaves zero padding after the text: it changes nothing.
    const std::optional<JsonNode> padded = JsonNode::parse(text + QString(13, QChar(0)));
    FUZZ_CHECK(root ? padded && root->IsNode() && root->value() == padded->value() : !padded);
    if (root)
        Walk(*root, 0);
    return 0;
}
