// The version-resource reader on any bytes taken for an executable image.

#include "FuzzSupport.h"
#include "startup/VersionResource.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray image(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const char* key : {"ProductVersion", "fileversion", "CompanyName"}) {
        const QString value = VersionStringFromImage(image, QString::fromLatin1(key));
        FUZZ_CHECK(value.size() <= kMaxVersionValueChars && !value.contains(QChar(0)));
    }
    return 0;
}
