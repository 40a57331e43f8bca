// Zip extraction: the input is the archive. It is extracted with the
// archive's folders and flattened as the package installation does, into a
// folder three levels below the scratch root; afterwards nothing may exist
// outside the target folder and no symbolic link anywhere.

#include "FakeView.h"
#include "FuzzSupport.h"
#include "unzip/UnzipEngine.h"
#include "unzip/cUnzipFiles.h"

#include <QDirIterator>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString root = FuzzStart() + "/unzip", archive = root + "/archive.zip",
                  target = root + "/l1/l2/l3/out/";
    // Small limits: a bomb stops long before it fills the disk or the time.
    ExtractionLimits() = {8u << 20, 2000};
    FuzzWriteFile(archive, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    for (const bool honorDirectories : {true, false}) {
        QDir(target).removeRecursively();
        ScriptedPrompt prompt;
        prompt.inputs = {QStringLiteral("secret")};
        cUnzipFiles files(&prompt);
        files.SetHonorDirectories(honorDirectories);
        files.SetMessageLevel(honorDirectories ? 0 : 2);
        FUZZ_CHECK(files.Unzip(archive, target) >= 0);
        QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info(it.next());
            const QString path = info.filePath() + (info.isDir() ? "/" : "");
            FUZZ_CHECK(!info.isSymLink() && (info.isFile() || info.isDir()) &&
                       (path == archive || path.startsWith(target) ||
                        (info.isDir() && target.startsWith(path))));
        }
    }
    return 0;
}
