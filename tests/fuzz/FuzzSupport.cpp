#include "FuzzSupport.h"

#include "crypto/MachineKey.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>

namespace {

struct Process
{
    // Never destroyed: at exit Qt's own globals may be gone already.
    QCoreApplication* app = nullptr;
    QString scratch;
};

Process& TheProcess()
{
    static Process process;
    return process;
}

void RemoveScratch()
{
    const QString scratch = TheProcess().scratch;
    if (!scratch.isEmpty())
        QDir(scratch).removeRecursively();
}

} // namespace

void FuzzStartOnce()
{
    Process& process = TheProcess();
    if (process.app)
        return;

    // A fresh folder per process: settings, program and editor folders and
    // archives all live below it.
    QByteArray base = qgetenv("TMPDIR");
    if (base.isEmpty())
        base = "/tmp";
    QByteArray pattern = base + "/tovarinth-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        FuzzFail("mkdtemp", __FILE__, __LINE__);
    process.scratch = QString::fromLocal8Bit(pattern);
    std::atexit(RemoveScratch);

    const QString config = process.scratch + QStringLiteral("/config");
    QDir().mkpath(config);
    qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());

    static int argc = 1;
    static char name[] = "tovarinth-fuzz";
    static char* argv[] = {name, nullptr};
    process.app = new QCoreApplication(argc, argv);

    // A fixed machine key: the same input deciphers the same way on every
    // computer.
    SetHardwareSources({[] { return QStringLiteral("FUZZ-BOARD-0123456789"); },
                        [] { return QStringLiteral("BFEBFBFF000906EA"); }});
}

QString FuzzScratch()
{
    return TheProcess().scratch;
}

void FuzzFail(const char* what, const char* file, int line)
{
    std::fprintf(stderr, "fuzz invariant broken: %s (%s:%d)\n", what, file, line);
    std::abort();
}

void FuzzWriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        FuzzFail("writing a fuzz file", __FILE__, __LINE__);
}
