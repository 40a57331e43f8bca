// fuzz_seeds COMMITTED_SEEDS OUT: writes OUT/<target>/<seed> for every target.

#include "FuzzSupport.h"
#include "Seeds.h"

#include <QDir>
#include <QFile>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: fuzz_seeds COMMITTED_SEEDS OUT\n");
        return 2;
    }
    FuzzStartOnce();
    const QString committed = QString::fromLocal8Bit(argv[1]);
    const QString out = QString::fromLocal8Bit(argv[2]);
    for (const QString& target : kFuzzTargets) {
        const QString folder = out + u'/' + target;
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        const auto seeds = GeneratedSeeds(target, committed + u'/' + target);
        for (const auto& [name, bytes] : seeds)
            FuzzWriteFile(folder + u'/' + name, bytes);
        std::printf("%s: %lld seeds\n", qPrintable(target), static_cast<long long>(seeds.size()));
    }
    return 0;
}
