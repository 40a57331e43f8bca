#include "VersionResource.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <algorithm>
#include <optional>

// The layouts read here are those of the PE/COFF format ("PE Format", Microsoft
// Learn) and of the version resource (VS_VERSIONINFO, StringFileInfo,
// StringTable, String, VarFileInfo, Var in the Win32 documentation).

namespace {

constexpr quint32 kRtVersion = 16;
constexpr quint32 kSubdirectoryBit = 0x80000000u;
constexpr quint16 kPe32Magic = 0x10B;
constexpr quint16 kPe32PlusMagic = 0x20B;
constexpr int kResourceDirectoryIndex = 2;
constexpr qint64 kDirectoryHeaderSize = 16;
constexpr qint64 kDirectoryEntrySize = 8;
constexpr qint64 kSectionHeaderSize = 40;
constexpr qint64 kBlockHeaderSize = 6; // wLength, wValueLength, wType

// Little-endian reads that never leave the buffer.
class ByteView
{
public:
    explicit ByteView(const QByteArray& bytes) : bytes_(bytes) {}

    qint64 size() const { return bytes_.size(); }
    bool Has(qint64 offset, qint64 length) const
    {
        return offset >= 0 && length >= 0 && offset <= size() && length <= size() - offset;
    }
    std::optional<quint16> U16(qint64 offset) const
    {
        if (!Has(offset, 2))
            return std::nullopt;
        return quint16(Byte(offset) | Byte(offset + 1) << 8);
    }
    std::optional<quint32> U32(qint64 offset) const
    {
        if (!Has(offset, 4))
            return std::nullopt;
        return quint32(Byte(offset)) | quint32(Byte(offset + 1)) << 8 |
               quint32(Byte(offset + 2)) << 16 | quint32(Byte(offset + 3)) << 24;
    }
    QByteArray Slice(qint64 offset, qint64 length) const { return bytes_.mid(offset, length); }

private:
    quint32 Byte(qint64 offset) const { return quint8(bytes_.at(offset)); }
    const QByteArray& bytes_;
};

qint64 Align4(qint64 offset)
{
    return (offset + 3) & ~qint64(3);
}

// The parts of the headers needed to find and map the resource data.
class PeImage
{
public:
    explicit PeImage(const ByteView& view) : view_(view) {}

    bool ParseHeaders()
    {
        if (view_.size() < 64 || view_.U16(0) != quint16('M' | 'Z' << 8))
            return false;
        const auto peOffset = view_.U32(0x3C);
        if (!peOffset || view_.U32(*peOffset) != quint32('P' | 'E' << 8))
            return false;
        const qint64 coff = qint64(*peOffset) + 4;
        const auto sectionCount = view_.U16(coff + 2);
        const auto optionalSize = view_.U16(coff + 16);
        const qint64 optional = coff + 20;
        const auto magic = view_.U16(optional);
        if (!sectionCount || !optionalSize || !magic)
            return false;
        qint64 countField = 0;
        if (*magic == kPe32Magic)
            countField = 92;
        else if (*magic == kPe32PlusMagic)
            countField = 108;
        else
            return false;
        const auto directoryCount = view_.U32(optional + countField);
        const qint64 directoryEntry = optional + countField + 4 + kResourceDirectoryIndex * 8;
        if (!directoryCount || *directoryCount <= quint32(kResourceDirectoryIndex) ||
            directoryEntry + 8 > optional + *optionalSize)
            return false;
        const auto resourceRva = view_.U32(directoryEntry);
        if (!resourceRva || *resourceRva == 0)
            return false;
        resourceRva_ = *resourceRva;
        sectionTable_ = optional + *optionalSize;
        sectionCount_ = *sectionCount;
        return view_.Has(sectionTable_, sectionCount_ * kSectionHeaderSize);
    }

    quint32 ResourceRva() const { return resourceRva_; }

    // The file offset of length bytes at rva, when they all lie in the raw
    // data of one section and in the file.
    std::optional<qint64> Map(qint64 rva, qint64 length) const
    {
        for (qint64 i = 0; i < sectionCount_; ++i) {
            const qint64 header = sectionTable_ + i * kSectionHeaderSize;
            const qint64 virtualSize = *view_.U32(header + 8);
            const qint64 address = *view_.U32(header + 12);
            const qint64 rawSize = *view_.U32(header + 16);
            const qint64 rawOffset = *view_.U32(header + 20);
            // Beyond its raw data a section is zero-filled in memory, and
            // beyond its virtual size it is not there at all.
            const qint64 span = virtualSize != 0 ? qMin(virtualSize, rawSize) : rawSize;
            if (rva < address || rva - address >= span || length > span - (rva - address))
                continue;
            const qint64 offset = rawOffset + (rva - address);
            if (view_.Has(offset, length))
                return offset;
        }
        return std::nullopt;
    }

    // The entries of the resource directory at rva: each one's name or ID
    // and its target. No entries when the directory is not all in the file.
    struct Entry
    {
        quint32 name;
        quint32 target;
    };
    QList<Entry> DirectoryEntries(qint64 directoryRva) const
    {
        const auto directory = Map(directoryRva, kDirectoryHeaderSize);
        if (!directory)
            return {};
        const qint64 count = qint64(*view_.U16(*directory + 12)) + *view_.U16(*directory + 14);
        const auto first = Map(directoryRva + kDirectoryHeaderSize, count * kDirectoryEntrySize);
        if (!first)
            return {};
        QList<Entry> entries;
        entries.reserve(count);
        for (qint64 at = *first; at < *first + count * kDirectoryEntrySize;
             at += kDirectoryEntrySize)
            entries.append(Entry{*view_.U32(at), *view_.U32(at + 4)});
        return entries;
    }

    // The bytes of the first RT_VERSION resource. The tree has exactly three
    // levels (type, name, language), so a directory that points back at
    // itself ends the walk at the level where a data entry must be.
    std::optional<QByteArray> VersionResource() const
    {
        const qint64 root = resourceRva_;
        const QList<Entry> types = DirectoryEntries(root);
        const auto type = std::find_if(types.begin(), types.end(),
                                       [](const Entry& entry) { return entry.name == kRtVersion; });
        if (type == types.end() || !(type->target & kSubdirectoryBit))
            return std::nullopt;
        const QList<Entry> names = DirectoryEntries(root + (type->target & ~kSubdirectoryBit));
        if (names.isEmpty() || !(names.first().target & kSubdirectoryBit))
            return std::nullopt;
        const QList<Entry> languages =
            DirectoryEntries(root + (names.first().target & ~kSubdirectoryBit));
        if (languages.isEmpty() || (languages.first().target & kSubdirectoryBit))
            return std::nullopt;
        const auto dataEntry = Map(root + languages.first().target, 16);
        if (!dataEntry)
            return std::nullopt;
        const quint32 dataRva = *view_.U32(*dataEntry);
        const quint32 dataSize = *view_.U32(*dataEntry + 4);
        const auto data = Map(dataRva, dataSize);
        if (!data)
            return std::nullopt;
        return view_.Slice(*data, dataSize);
    }

private:
    const ByteView& view_;
    quint32 resourceRva_ = 0;
    qint64 sectionTable_ = 0;
    qint64 sectionCount_ = 0;
};

// One block of the version resource: header, key, value, children. Offsets
// are from the start of the resource, the base of its 32-bit alignment.
struct Block
{
    qint64 end = 0;
    quint16 valueLength = 0;
    quint16 type = 0;
    QString key;
    qint64 valueStart = 0;
    qint64 childrenStart = 0;
};

std::optional<Block> ReadBlock(const ByteView& view, qint64 start, qint64 limit)
{
    const auto length = view.U16(start);
    if (!length || *length < kBlockHeaderSize)
        return std::nullopt;
    Block block;
    block.end = qMin(start + *length, limit);
    block.valueLength = *view.U16(start + 2);
    block.type = *view.U16(start + 4);
    qint64 at = start + kBlockHeaderSize;
    for (;; at += 2) {
        if (at + 2 > block.end)
            return std::nullopt; // a key without its terminator
        const quint16 unit = *view.U16(at);
        if (unit == 0)
            break;
        block.key.append(QChar(unit));
    }
    block.valueStart = Align4(at + 2);
    // A text value counts its length in characters, a binary one in bytes.
    const qint64 valueBytes = block.type == 1 ? qint64(block.valueLength) * 2 : block.valueLength;
    block.childrenStart = Align4(block.valueStart + valueBytes);
    return block;
}

std::optional<Block> FindChild(const ByteView& view, const Block& parent, const QString& key)
{
    qint64 at = parent.childrenStart;
    while (at + kBlockHeaderSize <= parent.end) {
        const auto child = ReadBlock(view, at, parent.end);
        if (!child)
            return std::nullopt;
        if (child->key.compare(key, Qt::CaseInsensitive) == 0)
            return child;
        at = Align4(child->end); // every block is at least 6 bytes: the walk moves on
    }
    return std::nullopt;
}

// The UTF-16 value of a text block, bounded by its block, up to its first NUL.
QString TextValue(const ByteView& view, const Block& block)
{
    const qint64 end = qMin(block.valueStart + qint64(block.valueLength) * 2, block.end);
    QString text;
    for (qint64 at = block.valueStart; at + 2 <= end; at += 2) {
        const quint16 unit = *view.U16(at);
        if (unit == 0)
            break;
        text.append(QChar(unit));
    }
    return text;
}

QString LookUp(const QByteArray& resource, const QString& key)
{
    const ByteView view(resource);
    const auto root = ReadBlock(view, 0, view.size());
    if (!root || root->key != QLatin1String("VS_VERSION_INFO"))
        return {};

    const auto varInfo = FindChild(view, *root, QStringLiteral("VarFileInfo"));
    const auto translation =
        varInfo ? FindChild(view, *varInfo, QStringLiteral("Translation")) : std::nullopt;
    if (!translation || translation->valueLength < 4 ||
        translation->valueStart + 4 > translation->end)
        return {};
    const quint32 language = *view.U16(translation->valueStart);
    const quint32 codePage = *view.U16(translation->valueStart + 2);
    const QString tag =
        QStringLiteral("%1").arg(language << 16 | codePage, 8, 16, QLatin1Char('0')).toUpper();

    const auto stringInfo = FindChild(view, *root, QStringLiteral("StringFileInfo"));
    const auto table = stringInfo ? FindChild(view, *stringInfo, tag) : std::nullopt;
    const auto string = table ? FindChild(view, *table, key) : std::nullopt;
    if (!string)
        return {};
    return TextValue(view, *string).left(kMaxVersionValueChars);
}

} // namespace

QString VersionStringFromImage(const QByteArray& image, const QString& key)
{
    const ByteView view(image);
    PeImage pe(view);
    if (!pe.ParseHeaders())
        return {};
    const auto resource = pe.VersionResource();
    if (!resource)
        return {};
    return LookUp(*resource, key);
}

QString GetFileVersionString(const QString& file, QString& key)
{
    if (key.isEmpty())
        key = QStringLiteral("ProductVersion");
    if (!QFileInfo(file).isFile())
        return {};
    QFile image(file);
    if (!image.open(QIODevice::ReadOnly))
        return {};
    // read(n) allocates for n bytes before it reads: the limit alone took over
    // 64 MiB of heap (a heap profile's peak) for an editor file of a few KiB.
    return VersionStringFromImage(image.read(std::min(image.size(), kMaxVersionImageBytes)), key);
}
