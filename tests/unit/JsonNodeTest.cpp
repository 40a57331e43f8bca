#include "startup/JsonNode.h"

#include "startup/Errors.h"
#include "support/TestSupport.h"

#include <functional>
#include <gtest/gtest.h>

TEST(JsonNode, DocumentsScalarsAndAbsentItems)
{
    // clang-format off
    const std::pair<QString, bool> cases[] = {
        {QString::fromUtf16(u"{\"a\":1}\0\0\0", 10), true}, {"[]", true}, {"", false},
        {"{\"a\":", false}, {" {\"a\":1} x", false}, {QString::fromUtf16(u"\0{}", 3), false},
        // Deeper than the reader allows: no document, and no crash.
        {QString(100000, u'[') + QString(100000, u']'), false},
        {QString("{\"a\":").repeated(50000) + "1" + QString(50000, u'}'), false}};
    // clang-format on
    for (const auto& [text, parses] : cases)
        EXPECT_EQ(JsonNode::parse(text).has_value(), parses) << text.left(20).toStdString();

    JsonNode root;
    {
        QString text = R"({"int":35,"neg":-7,"frac":1.5,"third":0.1,"exp":3.0e2,"big":1e21,)"
                       R"("t":true,"f":false,"z":null,"s":"中文"})";
        root = *JsonNode::parse(text);
        text.fill(u'x');
    }
    // clang-format off
    const std::pair<const char*, QString> scalars[] = {
        {"int", "35"}, {"neg", "-7"}, {"frac", "1.5"}, {"third", "0.1"}, {"exp", "300"},
        {"big", "1e+21"}, {"t", "True"}, {"f", "False"}, {"z", ""}, {"s", QString::fromUtf8("中文")}};
    // clang-format on
    for (const auto& [key, want] : scalars)
        EXPECT_EQ(root.Item(key).text(), want) << key;

    const JsonNode doc = *JsonNode::parse("{\"a\":[10,20],\"s\":\"x\"}");
    const JsonNode array = doc.Item("a"), scalar = doc.Item("s");
    EXPECT_EQ(doc.count() + array.count(), 4);
    EXPECT_EQ(array.Item(2).text(), "20");
    // clang-format off
    const std::pair<const char*, std::function<void()>> lookups[] = {
        {"absent key", [&] { doc.Item("b"); }}, {"other case", [&] { doc.Item("A"); }},
        {"index 0", [&] { array.Item(0); }}, {"index count + 1", [&] { array.Item(3); }},
        {"key of an array", [&] { array.Item("0"); }}, {"index of an object", [&] { doc.Item(1); }},
        {"count of a scalar", [&] { scalar.count(); }}, {"of a scalar", [&] { scalar.Item("x"); }},
        {"a node as text", [&] { array.text(); }}};
    // clang-format on
    for (const auto& [what, lookup] : lookups)
        EXPECT_THROW(lookup(), JsonError) << what;
}
