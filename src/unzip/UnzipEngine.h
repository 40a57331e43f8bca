#pragma once

#include <QByteArray>
#include <QList>
#include <cstdint>

// The extraction engine behind mUnzip, built on libzip. It keeps the calling
// convention of Info-ZIP's UnZip 5.5 Windows library: an option record, a
// callback table and one call that extracts a whole archive and answers with
// UnZip's return codes. Messages are UnZip's, sent to the print callback.

// UnZip's documented return codes (unzip.h, "return (and exit) values").
namespace UnzipCode {
constexpr int32_t Ok = 0;
constexpr int32_t Warning = 1;      // something was skipped or mended
constexpr int32_t Error = 2;        // damaged member data (bad CRC, bad compressed data)
constexpr int32_t BadError = 3;     // damaged archive structure
constexpr int32_t NoZip = 9;        // archive missing or not a zip archive
constexpr int32_t NoMatch = 11;     // no member was found to extract
constexpr int32_t Bomb = 12;        // overlapping members or past the extraction limits
constexpr int32_t DiskFull = 50;    // cannot create or write an output file
constexpr int32_t UserAbort = 80;   // the service callback asked to stop
constexpr int32_t Unsupported = 81; // compression or encryption libzip cannot read
constexpr int32_t BadPassword = 82; // every member was skipped for want of a password
} // namespace UnzipCode

// The answers of the replace callback (IDM_REPLACE_* of UnZip's Windows library).
namespace UnzipReplaceAnswer {
constexpr int32_t No = 100;
constexpr int32_t Yes = 102;
constexpr int32_t All = 103;
constexpr int32_t None = 104;
} // namespace UnzipReplaceAnswer

// The answers of the password callback: 0 a password was entered; anything
// else skips the member (after one try of the empty password); -2 also stops
// all further password questions of this extraction.
namespace UnzipPasswordAnswer {
constexpr int32_t Entered = 0;
constexpr int32_t CancelAll = -2;
} // namespace UnzipPasswordAnswer

// The option record: 17 fields in the library's documented order. Numbers
// are 16-bit values widened to 32 bits; the texts are in the locale's 8-bit
// encoding.
struct UnzipOptionRecord
{
    int32_t ExtractOnlyNewer = 0;  // 1 update: only newer and new files
    int32_t SpaceToUnderscore = 0; // 2
    int32_t PromptToOverwrite = 0; // 3 ask through the replace callback
    int32_t fQuiet = 0;            // 4 0 all messages, 1 warnings and errors, 2 or more none
    int32_t ncflag = 0;            // 5 write to standard output (carried only)
    int32_t ntflag = 0;            // 6 test the archive, write nothing
    int32_t nvflag = 0;            // 7 list the members to the list callback, write nothing
    int32_t nfflag = 0;            // 8 freshen: only files that exist and are older
    int32_t nzflag = 0;            // 9 print the archive comment
    int32_t ndflag = 0;            // 10 recreate folders (0: every member straight into the target)
    int32_t noflag = 0;            // 11 overwrite existing files without asking
    int32_t naflag = 0;            // 12 line-end translation (carried only)
    int32_t nZIflag = 0;           // 13 archive information mode (carried only)
    int32_t C_flag = 0;            // 14 case matching of name lists (no lists are passed)
    int32_t fPrivilege = 0;        // 15 access-control lists (carried only)
    QByteArray lpszZipFN;          // 16 archive path
    QByteArray lpszExtractDir;     // 17 target folder; empty is the current folder
};

// One member as the list callback receives it.
struct UnzipMemberReport
{
    uint64_t size = 0;
    uint64_t compressedSize = 0;
    int32_t compressionFactor = 0; // per cent saved
    int32_t month = 0, day = 0, year = 0, hour = 0, minute = 0;
    const char* name = nullptr;
    const char* method = nullptr; // "Stored", "Defl:N", ...
    uint32_t crc = 0;
    bool encrypted = false;
};

// The callback table, in the library's order. Callbacks run on the calling
// thread during Wiz_SingleEntryUnzip. A null entry is not called.
struct UnzipCallbackTable
{
    int32_t (*print)(const char* buffer, uint32_t length) = nullptr;
    int32_t (*sound)() = nullptr;
    // Gets the output path (zero-terminated, at most 256 bytes) of a file that
    // exists already; answers with an UnzipReplaceAnswer.
    int32_t (*replace)(const char* fileName) = nullptr;
    // Writes a zero-terminated password of at most size - 1 bytes into buffer.
    int32_t (*password)(char* buffer, int32_t size, const char* prompt, const char* name) = nullptr;
    int32_t (*listMember)(const UnzipMemberReport& member) = nullptr;
    // Called before each member; a non-zero answer stops the extraction (80).
    int32_t (*service)(const char* name, uint64_t size) = nullptr;
    // Totals, filled by the engine.
    uint64_t totalSizeComp = 0;
    uint64_t totalSize = 0;
    int32_t compFactor = 0;
    uint32_t numMembers = 0;
    uint16_t cchComment = 0;
};

// Limits beyond which an archive is taken for a zip bomb: nothing is written
// past them. Tests lower them.
struct UnzipLimits
{
    // Larger than any package a user downloads, small enough to protect the disk.
    uint64_t maxTotalBytes = uint64_t{4} << 30;
    // Far more camera-model packages than a maker has; a directory this large
    // is an attack.
    uint64_t maxMembers = 100000;
};
UnzipLimits& ExtractionLimits();

// Extracts (or tests or lists) every member of dcl.lpszZipFN into
// dcl.lpszExtractDir and returns an UnzipCode. Nothing is ever written outside
// the target folder: absolute names, "..", backslashes and drive letters are
// mended, symbolic links are neither created nor followed, and each file is
// written to a temporary name and renamed into place only after its CRC has
// been checked.
int32_t Wiz_SingleEntryUnzip(const UnzipOptionRecord& dcl, UnzipCallbackTable& uf);

// A member's name made safe for the target folder: separators "/" and "\",
// absolute paths and drive letters stripped, "." and ".." folders dropped.
// With honorDirectories false only the last component is kept.
struct MendedName
{
    QList<QByteArray> folders; // each a single safe component
    QByteArray file;           // empty for a folder entry
    bool isFolder = false;     // the name ends with a separator
    bool strippedAbsolute = false;
    bool strippedParent = false; // ".." folders were dropped
    bool unusable = false;       // a file entry whose last component is empty, "." or ".."
};
MendedName MendMemberName(const QByteArray& name, bool honorDirectories, bool spaceToUnderscore);
