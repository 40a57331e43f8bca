#include "cUnzipFiles.h"

#include "startup/Errors.h"
#include "unzip/mUnzip.h"

int32_t cUnzipFiles::Unzip(const QString& sZipFileName, const QString& sExtractDir)
{
    try {
        if (!sZipFileName.isEmpty())
            slots_.ZipFileName = sZipFileName;
        if (!sExtractDir.isEmpty())
            slots_.ExtractDir = sExtractDir;
        return VBUnzip(*this);
    } catch (const RaisedError&) {
        // A run-time error around the call is dropped: the result is 0 and
        // the last message keeps what was printed before it.
        return 0;
    }
}

QString cUnzipFiles::GetLastMessage() const
{
    return UnzipLastMessage();
}
