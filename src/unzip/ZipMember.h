#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

// One member of a zip archive read without unpacking the rest: the file an
// unpack that puts every member straight into its target folder (no folders)
// would leave under that name, which is the last member of that name at any
// depth. The archive's directory meets the checks the unpack makes before it
// writes anything (links, names it would have to mend, overlapping members,
// the limits); the data of the other members is not read.
struct ZipMember
{
    enum class Status
    {
        Ok,
        NotZip,  // missing, unreadable or not a zip archive
        Damaged, // a directory or member data that do not read back
        Unsafe,  // a member the unpack would refuse or mend, or past its limits
        Missing, // no member of that name, or only one behind a password
    };
    Status status = Status::Missing;
    QByteArray bytes;
};

// Reads the member name (a plain file name) of the archive at path; a member
// larger than maxBytes is Unsafe.
ZipMember ReadZipMember(const QString& path, const QByteArray& name, int64_t maxBytes);
