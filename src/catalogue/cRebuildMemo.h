#pragma once

#include "startup/JsonNode.h"
#include "startup/TextHelpers.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// A package descriptor file (extension.cfg) deciphered under the built-in
// key: its text with the zero padding, empty for a file of no bytes; none
// when it cannot be read or deciphered.
std::optional<QString> ReadDescriptor(const QString& path);
// The same for the bytes of a descriptor read from elsewhere (an archive).
std::optional<QString> DecipherDescriptor(const ByteArray& bytes);
// The package a descriptor's text names: its one member "NAME":[models];
// empty when the text is not such a descriptor.
QString DescriptorPackage(const QString& text);

// The name and version a checksum enciphers; empty unless exactly two parts,
// or for a checksum that is not plain hex.
QStringList ChecksumParts(const QString& checksum);

// What a rebuild of the list deciphers and parses, kept until its source
// changes, so that a rebuild over unchanged files costs little more than
// filling the list: enciphered documents by their bytes, descriptors by the
// size, time and identity of their file, and checksums by their text.
class cRebuildMemo
{
public:
    // The enciphered JSON documents a rebuild reads.
    enum Document
    {
        EquipmentDb,
        CatalogueCache,
        kDocuments
    };

    // bytes deciphered under the built-in key and parsed; none when they do
    // not parse. The same bytes as last time give the same document.
    std::optional<JsonNode> Parse(Document which, const QByteArray& bytes);

    // ReadDescriptor of an existing file, skipped while the file's size,
    // modification time and inode stay as they were.
    struct DescriptorRead
    {
        bool exists = false;         // a file (not a folder) is there
        std::optional<QString> text; // as ReadDescriptor gives it
    };
    DescriptorRead Descriptor(const QString& path);

    // ::ChecksumParts, remembered by the checksum's text.
    QStringList ChecksumParts(const QString& checksum);

private:
    struct Parsed
    {
        QByteArray bytes;
        std::optional<JsonNode> document;
    };
    struct Stamp
    {
        int64_t size = -1;
        int64_t modified = 0; // nanoseconds
        uint64_t inode = 0;
        bool operator==(const Stamp&) const = default;
    };
    struct DescriptorFile
    {
        Stamp stamp;
        DescriptorRead read;
    };

    std::optional<Parsed> documents_[kDocuments];
    QHash<QString, DescriptorFile> descriptors_;
    QHash<QString, QStringList> checksums_;
};
