#include "startup/VersionResource.h"

#include "startup/VersionResourceWriter.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
const QString kProduct = QStringLiteral("ProductVersion");

VersionResourceContent Stub(const QString& product, bool plus = false, const QString& tag = {},
                            bool translation = true)
{
    VersionResourceContent content = StubEditorContent(product, "9.8.7.6", 0x0409, 0x04E4);
    content.pe32Plus = plus;
    content.tableTag = tag;
    content.withTranslation = translation;
    return content;
}
} // namespace

// Written by our writer into a file, read back by the reader.
TEST(VersionResource, StringsReadBackFromTheTableTheTranslationNames)
{
    const QString v254 = QString(253, u'7') + 'E', v255 = v254 + 'E';
    // clang-format off
    const std::tuple<VersionResourceContent, QString, QString> cases[] = {
        {Stub("1.0.0.1316"), kProduct, "1.0.0.1316"}, {Stub("2.0 测试版"), kProduct, "2.0 测试版"},
        {Stub("5.0 \U0001F4F7"), kProduct, "5.0 \U0001F4F7"}, {Stub("4.1", true), kProduct, "4.1"},
        {Stub("1.0"), "FileVersion", "9.8.7.6"}, {Stub("1.0"), "PRODUCTVERSION", "1.0"},
        {Stub("1.0"), "LegalCopyright", ""}, {Stub("1.0"), "ProductVersio", ""},
        {Stub("1.0", false, "080404B0"), kProduct, ""}, {Stub("1.0", false, {}, false), kProduct, ""},
        {Stub(v254), kProduct, v254}, {Stub(v255), kProduct, v254}, // 254 characters and a NUL
        {Stub(QString::fromUtf16(u"1.2\0junk", 8)), kProduct, "1.2"}};
    // clang-format on
    QTemporaryDir dir;
    for (auto [content, key, want] : cases) {
        ASSERT_TRUE(WriteFile(dir.filePath("e.exe"), BuildVersionedExecutable(content).bytes));
        EXPECT_EQ(GetFileVersionString(dir.filePath("e.exe"), key), want) << key.toStdString();
    }
    QString key; // an empty key reads ProductVersion and names it, also for no resource
    EXPECT_EQ(GetFileVersionString(dir.filePath("e.exe"), key), "1.2");
    EXPECT_EQ(key, kProduct);
    for (const QString& path : {dir.filePath("missing.exe"), dir.path(), QString(),
                                QCoreApplication::applicationFilePath()})
        EXPECT_EQ(GetFileVersionString(path, key), "") << path.toStdString();
}

TEST(VersionResource, DamagedImagesGiveEmptyAndAreNeverLeft)
{
    const BuiltExecutable built = BuildVersionedExecutable(StubEditorContent("1.0.0.1316"));
    const QByteArray& b = built.bytes;
    const qsizetype whole =
        built.versionInfo + (uchar(b[built.dataEntry + 4]) | uchar(b[built.dataEntry + 5]) << 8);
    for (qsizetype length = 0; length <= b.size(); ++length)
        ASSERT_EQ(VersionStringFromImage(b.left(length), kProduct),
                  length >= whole ? "1.0.0.1316" : "")
            << "cut at " << length;
    const auto at = [&b](const QString& text) {
        return b.indexOf(QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2));
    };
    const qsizetype string = at(kProduct) - 6, name = built.nameDirectory + 20;
    // Offsets that point outside or loop, lengths that overrun their block: offset, 16 or 32
    // bits written there, what is read.
    // clang-format off
    const std::tuple<const char*, qsizetype, quint32, int, QString> patches[] = {
        {"e_lfanew far out", 0x3C, 0x7FFFFFFF, 4, ""}, {"sections past the end", 0x86, 0xFFFF, 2, ""},
        {"resource RVA outside", built.resourceDataDirectory, 0xFFFFFFF0, 4, ""},
        {"raw data outside", built.resourceSectionHeader + 20, 0xFFFFFE00, 4, ""},
        {"name level loops to itself", name, 0x80000018, 4, ""}, {"loop to root", name, 0x80000000, 4, ""},
        {"data size past the end", built.dataEntry + 4, 0xFFFFFFFF, 4, ""},
        {"root longer than the resource", built.versionInfo, 0xFFFF, 2, "1.0.0.1316"},
        {"key without its terminator", string, 20, 2, ""}, {"value of 3", string + 2, 3, 2, "1.0"},
        {"value longer than its block", string + 2, 0xFFFF, 2, "1.0.0.1316"},
        {"translation of 2 bytes", at("Translation") - 4, 2, 2, ""}};
    // clang-format on
    for (const auto& [what, offset, value, width, want] : patches) {
        QByteArray bytes = b;
        for (int i = 0; i < width; ++i)
            bytes[offset + i] = char(value >> (8 * i));
        EXPECT_EQ(VersionStringFromImage(bytes, kProduct), want) << what;
    }
}
