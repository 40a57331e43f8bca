// The writers of the program's files in a process of their own, so that a
// test can kill it at any moment. With CRASH_AT=N it kills itself (SIGKILL)
// just before or just after (CRASH_WHEN) the N-th rename or link of a file,
// the steps that put a replacement in place.
//   tovarinth_crashee extdb   PROGRAM_FOLDER ROUNDS
//   tovarinth_crashee cache   PROGRAM_FOLDER ROUNDS SITE_ROOT USER
//   tovarinth_crashee install PROGRAM_FOLDER CHECKSUM HUB_URL
// It prints "round N" before each round and "done" at the end.

#include "catalogue/Catalogue.h"
#include "crypto/MachineKey.h"
#include "net/mInternet.h"
#include "support/FakeView.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>

namespace {

int renameCount = 0;

void MaybeCrash(const char* when)
{
    static const int at = std::getenv("CRASH_AT") ? std::atoi(std::getenv("CRASH_AT")) : 0;
    static const char* moment = std::getenv("CRASH_WHEN") ? std::getenv("CRASH_WHEN") : "before";
    if (at > 0 && renameCount == at && std::strcmp(moment, when) == 0)
        ::raise(SIGKILL);
}

template <typename F> F Real(const char* name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

} // namespace

// The executable's definitions come first for every library of the process.
extern "C" {
int rename(const char* from, const char* to)
{
    ++renameCount;
    MaybeCrash("before");
    const int result = Real<int (*)(const char*, const char*)>("rename")(from, to);
    MaybeCrash("after");
    return result;
}

int renameat(int fromDir, const char* from, int toDir, const char* to)
{
    ++renameCount;
    MaybeCrash("before");
    const int result =
        Real<int (*)(int, const char*, int, const char*)>("renameat")(fromDir, from, toDir, to);
    MaybeCrash("after");
    return result;
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags)
{
    ++renameCount;
    MaybeCrash("before");
    const int result = Real<int (*)(int, const char*, int, const char*, unsigned)>("renameat2")(
        fromDir, from, toDir, to, flags);
    MaybeCrash("after");
    return result;
}

int linkat(int fromDir, const char* from, int toDir, const char* to, int flags)
{
    ++renameCount;
    MaybeCrash("before");
    const int result = Real<int (*)(int, const char*, int, const char*, int)>("linkat")(
        fromDir, from, toDir, to, flags);
    MaybeCrash("after");
    return result;
}
}

int main(int argc, char** argv)
{
    // A file-size limit stands for a full disk: writes fail instead of the
    // process being stopped.
    ::signal(SIGXFSZ, SIG_IGN);
    mInternet::InitInternet();
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4)
        return 2;
    const QString mode = args.at(1);
    ProcessValues process;
    process.ProgramFolder = args.at(2);
    process.UserName = args.size() > 5 ? args.at(5) : QStringLiteral("crash.tester");
    MainState state;
    FakeView view;
    ScriptedPrompt prompt;
    Catalogue catalogue(state, view, prompt, process);

    if (mode == QLatin1String("extdb")) {
        // Two databases in turn: the file on disk must always be one of them.
        const int rounds = args.at(3).toInt();
        ExtensionEntry row;
        row.IsExtension = true;
        row.Status = Installed;
        for (int i = 0; i < rounds; ++i) {
            std::printf("round %d\n", i);
            std::fflush(stdout);
            row.Descriptor = i % 2 ? QStringLiteral("\"b\":[2,2]") : QStringLiteral("\"a\":[1]");
            state.Entries = {row};
            state.InstalledDb.reset(); // the database is the row alone
            if (!catalogue.SaveInstalledDatabase())
                return 3;
        }
    } else if (mode == QLatin1String("cache")) {
        // The profile changes on the site between syncs.
        const int rounds = args.at(3).toInt();
        const QString profilePath =
            args.at(4) + QStringLiteral("/kvxta_user_ext_info/") + process.UserName;
        for (int i = 0; i < rounds; ++i) {
            std::printf("round %d\n", i);
            std::fflush(stdout);
            const QByteArray profile =
                "{\"id\":\"" + process.UserName.toUtf8() +
                "\",\"extensions\":[{\"name\":\"p\",\"count\":" + QByteArray::number(i % 2 + 1) +
                "}]}";
            WriteFile(profilePath, profile);
            catalogue.PingReturn(true);
            if (!state.ProfileSynced)
                return 3;
        }
    } else if (mode == QLatin1String("install")) {
        std::printf("round 0\n");
        std::fflush(stdout);
        state.Hub = args.at(4);
        ExtensionEntry row;
        row.IsExtension = true;
        row.Checksum = args.at(3);
        const QStringList proven = DecryptHexString(row.Checksum).split(u'@');
        row.Name = proven.value(0);
        row.Version = proven.value(1);
        row.Status = PendingDownload;
        state.Entries = {row};
        if (!catalogue.InstallPackage(row.Checksum, false))
            return 3;
    } else {
        return 2;
    }
    std::printf("done\n");
    return 0;
}
