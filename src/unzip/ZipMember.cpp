#include "ZipMember.h"

#include "UnzipEngine.h"
#include "ZipDirectory.h"

#include <QFile>
#include <algorithm>
#include <memory>
#include <sys/stat.h>
#include <zip.h>

namespace {

struct ZipCloser
{
    void operator()(zip_t* za) const { zip_discard(za); }
};
struct ZipFileCloser
{
    void operator()(zip_file_t* zf) const { zip_fclose(zf); }
};

ZipMember Refused(ZipMember::Status status)
{
    return ZipMember{status, {}};
}

} // namespace

ZipMember ReadZipMember(const QString& path, const QByteArray& name, int64_t maxBytes)
{
    int error = ZIP_ER_OK;
    const std::unique_ptr<zip_t, ZipCloser> zip(
        zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error));
    if (!zip)
        return Refused(error == ZIP_ER_NOZIP || error == ZIP_ER_NOENT || error == ZIP_ER_OPEN ||
                               error == ZIP_ER_READ
                           ? ZipMember::Status::NotZip
                           : ZipMember::Status::Damaged);
    const UnzipLimits& limits = ExtractionLimits();
    const zip_int64_t count = zip_get_num_entries(zip.get(), 0);
    if (count < 0 || static_cast<uint64_t>(count) > limits.maxMembers)
        return Refused(ZipMember::Status::Unsafe);
    const ZipDirectory dir = ZipDirectory::Read(path, limits.maxMembers);
    if (dir.status() != ZipDirectory::Status::Ok ||
        dir.entries().size() != static_cast<size_t>(count))
        return Refused(ZipMember::Status::Damaged);
    if (dir.HasOverlappingMembers())
        return Refused(ZipMember::Status::Unsafe);

    // Every member as the unpack takes it: a link, or a name it has to mend,
    // makes it fail, and a later member of the name replaces an earlier one.
    uint64_t declared = 0;
    zip_int64_t found = -1;
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(zip.get(), static_cast<zip_uint64_t>(i), 0, &st) != 0 ||
            !(st.valid & ZIP_STAT_NAME))
            return Refused(ZipMember::Status::Damaged);
        declared += std::min<uint64_t>(st.size, limits.maxTotalBytes + 1);
        zip_uint8_t opsys = 0;
        zip_uint32_t attributes = 0;
        zip_file_get_external_attributes(zip.get(), static_cast<zip_uint64_t>(i), 0, &opsys,
                                         &attributes);
        const MendedName mended = MendMemberName(QByteArray(st.name), false, false);
        if ((opsys == ZIP_OPSYS_UNIX && S_ISLNK(static_cast<mode_t>(attributes >> 16))) ||
            mended.strippedAbsolute || mended.strippedParent ||
            (!mended.isFolder && mended.unusable))
            return Refused(ZipMember::Status::Unsafe);
        if (!mended.isFolder && mended.file == name)
            found = i;
    }
    if (declared > limits.maxTotalBytes)
        return Refused(ZipMember::Status::Unsafe);
    if (found < 0)
        return Refused(ZipMember::Status::Missing);

    zip_stat_t st;
    zip_stat_init(&st);
    zip_stat_index(zip.get(), static_cast<zip_uint64_t>(found), 0, &st);
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE)
        return Refused(ZipMember::Status::Missing);
    if (static_cast<int64_t>(st.size) > maxBytes)
        return Refused(ZipMember::Status::Unsafe);
    const std::unique_ptr<zip_file_t, ZipFileCloser> file(
        zip_fopen_index(zip.get(), static_cast<zip_uint64_t>(found), 0));
    if (!file)
        return Refused(ZipMember::Status::Damaged);
    ZipMember member{ZipMember::Status::Ok, QByteArray(static_cast<qsizetype>(st.size), '\0')};
    const zip_int64_t n = zip_fread(file.get(), member.bytes.data(), st.size);
    // One byte more than declared is asked for: a member longer than its
    // directory entry says is damaged.
    char extra = 0;
    if (n != static_cast<zip_int64_t>(st.size) || zip_fread(file.get(), &extra, 1) != 0)
        return Refused(ZipMember::Status::Damaged);
    return member;
}
