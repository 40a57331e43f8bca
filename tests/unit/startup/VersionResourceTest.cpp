#include "startup/VersionResource.h"

#include "startup/VersionResourceWriter.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kProductVersion = QStringLiteral("ProductVersion");

// Writes an executable built from content and reads key from it.
QString ReadBack(const QByteArray& image, QString key = kProductVersion)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("editor.exe"));
    if (!WriteFile(path, image))
        return QStringLiteral("<not written>");
    return GetFileVersionString(path, key);
}

void Patch32(QByteArray& bytes, qsizetype at, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(value >> (8 * i) & 0xFF);
}

void Patch16(QByteArray& bytes, qsizetype at, quint16 value)
{
    bytes[at] = char(value & 0xFF);
    bytes[at + 1] = char(value >> 8);
}

// Offset of the first UTF-16 occurrence of text in bytes.
qsizetype FindUtf16(const QByteArray& bytes, const QString& text)
{
    return bytes.indexOf(QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2));
}

BuiltExecutable Stub(const QString& productVersion = QStringLiteral("1.0.0.1316"))
{
    return BuildVersionedExecutable(StubEditorContent(productVersion));
}

} // namespace

TEST(VersionResource, WrittenVersions_ReadBackExactly)
{
    const QStringList versions = {QStringLiteral("1.0.0.1316"), QStringLiteral("3.2.1.1220"),
                                  QStringLiteral("2.0 测试版 (内部)"),
                                  QStringLiteral("5.0 \U0001F4F7"), // outside the BMP too
                                  QStringLiteral("x")};
    for (const QString& version : versions)
        EXPECT_EQ(ReadBack(Stub(version).bytes), version);
}

TEST(VersionResource, Pe32Plus_ReadsLikePe32)
{
    VersionResourceContent content = StubEditorContent(QStringLiteral("4.1.0.1400"));
    content.pe32Plus = true;
    EXPECT_EQ(ReadBack(BuildVersionedExecutable(content).bytes), QStringLiteral("4.1.0.1400"));
}

TEST(VersionResource, EmptyKey_ReadsProductVersionAndNamesIt)
{
    const BuiltExecutable built = BuildVersionedExecutable(
        StubEditorContent(QStringLiteral("1.0.0.1316"), QStringLiteral("9.8.7.6")));
    QString key;
    QTemporaryDir dir;
    ASSERT_TRUE(WriteFile(dir.filePath(QStringLiteral("e.exe")), built.bytes));
    EXPECT_EQ(GetFileVersionString(dir.filePath(QStringLiteral("e.exe")), key),
              QStringLiteral("1.0.0.1316"));
    EXPECT_EQ(key, kProductVersion);
}

TEST(VersionResource, OtherKeys_ReadTheirOwnValues)
{
    const QByteArray image =
        BuildVersionedExecutable(
            StubEditorContent(QStringLiteral("1.0.0.1316"), QStringLiteral("9.8.7.6")))
            .bytes;
    EXPECT_EQ(ReadBack(image, QStringLiteral("FileVersion")), QStringLiteral("9.8.7.6"));
    EXPECT_EQ(ReadBack(image, QStringLiteral("CompanyName")), QStringLiteral("Kestrovia"));
    EXPECT_EQ(ReadBack(image, QStringLiteral("FileDescription")),
              QStringLiteral("Kestrovia Metadata Editor"));
    // Keys are compared as the system's own version API does: without case.
    EXPECT_EQ(ReadBack(image, QStringLiteral("PRODUCTVERSION")), QStringLiteral("1.0.0.1316"));
}

TEST(VersionResource, MissingKey_GivesEmptyAndKeepsTheKey)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("e.exe"));
    ASSERT_TRUE(WriteFile(path, Stub().bytes));
    QString key = QStringLiteral("LegalCopyright");
    EXPECT_EQ(GetFileVersionString(path, key), QString());
    EXPECT_EQ(key, QStringLiteral("LegalCopyright"));
    key = QStringLiteral("ProductVersio"); // a prefix is not the key
    EXPECT_EQ(GetFileVersionString(path, key), QString());
}

TEST(VersionResource, TranslationDecidesTheTable)
{
    // The first translation names 0409/04E4: its table must be "040904E4".
    VersionResourceContent content =
        StubEditorContent(QStringLiteral("7.0.0.2000"), {}, 0x0409, 0x04E4);
    EXPECT_EQ(ReadBack(BuildVersionedExecutable(content).bytes), QStringLiteral("7.0.0.2000"));

    // A table under another tag than the translation's is not looked at.
    content.tableTag = QStringLiteral("080404B0");
    EXPECT_EQ(ReadBack(BuildVersionedExecutable(content).bytes), QString());

    // Without a translation list nothing is found, though the table is there.
    content = StubEditorContent(QStringLiteral("7.0.0.2000"));
    content.withTranslation = false;
    EXPECT_EQ(ReadBack(BuildVersionedExecutable(content).bytes), QString());
}

TEST(VersionResource, ValueLengthLimits_CutAt254Characters)
{
    const auto valueOf = [](int length) {
        VersionResourceContent content = StubEditorContent(QStringLiteral("1.0"));
        content.strings = {{kProductVersion, QString(length - 1, u'7') + QLatin1Char('E')}};
        return ReadBack(BuildVersionedExecutable(content).bytes);
    };
    EXPECT_EQ(valueOf(253), QString(252, u'7') + QLatin1Char('E'));
    EXPECT_EQ(valueOf(254), QString(253, u'7') + QLatin1Char('E'));
    EXPECT_EQ(valueOf(255), QString(254, u'7'));
    EXPECT_EQ(valueOf(300), QString(254, u'7'));
}

TEST(VersionResource, ValueWithNul_EndsAtTheNul)
{
    VersionResourceContent content = StubEditorContent(QStringLiteral("1.0"));
    content.strings = {
        {kProductVersion, QStringLiteral("1.2.3.4") + QChar(0) + QStringLiteral("junk")}};
    EXPECT_EQ(ReadBack(BuildVersionedExecutable(content).bytes), QStringLiteral("1.2.3.4"));
    content.strings = {{kProductVersion, QString()}};
    EXPECT_EQ(ReadBack(BuildVersionedExecutable(content).bytes), QString());
}

TEST(VersionResource, NotAnExecutable_GivesEmpty)
{
    QTemporaryDir dir;
    QString key;
    EXPECT_EQ(GetFileVersionString(dir.filePath(QStringLiteral("missing.exe")), key), QString());
    EXPECT_EQ(key, kProductVersion); // the key is named even when the file is missing
    EXPECT_EQ(GetFileVersionString(dir.path(), key), QString());
    EXPECT_EQ(GetFileVersionString(QString(), key), QString());
    // An ELF executable: this test program.
    EXPECT_EQ(GetFileVersionString(QCoreApplication::applicationFilePath(), key), QString());
    EXPECT_EQ(ReadBack(QByteArray()), QString());
    EXPECT_EQ(ReadBack("MZ"), QString());
    EXPECT_EQ(ReadBack(QByteArray("ProductVersion 1.0.0.1316\n")), QString());
}

TEST(VersionResource, RandomBytes_GiveEmpty)
{
    for (quint32 seed = 1; seed <= 200; ++seed) {
        QByteArray bytes = PseudoRandomBytes(64 + seed * 37 % 4096, seed);
        if (seed % 2 == 0) { // get past the first checks now and then
            bytes[0] = 'M';
            bytes[1] = 'Z';
            Patch32(bytes, 0x3C, 0x40);
            bytes.replace(0x40, 4, QByteArray("PE\0\0", 4));
        }
        EXPECT_EQ(VersionStringFromImage(bytes, kProductVersion), QString()) << "seed " << seed;
    }
}

TEST(VersionResource, EveryTruncation_GivesEmptyUntilTheResourceIsWhole)
{
    const BuiltExecutable built = Stub();
    const quint32 resourceSize = quint32(quint8(built.bytes[built.dataEntry + 4])) |
                                 quint32(quint8(built.bytes[built.dataEntry + 5])) << 8;
    const qsizetype whole = built.versionInfo + resourceSize;
    for (qsizetype length = 0; length <= built.bytes.size(); ++length) {
        const QString expected = length >= whole ? QStringLiteral("1.0.0.1316") : QString();
        ASSERT_EQ(VersionStringFromImage(built.bytes.left(length), kProductVersion), expected)
            << "length " << length;
    }
    // The same through files, in steps.
    for (qsizetype length = 0; length <= built.bytes.size(); length += 97)
        EXPECT_EQ(ReadBack(built.bytes.left(length)),
                  length >= whole ? QStringLiteral("1.0.0.1316") : QString())
            << "length " << length;
}

TEST(VersionResource, HostileHeaders_GiveEmpty)
{
    const BuiltExecutable built = Stub();
    const qsizetype pe = 0x80;
    const auto damaged = [&built](qsizetype at, quint32 value, int width = 4) {
        QByteArray bytes = built.bytes;
        width == 4 ? Patch32(bytes, at, value) : Patch16(bytes, at, quint16(value));
        return VersionStringFromImage(bytes, kProductVersion);
    };
    EXPECT_EQ(damaged(0x3C, 0xFFFFFFFC), QString()) << "e_lfanew past the end";
    EXPECT_EQ(damaged(0x3C, 0x7FFFFFFF), QString()) << "e_lfanew far out";
    EXPECT_EQ(damaged(pe, 0), QString()) << "no PE signature";
    EXPECT_EQ(damaged(pe + 4 + 2, 0xFFFF, 2), QString()) << "sections past the end";
    EXPECT_EQ(damaged(pe + 4 + 16, 0, 2), QString()) << "no optional header";
    EXPECT_EQ(damaged(pe + 4 + 16, 90, 2), QString()) << "optional header without data directories";
    EXPECT_EQ(damaged(pe + 24, 0x107, 2), QString()) << "ROM image magic";
    EXPECT_EQ(damaged(pe + 24 + 92, 2), QString()) << "two data directories only";
    EXPECT_EQ(damaged(built.resourceDataDirectory, 0), QString()) << "no resource directory";
    EXPECT_EQ(damaged(built.resourceDataDirectory, 0xFFFFFFF0), QString())
        << "resource RVA outside";
    EXPECT_EQ(damaged(built.resourceDataDirectory, 0x1800), QString()) << "between sections";
    EXPECT_EQ(damaged(built.resourceSectionHeader + 20, 0xFFFFFE00), QString())
        << "raw data outside";
    EXPECT_EQ(damaged(built.resourceSectionHeader + 8, 8), QString())
        << "virtual size cuts the tree";
}

TEST(VersionResource, HostileResourceTree_GivesEmpty)
{
    const BuiltExecutable built = Stub();
    const auto damaged = [&built](qsizetype at, quint32 value, int width = 4) {
        QByteArray bytes = built.bytes;
        width == 4 ? Patch32(bytes, at, value) : Patch16(bytes, at, quint16(value));
        return VersionStringFromImage(bytes, kProductVersion);
    };
    const qsizetype root = built.resourceDirectory;
    EXPECT_EQ(damaged(root + 12, 0xFFFF, 2), QString()) << "65535 named entries past the end";
    EXPECT_EQ(damaged(root + 14, 0, 2), QString()) << "no types";
    EXPECT_EQ(damaged(root + 16, 3), QString()) << "only RT_ICON";
    EXPECT_EQ(damaged(root + 20, 0x80FFFFF0), QString()) << "type directory outside";
    EXPECT_EQ(damaged(root + 20, 0x40), QString()) << "type points at a data entry";
    // Loops: the name level pointing at itself or back at the root, and the
    // language level pointing at the root as a directory.
    EXPECT_EQ(damaged(built.nameDirectory + 20, 0x80000018), QString());
    EXPECT_EQ(damaged(built.nameDirectory + 20, 0x80000000), QString());
    EXPECT_EQ(damaged(built.languageDirectory + 20, 0x80000000), QString());
    EXPECT_EQ(damaged(built.languageDirectory + 20, 0), QString()) << "the root read as data entry";
    EXPECT_EQ(damaged(built.dataEntry, 0xFFFFFFF0), QString()) << "data RVA outside";
    EXPECT_EQ(damaged(built.dataEntry, 0x10), QString()) << "data in the headers";
    EXPECT_EQ(damaged(built.dataEntry + 4, 0xFFFFFFFF), QString()) << "data size past the end";
    EXPECT_EQ(damaged(built.dataEntry + 4, 0), QString()) << "empty resource";
}

TEST(VersionResource, HostileBlocks_StayInsideTheResource)
{
    const BuiltExecutable built = Stub(QStringLiteral("1.0.0.1316"));
    const auto patched = [&built](qsizetype at, quint16 value) {
        QByteArray bytes = built.bytes;
        Patch16(bytes, at, value);
        return VersionStringFromImage(bytes, kProductVersion);
    };
    const qsizetype info = built.versionInfo;
    EXPECT_EQ(patched(info, 0), QString()) << "root of no length";
    EXPECT_EQ(patched(info, 5), QString()) << "root shorter than its header";
    // A length beyond the resource is bounded by the resource: still readable.
    EXPECT_EQ(patched(info, 0xFFFF), QStringLiteral("1.0.0.1316"));

    // The String block of ProductVersion: its key starts 6 bytes in.
    const qsizetype string = FindUtf16(built.bytes, kProductVersion) - 6;
    ASSERT_GT(string, info);
    EXPECT_EQ(patched(string, 2), QString()) << "block shorter than a header";
    EXPECT_EQ(patched(string, 20), QString()) << "key without its terminator";
    // A value length beyond its block is bounded by the block.
    EXPECT_EQ(patched(string + 2, 0xFFFF), QStringLiteral("1.0.0.1316"));
    EXPECT_EQ(patched(string + 2, 3), QStringLiteral("1.0"));

    const qsizetype translation = FindUtf16(built.bytes, QStringLiteral("Translation")) - 6;
    ASSERT_GT(translation, info);
    EXPECT_EQ(patched(translation + 2, 2), QString()) << "translation of 2 bytes";
    EXPECT_EQ(patched(translation + 2, 0xFFFF), QStringLiteral("1.0.0.1316"));

    const qsizetype magic = FindUtf16(built.bytes, QStringLiteral("VS_VERSION_INFO"));
    EXPECT_EQ(patched(magic, 'W'), QString()) << "not a version resource";
}

TEST(VersionResource, EveryByteDamaged_NeverLeavesTheImage)
{
    // Under the sanitizers any read outside the image fails the run.
    const BuiltExecutable built = Stub();
    for (qsizetype at = 0; at < built.bytes.size(); ++at) {
        for (const char replacement : {'\x00', '\xFF', '\x80', '\x7F'}) {
            QByteArray bytes = built.bytes;
            bytes[at] = replacement;
            const QString read = VersionStringFromImage(bytes, kProductVersion);
            ASSERT_LE(read.size(), kMaxVersionValueChars) << "at " << at;
        }
    }
    for (quint32 seed = 1; seed <= 2000; ++seed) {
        QByteArray bytes = built.bytes;
        const QByteArray noise = PseudoRandomBytes(8, seed);
        for (int i = 0; i < 4; ++i) {
            const qsizetype at =
                (quint8(noise[2 * i]) << 8 | quint8(noise[2 * i + 1])) % bytes.size();
            bytes[at] = noise[(i + 3) % 8];
        }
        const QString read = VersionStringFromImage(bytes, kProductVersion);
        ASSERT_LE(read.size(), kMaxVersionValueChars) << "seed " << seed;
    }
}

TEST(VersionResource, StubEditorCommand_WritesWhatTheReaderReads)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("editor.exe"));
    ProcessResult result = RunVendor({"stub-editor", "--product-version", "3.2.1.1220", path});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    QString key;
    EXPECT_EQ(GetFileVersionString(path, key), QStringLiteral("3.2.1.1220"));
    key = QStringLiteral("FileVersion");
    EXPECT_EQ(GetFileVersionString(path, key), QStringLiteral("3.2.1.1220"));
    EXPECT_EQ(ReadFile(path), Stub(QStringLiteral("3.2.1.1220")).bytes);

    result = RunVendor({"stub-editor", "--product-version", "1.0.0.1316", "--file-version",
                        "1.0.0.7", "--lang", "409", "--codepage", "04e4", path});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(GetFileVersionString(path, key), QStringLiteral("1.0.0.7"));
    EXPECT_EQ(ReadFile(path),
              BuildVersionedExecutable(StubEditorContent(QStringLiteral("1.0.0.1316"),
                                                         QStringLiteral("1.0.0.7"), 0x0409, 0x04E4))
                  .bytes);
}

TEST(VersionResource, StubEditorCommand_BadInputIsRefused)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("editor.exe"));
    const auto refused = [](const QStringList& args) {
        const ProcessResult result = RunVendor(args);
        EXPECT_EQ(result.exitCode, 2);
        return QString::fromUtf8(result.err.trimmed());
    };
    EXPECT_EQ(refused({"stub-editor", path}), "tovarinth-vendor: --product-version is required");
    EXPECT_EQ(refused({"stub-editor", "--product-version", "1.0"}),
              "tovarinth-vendor: no OUT given");
    EXPECT_EQ(refused({"stub-editor", "--product-version"}),
              "tovarinth-vendor: --product-version needs a value");
    EXPECT_EQ(refused({"stub-editor", "--product-version", "1.0", "--lang", "12345", path}),
              "tovarinth-vendor: --lang: \"12345\" is not 1 to 4 hex digits");
    EXPECT_EQ(refused({"stub-editor", "--product-version", "1.0", "--codepage", "xyz", path}),
              "tovarinth-vendor: --codepage: \"xyz\" is not 1 to 4 hex digits");
    EXPECT_EQ(refused({"stub-editor", "--product-version", "1.0", "--icon", "a", path}),
              "tovarinth-vendor: unknown option --icon");
    EXPECT_EQ(refused({"stub-editor", "--product-version", "1.0", path, path}),
              "tovarinth-vendor: more than one OUT given");
    EXPECT_FALSE(QFile::exists(path));
}

// binutils reads PE images too: it must agree that ours are well formed and
// find the RT_VERSION resource of the size we wrote.
TEST(VersionResource, ObjdumpReadsTheStub)
{
    if (QStandardPaths::findExecutable(QStringLiteral("objdump")).isEmpty())
        GTEST_SKIP() << "objdump is not installed";
    QTemporaryDir dir;
    for (const bool plus : {false, true}) {
        VersionResourceContent content = StubEditorContent(QStringLiteral("1.0.0.1316"));
        content.pe32Plus = plus;
        const BuiltExecutable built = BuildVersionedExecutable(content);
        const QString path =
            dir.filePath(plus ? QStringLiteral("e64.exe") : QStringLiteral("e32.exe"));
        ASSERT_TRUE(WriteFile(path, built.bytes));
        const ProcessResult dump = RunProcess(QStringLiteral("objdump"), {"-p", path});
        ASSERT_EQ(dump.exitCode, 0) << dump.err.toStdString();
        const QString text = QString::fromUtf8(dump.out);
        EXPECT_TRUE(text.contains(plus ? QStringLiteral("file format pei-x86-64")
                                       : QStringLiteral("file format pei-i386")))
            << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("The .rsrc Resource Directory section")))
            << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("Entry: ID: 0x000010"))) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("Entry: ID: 0x000804"))) << text.toStdString();
        const qsizetype size = qsizetype(quint8(built.bytes[built.dataEntry + 4])) |
                               qsizetype(quint8(built.bytes[built.dataEntry + 5])) << 8;
        const QString leaf = QStringLiteral("Leaf: Addr: 0x%1, Size: 0x%2")
                                 .arg(kBuiltResourceRva + 88, 6, 16, QLatin1Char('0'))
                                 .arg(size, 6, 16, QLatin1Char('0'));
        EXPECT_TRUE(text.contains(leaf)) << leaf.toStdString() << "\n" << text.toStdString();
        EXPECT_EQ(dump.err, QByteArray());
    }
}
