#include "VersionResourceWriter.h"

#include <QStringList>

// Layouts from "PE Format" (Microsoft Learn) and the Win32 documentation of
// VS_VERSIONINFO and VS_FIXEDFILEINFO.

namespace {

constexpr quint32 kFileAlignment = 0x200;
constexpr quint32 kSectionAlignment = 0x1000;
constexpr quint32 kHeadersSize = 0x200;
constexpr quint32 kPeOffset = 0x80;
constexpr quint32 kCodeRva = 0x1000;
constexpr quint32 kRtVersion = 16;
constexpr quint32 kVersionResourceId = 1;
constexpr quint32 kSubdirectoryBit = 0x80000000u;

void Put16(QByteArray& bytes, qsizetype at, quint32 value)
{
    bytes[at] = char(value & 0xFF);
    bytes[at + 1] = char(value >> 8 & 0xFF);
}

void Put32(QByteArray& bytes, qsizetype at, quint32 value)
{
    Put16(bytes, at, value & 0xFFFF);
    Put16(bytes, at + 2, value >> 16);
}

void Put64(QByteArray& bytes, qsizetype at, quint64 value)
{
    Put32(bytes, at, quint32(value));
    Put32(bytes, at + 4, quint32(value >> 32));
}

void Append16(QByteArray& bytes, quint32 value)
{
    bytes.append(2, '\0');
    Put16(bytes, bytes.size() - 2, value);
}

void Append32(QByteArray& bytes, quint32 value)
{
    bytes.append(4, '\0');
    Put32(bytes, bytes.size() - 4, value);
}

void PadTo(QByteArray& bytes, qsizetype alignment)
{
    bytes.append((alignment - bytes.size() % alignment) % alignment, '\0');
}

quint32 AlignUp(quint32 value, quint32 alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

void AppendUtf16z(QByteArray& bytes, const QString& text)
{
    for (const QChar unit : text)
        Append16(bytes, unit.unicode());
    Append16(bytes, 0);
}

// One version-resource block: header, key, value and children, each part
// 32-bit aligned from the block's start (blocks start aligned themselves).
QByteArray Block(const QString& key, quint16 type, const QByteArray& value, quint16 valueLength,
                 const QList<QByteArray>& children = {})
{
    QByteArray block(6, '\0');
    AppendUtf16z(block, key);
    PadTo(block, 4);
    block.append(value);
    for (const QByteArray& child : children) {
        PadTo(block, 4);
        block.append(child);
    }
    Put16(block, 0, quint32(block.size()));
    Put16(block, 2, valueLength);
    Put16(block, 4, type);
    return block;
}

QByteArray StringBlock(const QString& key, const QString& value)
{
    QByteArray text;
    AppendUtf16z(text, value);
    return Block(key, 1, text, quint16(value.size() + 1));
}

// Four 16-bit parts of a dotted version as the two 32-bit halves.
std::pair<quint32, quint32> VersionWords(const QString& dotted)
{
    const QStringList parts = dotted.split(u'.');
    quint32 numbers[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4 && i < parts.size(); ++i) {
        quint32 number = 0;
        for (const QChar c : parts.at(i)) {
            if (!c.isDigit() || c.unicode() > '9')
                break;
            number = qMin<quint32>(number * 10 + (c.unicode() - '0'), 0xFFFF);
        }
        numbers[i] = number;
    }
    return {numbers[0] << 16 | numbers[1], numbers[2] << 16 | numbers[3]};
}

QByteArray FixedFileInfo(const VersionResourceContent& content)
{
    const auto file = VersionWords(content.fileVersion);
    const auto product = VersionWords(content.productVersion);
    QByteArray info;
    Append32(info, 0xFEEF04BD); // dwSignature
    Append32(info, 0x00010000); // dwStrucVersion 1.0
    Append32(info, file.first);
    Append32(info, file.second);
    Append32(info, product.first);
    Append32(info, product.second);
    Append32(info, 0x3F);       // dwFileFlagsMask: all defined flags
    Append32(info, 0);          // dwFileFlags
    Append32(info, 0x00040004); // dwFileOS: VOS_NT_WINDOWS32
    Append32(info, 1);          // dwFileType: VFT_APP
    Append32(info, 0);          // dwFileSubtype
    Append32(info, 0);          // dwFileDateMS
    Append32(info, 0);          // dwFileDateLS
    return info;
}

QByteArray VersionInfo(const VersionResourceContent& content)
{
    QList<QByteArray> strings;
    for (const auto& [key, value] : content.strings)
        strings.append(StringBlock(key, value));
    const QString tag = !content.tableTag.isEmpty()
                            ? content.tableTag
                            : QStringLiteral("%1%2")
                                  .arg(content.language, 4, 16, QLatin1Char('0'))
                                  .arg(content.codePage, 4, 16, QLatin1Char('0'))
                                  .toUpper();
    QList<QByteArray> children = {
        Block(QStringLiteral("StringFileInfo"), 1, {}, 0, {Block(tag, 1, {}, 0, strings)})};
    if (content.withTranslation) {
        QByteArray pair;
        Append16(pair, content.language);
        Append16(pair, content.codePage);
        children.append(Block(QStringLiteral("VarFileInfo"), 1, {}, 0,
                              {Block(QStringLiteral("Translation"), 0, pair, 4)}));
    }
    const QByteArray fixed = FixedFileInfo(content);
    return Block(QStringLiteral("VS_VERSION_INFO"), 0, fixed, quint16(fixed.size()), children);
}

// The .rsrc section: type, name and language directories with one entry
// each, the data entry, then the resource itself.
QByteArray ResourceSection(const VersionResourceContent& content, BuiltExecutable& layout)
{
    const auto directory = [](QByteArray& bytes, quint32 id, quint32 target) {
        bytes.append(12, '\0'); // characteristics, time stamp, version
        Append16(bytes, 0);     // named entries
        Append16(bytes, 1);     // ID entries
        Append32(bytes, id);
        Append32(bytes, target);
    };
    QByteArray section;
    directory(section, kRtVersion, kSubdirectoryBit | 24);
    directory(section, kVersionResourceId, kSubdirectoryBit | 48);
    directory(section, content.language, 72);
    const QByteArray info = VersionInfo(content);
    Append32(section, kBuiltResourceRva + 88); // OffsetToData
    Append32(section, quint32(info.size()));
    Append32(section, 0); // code page
    Append32(section, 0); // reserved
    section.append(info);
    layout.nameDirectory = 24;
    layout.languageDirectory = 48;
    layout.dataEntry = 72;
    layout.versionInfo = 88;
    return section;
}

} // namespace

VersionResourceContent StubEditorContent(const QString& productVersion, const QString& fileVersion,
                                         quint16 language, quint16 codePage)
{
    VersionResourceContent content;
    content.productVersion = productVersion;
    content.fileVersion = fileVersion.isEmpty() ? productVersion : fileVersion;
    content.language = language;
    content.codePage = codePage;
    content.strings = {
        {QStringLiteral("CompanyName"), QStringLiteral("Kestrovia")},
        {QStringLiteral("FileDescription"), QStringLiteral("Kestrovia Metadata Editor")},
        {QStringLiteral("ProductVersion"), content.productVersion},
        {QStringLiteral("FileVersion"), content.fileVersion}};
    return content;
}

BuiltExecutable BuildVersionedExecutable(const VersionResourceContent& content)
{
    BuiltExecutable built;
    const QByteArray resources = ResourceSection(content, built);
    const QByteArray code("\x31\xC0\xC3", 3); // xor eax, eax; ret
    const quint32 resourceRaw = AlignUp(quint32(resources.size()), kFileAlignment);
    const quint32 resourceFileOffset = kHeadersSize + kFileAlignment;

    QByteArray& image = built.bytes;
    image.fill('\0', kHeadersSize);
    // MS-DOS header and the customary stub that says the program needs Windows.
    Put16(image, 0x00, 'M' | 'Z' << 8);
    Put16(image, 0x02, 0x90); // bytes on the last page
    Put16(image, 0x04, 3);    // pages
    Put16(image, 0x08, 4);    // header paragraphs
    Put16(image, 0x0C, 0xFFFF);
    Put16(image, 0x10, 0xB8);
    Put16(image, 0x18, 0x40);
    Put32(image, 0x3C, kPeOffset);
    const QByteArray stub =
        QByteArray("\x0E\x1F\xBA\x0E\x00\xB4\x09\xCD\x21\xB8\x01\x4C\xCD\x21", 14) +
        "This program cannot be run in DOS mode.\r\r\n$";
    image.replace(0x40, stub.size(), stub);

    const qsizetype coff = kPeOffset + 4;
    const qsizetype optional = coff + 20;
    const quint16 optionalSize = content.pe32Plus ? 240 : 224;
    Put32(image, kPeOffset, 'P' | 'E' << 8);
    Put16(image, coff + 0, content.pe32Plus ? 0x8664 : 0x14C); // AMD64 / i386
    Put16(image, coff + 2, 2);                                 // sections
    Put16(image, coff + 16, optionalSize);
    // Executable, relocations stripped, and 32-bit words or large addresses.
    Put16(image, coff + 18, content.pe32Plus ? 0x0023 : 0x0103);

    Put16(image, optional + 0, content.pe32Plus ? 0x20B : 0x10B);
    image[optional + 2] = 14;                   // linker version
    Put32(image, optional + 4, kFileAlignment); // SizeOfCode
    Put32(image, optional + 8, resourceRaw);    // SizeOfInitializedData
    Put32(image, optional + 16, kCodeRva);      // AddressOfEntryPoint
    Put32(image, optional + 20, kCodeRva);      // BaseOfCode
    if (content.pe32Plus) {
        Put64(image, optional + 24, 0x140000000ull); // ImageBase
    } else {
        Put32(image, optional + 24, kBuiltResourceRva); // BaseOfData
        Put32(image, optional + 28, 0x400000);          // ImageBase
    }
    Put32(image, optional + 32, kSectionAlignment);
    Put32(image, optional + 36, kFileAlignment);
    Put16(image, optional + 40, 6); // operating system 6.0
    Put16(image, optional + 48, 6); // subsystem 6.0
    Put32(image, optional + 56,
          kBuiltResourceRva + AlignUp(quint32(resources.size()), kSectionAlignment)); // SizeOfImage
    Put32(image, optional + 60, kHeadersSize);
    Put16(image, optional + 68, 2);      // Windows GUI
    Put16(image, optional + 70, 0x8100); // NX compatible, terminal-server aware
    qsizetype directories = 0;
    if (content.pe32Plus) {
        Put64(image, optional + 72, 0x100000);
        Put64(image, optional + 80, 0x1000);
        Put64(image, optional + 88, 0x100000);
        Put64(image, optional + 96, 0x1000);
        Put32(image, optional + 108, 16);
        directories = optional + 112;
    } else {
        Put32(image, optional + 72, 0x100000);
        Put32(image, optional + 76, 0x1000);
        Put32(image, optional + 80, 0x100000);
        Put32(image, optional + 84, 0x1000);
        Put32(image, optional + 92, 16);
        directories = optional + 96;
    }
    built.resourceDataDirectory = directories + 2 * 8;
    Put32(image, built.resourceDataDirectory, kBuiltResourceRva);
    Put32(image, built.resourceDataDirectory + 4, quint32(resources.size()));

    const qsizetype sections = optional + optionalSize;
    const auto section = [&image](qsizetype at, const char* name, quint32 virtualSize,
                                  quint32 address, quint32 rawSize, quint32 rawOffset,
                                  quint32 characteristics) {
        image.replace(at, qsizetype(qstrlen(name)), name);
        Put32(image, at + 8, virtualSize);
        Put32(image, at + 12, address);
        Put32(image, at + 16, rawSize);
        Put32(image, at + 20, rawOffset);
        Put32(image, at + 36, characteristics);
    };
    section(sections, ".text", quint32(code.size()), kCodeRva, kFileAlignment, kHeadersSize,
            0x60000020); // code, executable, readable
    built.resourceSectionHeader = sections + 40;
    section(built.resourceSectionHeader, ".rsrc", quint32(resources.size()), kBuiltResourceRva,
            resourceRaw, resourceFileOffset, 0x40000040); // initialised data, readable

    image.append(code);
    PadTo(image, kFileAlignment);
    image.append(resources);
    PadTo(image, kFileAlignment);

    built.resourceDirectory = resourceFileOffset;
    built.nameDirectory += resourceFileOffset;
    built.languageDirectory += resourceFileOffset;
    built.dataEntry += resourceFileOffset;
    built.versionInfo += resourceFileOffset;
    return built;
}
