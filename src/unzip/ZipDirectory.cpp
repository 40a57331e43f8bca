#include "ZipDirectory.h"

#include <QFile>
#include <algorithm>

namespace {

// Record signatures and fixed sizes from PKWARE's APPNOTE.TXT (4.3.7, 4.3.12,
// 4.3.14 to 4.3.16).
constexpr uint32_t kLocalHeaderSig = 0x04034b50;
constexpr uint32_t kCentralHeaderSig = 0x02014b50;
constexpr uint32_t kEndSig = 0x06054b50;
constexpr uint32_t kZip64EndSig = 0x06064b50;
constexpr uint32_t kZip64LocatorSig = 0x07064b50;
constexpr qint64 kLocalHeaderSize = 30;
constexpr qint64 kCentralHeaderSize = 46;
constexpr qint64 kEndSize = 22;
constexpr qint64 kZip64LocatorSize = 20;
constexpr qint64 kZip64EndSize = 56;
constexpr qint64 kMaxCommentSize = 0xffff;
constexpr uint16_t kZip64ExtraId = 0x0001;

uint16_t Le16(const char* p)
{
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return static_cast<uint16_t>(u[0] | (u[1] << 8));
}

uint32_t Le32(const char* p)
{
    return Le16(p) | (static_cast<uint32_t>(Le16(p + 2)) << 16);
}

uint64_t Le64(const char* p)
{
    return Le32(p) | (static_cast<uint64_t>(Le32(p + 4)) << 32);
}

bool ReadAt(QFile& file, qint64 offset, qint64 size, QByteArray& out)
{
    if (offset < 0 || size < 0 || offset > file.size() || size > file.size() - offset)
        return false;
    if (!file.seek(offset))
        return false;
    out = file.read(size);
    return out.size() == size;
}

// Replaces the 32-bit fields that are all ones with their values from the
// Zip64 extra field, in the order APPNOTE 4.5.3 gives.
bool ApplyZip64Extra(const char* extra, qsizetype size, ZipDirectory::Entry& entry, bool sizeMax,
                     bool compMax, bool offsetMax)
{
    qsizetype pos = 0;
    while (pos + 4 <= size) {
        const uint16_t id = Le16(extra + pos);
        const uint16_t length = Le16(extra + pos + 2);
        if (pos + 4 + length > size)
            return false;
        if (id == kZip64ExtraId) {
            const char* p = extra + pos + 4;
            qsizetype left = length;
            for (auto [wanted, field] :
                 {std::pair{sizeMax, &entry.size}, std::pair{compMax, &entry.compressedSize},
                  std::pair{offsetMax, &entry.localHeaderOffset}}) {
                if (!wanted)
                    continue;
                if (left < 8)
                    return false;
                *field = Le64(p);
                p += 8;
                left -= 8;
            }
            return true;
        }
        pos += 4 + length;
    }
    return !(sizeMax || compMax || offsetMax);
}

} // namespace

ZipDirectory ZipDirectory::Read(const QString& path, uint64_t maxEntries)
{
    ZipDirectory dir;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return dir;
    const qint64 fileSize = file.size();
    dir.status_ = Status::NoDirectory;

    // The end record is the last 22 bytes plus at most a 64 KiB comment.
    const qint64 tailSize = std::min(fileSize, kEndSize + kMaxCommentSize);
    QByteArray tail;
    if (tailSize < kEndSize || !ReadAt(file, fileSize - tailSize, tailSize, tail))
        return dir;
    qsizetype endPos = -1;
    for (qsizetype i = tail.size() - kEndSize; i >= 0; --i) {
        if (Le32(tail.constData() + i) == kEndSig &&
            i + kEndSize + Le16(tail.constData() + i + 20) <= tail.size()) {
            endPos = i;
            break;
        }
    }
    if (endPos < 0)
        return dir;
    dir.status_ = Status::Damaged;
    const char* end = tail.constData() + endPos;
    const qint64 endOffset = fileSize - tailSize + endPos;
    uint64_t count = Le16(end + 10);
    uint64_t cdSize = Le32(end + 12);
    uint64_t cdOffset = Le32(end + 16);
    if (count == 0xffff || cdSize == 0xffffffff || cdOffset == 0xffffffff) {
        QByteArray locator, end64;
        if (endOffset >= kZip64LocatorSize &&
            ReadAt(file, endOffset - kZip64LocatorSize, kZip64LocatorSize, locator) &&
            Le32(locator.constData()) == kZip64LocatorSig) {
            const uint64_t end64Offset = Le64(locator.constData() + 8);
            if (end64Offset > static_cast<uint64_t>(fileSize) ||
                !ReadAt(file, static_cast<qint64>(end64Offset), kZip64EndSize, end64) ||
                Le32(end64.constData()) != kZip64EndSig)
                return dir;
            count = Le64(end64.constData() + 32);
            cdSize = Le64(end64.constData() + 40);
            cdOffset = Le64(end64.constData() + 48);
        }
    }
    dir.declaredCount_ = count;
    dir.directoryOffset_ = cdOffset;
    if (count > maxEntries)
        return dir;
    if (cdOffset > static_cast<uint64_t>(fileSize) ||
        cdSize > static_cast<uint64_t>(fileSize) - cdOffset || count > cdSize / kCentralHeaderSize)
        return dir;
    QByteArray cd;
    if (!ReadAt(file, static_cast<qint64>(cdOffset), static_cast<qint64>(cdSize), cd))
        return dir;

    dir.entries_.reserve(count);
    qsizetype pos = 0;
    for (uint64_t i = 0; i < count; ++i) {
        if (pos + kCentralHeaderSize > cd.size() || Le32(cd.constData() + pos) != kCentralHeaderSig)
            return dir;
        const char* h = cd.constData() + pos;
        Entry entry;
        entry.compressedSize = Le32(h + 20);
        entry.size = Le32(h + 24);
        const uint16_t nameLength = Le16(h + 28);
        const uint16_t extraLength = Le16(h + 30);
        const uint16_t commentLength = Le16(h + 32);
        entry.localHeaderOffset = Le32(h + 42);
        const qsizetype variable = nameLength + extraLength + commentLength;
        if (pos + kCentralHeaderSize + variable > cd.size())
            return dir;
        if (!ApplyZip64Extra(h + kCentralHeaderSize + nameLength, extraLength, entry,
                             entry.size == 0xffffffff, entry.compressedSize == 0xffffffff,
                             entry.localHeaderOffset == 0xffffffff))
            return dir;
        pos += kCentralHeaderSize + variable;

        QByteArray local;
        if (entry.localHeaderOffset > static_cast<uint64_t>(fileSize) ||
            !ReadAt(file, static_cast<qint64>(entry.localHeaderOffset), kLocalHeaderSize, local) ||
            Le32(local.constData()) != kLocalHeaderSig)
            return dir;
        const uint64_t headerSize =
            kLocalHeaderSize + Le16(local.constData() + 26) + Le16(local.constData() + 28);
        if (entry.compressedSize > static_cast<uint64_t>(fileSize))
            return dir;
        entry.span = headerSize + entry.compressedSize;
        dir.entries_.push_back(entry);
    }
    dir.status_ = Status::Ok;
    return dir;
}

bool ZipDirectory::HasOverlappingMembers() const
{
    std::vector<const Entry*> sorted;
    sorted.reserve(entries_.size());
    for (const Entry& entry : entries_)
        sorted.push_back(&entry);
    std::sort(sorted.begin(), sorted.end(), [](const Entry* a, const Entry* b) {
        return a->localHeaderOffset < b->localHeaderOffset;
    });
    for (size_t i = 0; i < sorted.size(); ++i) {
        const uint64_t endOfMember = sorted[i]->localHeaderOffset + sorted[i]->span;
        const uint64_t limit =
            i + 1 < sorted.size() ? sorted[i + 1]->localHeaderOffset : directoryOffset_;
        if (endOfMember > limit)
            return true;
    }
    return false;
}
