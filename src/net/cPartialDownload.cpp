#include "cPartialDownload.h"

#include "startup/FileIo.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString kPartSuffix = QStringLiteral(".part");
const QString kRecordSuffix = QStringLiteral(".part.info");

bool TooOld(const QFileInfo& file)
{
    return file.lastModified() <
           QDateTime::currentDateTimeUtc().addDays(-cPartialDownload::kMaxAgeDays);
}

// "bytes FIRST-LAST/TOTAL" -> FIRST and TOTAL; false for anything else (a
// "*" total included: the copy's length must be known to be the same).
bool ParseContentRange(const QByteArray& text, int64_t& first, int64_t& total)
{
    const QByteArray value = text.trimmed();
    if (!value.startsWith("bytes "))
        return false;
    const qsizetype dash = value.indexOf('-'), slash = value.indexOf('/');
    if (dash < 0 || slash < dash)
        return false;
    bool okFirst = false, okLast = false, okTotal = false;
    first = value.mid(6, dash - 6).trimmed().toLongLong(&okFirst);
    const int64_t last = value.mid(dash + 1, slash - dash - 1).trimmed().toLongLong(&okLast);
    total = value.mid(slash + 1).trimmed().toLongLong(&okTotal);
    return okFirst && okLast && okTotal && first >= 0 && last >= first && total > last;
}

} // namespace

QString cPartialDownload::RecordPath() const
{
    return part_ + QStringLiteral(".info");
}

cPartialDownload::Fields cPartialDownload::Read() const
{
    Fields fields;
    const ByteArray bytes = ReadWholeFile(RecordPath());
    if (!bytes)
        return fields;
    for (const QByteArray& line : bytes->split('\n')) {
        const qsizetype equals = line.indexOf('=');
        const QByteArray key = line.left(equals), value = line.mid(equals + 1);
        if (equals <= 0)
            continue;
        if (key == "total") {
            bool ok = false;
            fields.total = value.toLongLong(&ok);
            if (!ok || fields.total <= 0)
                return Fields{};
        } else if (key == "etag") {
            fields.etag = value;
        } else if (key == "last-modified") {
            fields.lastModified = value;
        }
    }
    return fields;
}

int64_t cPartialDownload::RecordedTotal() const
{
    return Read().total;
}

int64_t cPartialDownload::ResumableBytes() const
{
    const QFileInfo file(part_);
    if (!file.isFile() || file.size() <= 0 || TooOld(file))
        return 0;
    const Fields fields = Read();
    if (fields.total <= 0 || (fields.etag.isEmpty() && fields.lastModified.isEmpty()))
        return 0;
    return file.size() < fields.total ? file.size() : 0;
}

QList<QByteArray> cPartialDownload::RequestHeaders() const
{
    const int64_t from = ResumableBytes();
    if (from <= 0)
        return {};
    const Fields fields = Read();
    // A strong ETag names the exact bytes; Last-Modified only the second the
    // copy last changed, so it is the fallback.
    return {"Range: bytes=" + QByteArray::number(from) + '-',
            "If-Range: " + (fields.etag.isEmpty() ? fields.lastModified : fields.etag)};
}

bool cPartialDownload::Continues(int64_t from, long httpStatus,
                                 const QByteArray& contentRange) const
{
    int64_t first = -1, total = -1;
    return httpStatus == 206 && ParseContentRange(contentRange, first, total) && first == from &&
           total == Read().total;
}

bool cPartialDownload::Record(int64_t total, const QByteArray& etag, const QByteArray& lastModified)
{
    // A value with a line break would end the record's line early.
    const auto clean = [](const QByteArray& value) {
        return value.contains('\n') || value.contains('\r') ? QByteArray() : value;
    };
    const QByteArray e = clean(etag), m = clean(lastModified);
    if (total <= 0 || (e.isEmpty() && m.isEmpty())) {
        Forget();
        return false;
    }
    const QByteArray text =
        "total=" + QByteArray::number(total) + "\netag=" + e + "\nlast-modified=" + m + '\n';
    if (WriteFileAtomically(RecordPath(), text))
        return true;
    Forget();
    return false;
}

void cPartialDownload::Forget()
{
    QFile::remove(RecordPath());
}

void cPartialDownload::Remove()
{
    Forget();
    QFile::remove(part_);
}

void cPartialDownload::Tidy(const QString& folder, const QSet<QString>& keep)
{
    const QFileInfoList files = QDir(folder).entryInfoList(
        {QStringLiteral("*") + kPartSuffix, QStringLiteral("*") + kRecordSuffix},
        QDir::Files | QDir::Hidden);
    for (const QFileInfo& file : files) {
        const QString name = file.fileName();
        const bool record = name.endsWith(kRecordSuffix);
        const QString archive = name.chopped(record ? kRecordSuffix.size() : kPartSuffix.size());
        const QFileInfo part(JoinPath(folder, archive + kPartSuffix));
        const QFileInfo info(JoinPath(folder, archive + kRecordSuffix));
        if (!keep.contains(archive) || !part.isFile() || !info.isFile() || TooOld(part))
            QFile::remove(file.filePath());
    }
}
