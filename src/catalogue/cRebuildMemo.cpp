#include "cRebuildMemo.h"

#include "Catalogue.h"
#include "JsonLookup.h"
#include "crypto/MachineKey.h"
#include "startup/FileIo.h"

#include <QFile>
#include <QJsonObject>
#include <sys/stat.h>

namespace {

// Kept small: the list of one account has a few thousand packages at most,
// and an entry that is dropped is only read again.
constexpr qsizetype kMaxRemembered = 20000;

} // namespace

std::optional<QString> ReadDescriptor(const QString& path)
{
    return DecipherDescriptor(ReadWholeFile(path));
}

std::optional<QString> DecipherDescriptor(const ByteArray& bytes)
{
    if (!bytes)
        return std::nullopt;
    if (bytes->isEmpty())
        return QString();
    // A length that is not a multiple of 16 deciphers to nothing.
    const ByteArray plain = DecryptBytes(bytes, false);
    if (IsArrayEmpty(plain))
        return std::nullopt;
    return Utf8ToString(plain);
}

QStringList ChecksumParts(const QString& checksum)
{
    if (!IsSafeChecksum(checksum))
        return {};
    const QStringList parts = DecryptHexString(checksum).split(u'@');
    return parts.size() == 2 ? parts : QStringList();
}

QString DescriptorPackage(const QString& text)
{
    const std::optional<JsonNode> parsed = ParseDescriptor(text);
    if (!parsed || !parsed->value().isObject())
        return {};
    const QJsonObject object = parsed->value().toObject();
    if (object.size() != 1 || !object.begin().value().isArray())
        return {};
    return object.begin().key();
}

std::optional<JsonNode> cRebuildMemo::Parse(Document which, const QByteArray& bytes)
{
    std::optional<Parsed>& kept = documents_[which];
    if (kept && kept->bytes == bytes)
        return kept->document;
    kept.reset();
    std::optional<JsonNode> document = JsonNode::parse(Utf8ToString(DecryptBytes(bytes, false)));
    kept = Parsed{bytes, document};
    return document;
}

cRebuildMemo::DescriptorRead cRebuildMemo::Descriptor(const QString& path)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode)) {
        descriptors_.remove(path);
        return {};
    }
    const Stamp stamp{info.st_size,
                      static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
                      info.st_ino};
    const auto found = descriptors_.constFind(path);
    if (found != descriptors_.constEnd() && found->stamp == stamp)
        return found->read;
    const DescriptorRead read{true, ReadDescriptor(path)};
    if (descriptors_.size() >= kMaxRemembered)
        descriptors_.clear();
    descriptors_.insert(path, DescriptorFile{stamp, read});
    return read;
}

QStringList cRebuildMemo::ChecksumParts(const QString& checksum)
{
    const auto found = checksums_.constFind(checksum);
    if (found != checksums_.constEnd())
        return *found;
    const QStringList parts = ::ChecksumParts(checksum);
    if (checksums_.size() >= kMaxRemembered)
        checksums_.clear();
    checksums_.insert(checksum, parts);
    return parts;
}
