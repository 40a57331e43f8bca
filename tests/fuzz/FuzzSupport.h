#pragma once

// What every harness shares: one Qt application, a scratch folder of the
// process's own (the settings store lies below it) and a fixed machine key,
// so that an input gives the same run on every computer.

#include "crypto/MachineKey.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdio>

// A broken invariant aborts, so that the fuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                      \
    ((condition) ? void()                                                                          \
                 : (std::fprintf(stderr, "fuzz invariant broken: %s (%s:%d)\n", #condition,        \
                                 __FILE__, __LINE__),                                              \
                    std::abort()))

// Sets the process up once and returns the scratch folder. Neither it nor the
// application is ever destroyed (at exit Qt's own globals may be gone
// already): scripts/fuzz.sh points TMPDIR into a folder of its own.
inline QString FuzzStart()
{
    static int argc = 1;
    static char name[] = "tovarinth-fuzz", *argv[] = {name, nullptr};
    static const QTemporaryDir* scratch = [] {
        new QCoreApplication(argc, argv);
        SetHardwareSources({[] { return QStringLiteral("FUZZ-BOARD-0123456789"); },
                            [] { return QStringLiteral("BFEBFBFF000906EA"); }});
        return new QTemporaryDir;
    }();
    qputenv("XDG_CONFIG_HOME", scratch->filePath(QStringLiteral("config")).toLocal8Bit());
    return scratch->path();
}

// Writes bytes as the whole file, making its folder.
inline void FuzzWriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file((QDir().mkpath(QFileInfo(path).path()), path));
    FUZZ_CHECK(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}
