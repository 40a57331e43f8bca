// replay TARGET COMMITTED_SEEDS [FOLDER_OR_FILE]...: runs the harness once over
// the target's generated seeds, the files of COMMITTED_SEEDS and each further
// file named or lying in a named folder (the regression inputs), without the
// fuzzer. A missing folder counts as empty.

#include "FuzzSupport.h"
#include "Seeds.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

void Replay(const QString& name, const QByteArray& bytes)
{
    std::fprintf(stderr, "replaying %s (%lld bytes)\n", qPrintable(name),
                 static_cast<long long>(bytes.size()));
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()),
                           static_cast<size_t>(bytes.size()));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: replay TARGET COMMITTED_SEEDS [FOLDER_OR_FILE]...\n");
        return 2;
    }
    FuzzStartOnce();
    const QString target = QString::fromLocal8Bit(argv[1]);
    int replayed = 0;
    for (const auto& [name, bytes] : GeneratedSeeds(target, QString::fromLocal8Bit(argv[2]))) {
        Replay(name, bytes);
        ++replayed;
    }
    int unreadable = 0;
    for (int i = 2; i < argc; ++i) {
        const QString path = QString::fromLocal8Bit(argv[i]);
        QStringList files;
        if (QFileInfo(path).isDir()) {
            for (const QFileInfo& info : QDir(path).entryInfoList(QDir::Files, QDir::Name))
                files << info.filePath();
        } else if (QFileInfo::exists(path)) {
            files << path;
        }
        for (const QString& file : files) {
            QFile input(file);
            if (!input.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(file));
                ++unreadable;
                continue;
            }
            Replay(file, input.readAll());
            ++replayed;
        }
    }
    std::printf("%s: %d inputs replayed, %d unreadable\n", qPrintable(target), replayed,
                unreadable);
    return unreadable == 0 && replayed > 0 ? 0 : 1;
}
