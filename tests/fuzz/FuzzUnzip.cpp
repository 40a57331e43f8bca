// Zip extraction: the input is the archive. It is extracted twice, with the
// archive's folders and flattened as the package installation does, into a
// folder three levels below the scratch root; afterwards nothing may exist
// outside the target folder and no symbolic link anywhere.

#include "FakeView.h"
#include "FuzzSupport.h"
#include "unzip/UnzipEngine.h"
#include "unzip/cUnzipFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

namespace {

struct Folders
{
    QString root;
    QString archive;
    QString target;
};

const Folders& TheFolders()
{
    static const Folders folders = [] {
        Folders f;
        f.root = FuzzScratch() + QStringLiteral("/unzip");
        f.archive = f.root + QStringLiteral("/archive.zip");
        f.target = f.root + QStringLiteral("/l1/l2/l3/out");
        // Small limits: a bomb stops long before it fills the disk or the time.
        ExtractionLimits().maxTotalBytes = 8u << 20;
        ExtractionLimits().maxMembers = 2000;
        return f;
    }();
    return folders;
}

// Every entry below the root is the archive, a folder on the way to the
// target, or inside the target; none is a symbolic link.
void CheckContainment(const Folders& folders)
{
    const QStringList onTheWay = {QStringLiteral("archive.zip"), QStringLiteral("l1"),
                                  QStringLiteral("l1/l2"), QStringLiteral("l1/l2/l3"),
                                  QStringLiteral("l1/l2/l3/out")};
    const QDir root(folders.root);
    QDirIterator it(folders.root,
                    QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        FUZZ_CHECK(!info.isSymLink());
        FUZZ_CHECK(info.isFile() || info.isDir());
        const QString relative = root.relativeFilePath(info.filePath());
        FUZZ_CHECK(onTheWay.contains(relative) ||
                   relative.startsWith(QStringLiteral("l1/l2/l3/out/")));
    }
}

void Extract(const Folders& folders, bool honorDirectories, int32_t messageLevel)
{
    QDir(folders.target).removeRecursively();
    FUZZ_CHECK(QDir().mkpath(folders.target));

    ScriptedPrompt prompt;
    prompt.inputs = {QStringLiteral("secret")};
    cUnzipFiles files(&prompt);
    files.SetHonorDirectories(honorDirectories);
    files.SetMessageLevel(messageLevel);
    const int32_t result = files.Unzip(folders.archive, folders.target);
    FUZZ_CHECK(result >= 0);
    (void)files.GetLastMessage();
    CheckContainment(folders);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzStartOnce();
    const Folders& folders = TheFolders();
    FuzzWriteFile(folders.archive, FuzzBytes(data, size));
    Extract(folders, true, 0);
    Extract(folders, false, 2);
    return 0;
}
