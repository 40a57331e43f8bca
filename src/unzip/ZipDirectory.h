#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

// The central directory of a zip archive read straight from its bytes. libzip
// does not tell where each member's local header lies; this reader does, so
// that archives whose members share bytes (the overlapping kind of zip bomb)
// can be refused before anything is written.
class ZipDirectory
{
public:
    struct Entry
    {
        uint64_t localHeaderOffset = 0;
        uint64_t compressedSize = 0;
        uint64_t size = 0;
        // Bytes from the local header's start to the end of the member's data;
        // 0 until the local header has been read.
        uint64_t span = 0;
    };

    enum class Status
    {
        Ok,
        CannotOpen,
        NoDirectory, // no end-of-central-directory record: not a zip archive
        Damaged,     // records that contradict each other or run past the file
    };

    // Reads the end record and, unless it declares more than maxEntries
    // members, every central-directory entry and its local header.
    static ZipDirectory Read(const QString& path, uint64_t maxEntries);

    Status status() const { return status_; }
    // The member count the end record declares (also when too many to read).
    uint64_t declaredCount() const { return declaredCount_; }
    const std::vector<Entry>& entries() const { return entries_; }
    uint64_t directoryOffset() const { return directoryOffset_; }

    // True when two members' local header and data ranges share a byte, or a
    // member's range runs into the central directory.
    bool HasOverlappingMembers() const;

private:
    Status status_ = Status::CannotOpen;
    uint64_t declaredCount_ = 0;
    uint64_t directoryOffset_ = 0;
    std::vector<Entry> entries_;
};
