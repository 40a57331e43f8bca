#include "startup/VersionResource.h"

#include "startup/VersionResourceWriter.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

// Written by our writer into a file, read back by the reader.
TEST(VersionResource, StringsReadBackFromTheTableTheTranslationNames)
{
    const QString v254 = QString(253, u'7') + 'E', v255 = v254 + 'E';
    VersionResourceContent plus = StubEditorContent("4.1"), otherTag = plus;
    plus.pe32Plus = true;
    otherTag.tableTag = "040904B0"; // not the translation's 0804/04B0
    // clang-format off
    const std::tuple<VersionResourceContent, QString, QString> cases[] = {
        {StubEditorContent("2.0 测试版 \U0001F4F7", "9.8"), "", "2.0 测试版 \U0001F4F7"},
        {StubEditorContent("1.0", "9.8"), "FileVersion", "9.8"}, {plus, "PRODUCTVERSION", "4.1"},
        {StubEditorContent("1.0"), "ProductVersio", ""}, {otherTag, "ProductVersion", ""},
        {StubEditorContent(v255), "ProductVersion", v254}, // 254 characters and a NUL
        {StubEditorContent(QString::fromUtf16(u"1.2\0junk", 8)), "ProductVersion", "1.2"}};
    // clang-format on
    QTemporaryDir dir;
    for (const auto& [content, given, want] : cases) {
        ASSERT_TRUE(WriteFile(dir.filePath("e.exe"), BuildVersionedExecutable(content).bytes));
        QString key = given; // an empty key reads ProductVersion and is named so
        EXPECT_EQ(GetFileVersionString(dir.filePath("e.exe"), key), want) << want.toStdString();
        EXPECT_EQ(key, given.isEmpty() ? "ProductVersion" : given);
    }
    QString key = "ProductVersion";
    for (const QString& path : {dir.filePath("missing.exe"), dir.path(), QString(),
                                QCoreApplication::applicationFilePath()})
        EXPECT_EQ(GetFileVersionString(path, key), "") << path.toStdString();
}

// Every cut of the image, and offsets that loop or point outside, give empty
// text without a read outside the image.
TEST(VersionResource, DamagedImagesGiveEmptyText)
{
    const BuiltExecutable built = BuildVersionedExecutable(StubEditorContent("1.0.0.1316"));
    const QByteArray& b = built.bytes;
    const qsizetype whole =
        built.versionInfo + (uchar(b[built.dataEntry + 4]) | uchar(b[built.dataEntry + 5]) << 8);
    for (qsizetype length = 0; length <= b.size(); ++length)
        ASSERT_EQ(VersionStringFromImage(b.left(length), "ProductVersion"),
                  length >= whole ? "1.0.0.1316" : "")
            << "cut at " << length;
    // Offset of the field, value written there (32 bits, little-endian).
    // clang-format off
    const std::pair<qsizetype, quint32> patches[] = {{0x3C, 0x7FFFFFFF}, // e_lfanew far out
        {built.nameDirectory + 20, 0x80000000}, {built.nameDirectory + 20, 0x80000018}, // loops
        {built.languageDirectory + 20, 0x80000000}, {built.dataEntry + 4, 0xFFFFFFFF},
        {built.resourceDataDirectory, 0xFFFFFFF0}};
    // clang-format on
    for (const auto& [offset, value] : patches) {
        QByteArray bytes = b;
        qToLittleEndian(value, bytes.data() + offset);
        EXPECT_EQ(VersionStringFromImage(bytes, "ProductVersion"), "") << offset;
    }
}
