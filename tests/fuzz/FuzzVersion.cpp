// The version-resource reader on any bytes taken for an executable image.

#include "FuzzSupport.h"
#include "startup/VersionResource.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzStartOnce();
    // An exact copy: a read past the image is a read past the allocation.
    const QByteArray image = FuzzBytes(data, size);
    for (const QString& key : {QStringLiteral("ProductVersion"), QStringLiteral("fileversion"),
                               QStringLiteral("CompanyName")}) {
        const QString value = VersionStringFromImage(image, key);
        FUZZ_CHECK(value.size() <= kMaxVersionValueChars);
        FUZZ_CHECK(!value.contains(QChar(0)));
    }
    return 0;
}
