#include "startup/JsonNode.h"

#include "startup/Errors.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

TEST(JsonNode, ParsesObjectsAndIgnoresTrailingNuls)
{
    const auto root =
        JsonNode::parse(QString::fromUtf16(u"{\"id\":\"alice\",\"n\":[1,2,3]}\0\0\0", 29));
    ASSERT_TRUE(root);
    EXPECT_EQ(root->Item("id").text(), "alice");
    EXPECT_EQ(root->Item("n").count(), 3);
    EXPECT_EQ(root->Item("n").Item(3).text(), "3");
    EXPECT_EQ(root->count(), 2);
}

TEST(JsonNode, NotADocumentGivesNothing)
{
    EXPECT_FALSE(JsonNode::parse(""));
    EXPECT_FALSE(JsonNode::parse("{\"a\":"));
    EXPECT_FALSE(JsonNode::parse(" {\"a\":1} x"));
    EXPECT_FALSE(JsonNode::parse(QString::fromUtf16(u"\0{}", 3)));
    EXPECT_TRUE(JsonNode::parse("[]"));
}

TEST(JsonNode, AbsentKeysAndIndicesThrow)
{
    const auto root = JsonNode::parse("{\"a\":[10,20],\"s\":\"x\"}");
    ASSERT_TRUE(root);
    EXPECT_THROW(root->Item("b"), JsonError);
    EXPECT_THROW(root->Item("A"), JsonError); // keys are case-sensitive
    const JsonNode array = root->Item("a");
    EXPECT_THROW(array.Item(0), JsonError);
    EXPECT_THROW(array.Item(3), JsonError);
    EXPECT_EQ(array.Item(2).text(), "20");
    EXPECT_THROW(array.Item("0"), JsonError);
    EXPECT_THROW(root->Item(1), JsonError);
    EXPECT_THROW(root->Item("s").count(), JsonError);
    EXPECT_THROW(root->Item("s").Item("x"), JsonError);
    EXPECT_THROW(array.text(), JsonError); // a node is never text
}

TEST(JsonNode, ScalarsConvertToText)
{
    const auto root = JsonNode::parse(
        R"({"int":35,"neg":-7,"frac":1.5,"third":0.1,"big":1e21,"exp":3.0e2,"t":true,"f":false,"z":null,"s":"中文"})");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->Item("int").text(), "35");
    EXPECT_EQ(root->Item("neg").text(), "-7");
    EXPECT_EQ(root->Item("frac").text(), "1.5");
    EXPECT_EQ(root->Item("third").text(), "0.1");
    EXPECT_EQ(root->Item("exp").text(), "300");
    EXPECT_EQ(root->Item("big").text().toDouble(), 1e21);
    EXPECT_EQ(root->Item("t").text(), "True");
    EXPECT_EQ(root->Item("f").text(), "False");
    EXPECT_EQ(root->Item("z").text(), "");
    EXPECT_EQ(root->Item("s").text(), QString::fromUtf16(u"中文"));
}

TEST(JsonNode, NodesOutliveTheirDocumentAndText)
{
    JsonNode inner;
    {
        QString text = "{\"bodies\":{\"canon\":[{\"name\":\"EOS R5\"}]}}";
        auto root = JsonNode::parse(text);
        ASSERT_TRUE(root);
        inner = root->Item("bodies").Item("canon");
        text.fill(u'x');
    }
    EXPECT_EQ(inner.count(), 1);
    EXPECT_EQ(inner.Item(1).Item("name").text(), "EOS R5");
}

TEST(JsonNode, DeepNestingGivesNoDocumentNotACrash)
{
    const QString deep = QString(100000, u'[') + QString(100000, u']');
    EXPECT_FALSE(JsonNode::parse(deep));
    const QString deepObjects = QString("{\"a\":").repeated(50000) + "1" + QString(50000, u'}');
    EXPECT_FALSE(JsonNode::parse(deepObjects));
}

TEST(JsonNode, MissingComponentGivesNoDocument)
{
    SetJsonComponentAvailable(false);
    EXPECT_FALSE(CreateJsonComponent());
    EXPECT_FALSE(JsonNode::parse("{}"));
    SetJsonComponentAvailable(true);
    EXPECT_TRUE(JsonNode::parse("{}"));
}
