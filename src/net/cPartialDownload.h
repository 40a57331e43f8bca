#pragma once

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <cstdint>

// What a file download cut short by the line or the server leaves for the
// next attempt: the partial file and, beside it, a record of the server's
// copy it is the beginning of (the whole length and the ETag and
// Last-Modified headers as received). Only a partial file with its record is
// ever continued; the record is written through a temporary file, and taken
// away before the partial file changes in a way it no longer describes.
class cPartialDownload
{
public:
    // A partial file older than this is never continued: a server's copy is
    // unlikely to be the same, and the folder should not fill up.
    static constexpr int kMaxAgeDays = 7;

    explicit cPartialDownload(const QString& partPath) : part_(partPath) {}

    const QString& PartPath() const { return part_; }
    // The partial file's path + ".info".
    QString RecordPath() const;

    // The bytes a request may ask the rest after: the partial file's length
    // when its record names the total and a validator, the file is shorter
    // than that total and not older than kMaxAgeDays; 0 otherwise.
    int64_t ResumableBytes() const;
    // For ResumableBytes() > 0: "Range: bytes=N-" and "If-Range:" with the
    // ETag, else the Last-Modified; nothing otherwise.
    QList<QByteArray> RequestHeaders() const;
    // Whether an answer continues the partial file at from: a 206 whose
    // Content-Range ("bytes FIRST-LAST/TOTAL") starts at from and names the
    // recorded total.
    bool Continues(int64_t from, long httpStatus, const QByteArray& contentRange) const;
    // The whole length as recorded; -1 without a record.
    int64_t RecordedTotal() const;

    // Records the server's copy a new partial file begins. Without a total or
    // without any validator there is nothing to continue later: the record is
    // removed and the result is false, as when it cannot be written.
    bool Record(int64_t total, const QByteArray& etag, const QByteArray& lastModified);
    // Removes the record (the partial file is then never continued).
    void Forget();
    // Removes the partial file and its record.
    void Remove();

    // Removes from folder every partial file and record whose archive (the
    // name before ".part") is not in keep, whose partner is missing, or that
    // is older than kMaxAgeDays.
    static void Tidy(const QString& folder, const QSet<QString>& keep);

private:
    struct Fields
    {
        int64_t total = -1;
        QByteArray etag, lastModified;
    };
    Fields Read() const;

    QString part_;
};
