// The writers of the program's files in a process of their own, so that a
// test can kill it at any moment. With CRASH_AT=N it kills itself (SIGKILL)
// just before or just after (CRASH_WHEN) the N-th rename or link of a file,
// the steps that put a replacement in place.
//   tovarinth_crashee PROGRAM_FOLDER ROUNDS cache (syncs accounts crash.tester0 and 1)
//   tovarinth_crashee PROGRAM_FOLDER ROUNDS install CHECKSUM HUB_URL NAME VERSION
// Exit code 3 when a write reports failure; at the end it prints "renames N".

#include "catalogue/Catalogue.h"
#include "net/mInternet.h"
#include "support/FakeView.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <cstdio>
#include <dlfcn.h>
#include <signal.h>

namespace {

int renames = 0;

template <typename... Args> int Counted(const char* name, Args... args)
{
    static const int at = qEnvironmentVariableIntValue("CRASH_AT");
    static const bool after = qgetenv("CRASH_WHEN") == "after";
    if (++renames == at && !after)
        ::raise(SIGKILL);
    const int result = reinterpret_cast<int (*)(Args...)>(dlsym(RTLD_NEXT, name))(args...);
    if (renames == at && after)
        ::raise(SIGKILL);
    return result;
}

} // namespace

// The executable's definitions come first for every library of the process
// (Qt's save file links and renames, the unpacker renames at a folder).
extern "C" {
int rename(const char* a, const char* b)
{
    return Counted("rename", a, b);
}
int renameat(int d, const char* a, int e, const char* b)
{
    return Counted("renameat", d, a, e, b);
}
int linkat(int d, const char* a, int e, const char* b, int f)
{
    return Counted("linkat", d, a, e, b, f);
}
}

int main(int argc, char** argv)
{
    ::signal(SIGXFSZ, SIG_IGN); // a file-size limit stands for a full disk: writes fail
    mInternet::InitInternet();
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    ProcessValues process{{}, {}, {}, {}, args.value(1)};
    MainState state;
    FakeView view;
    ScriptedPrompt prompt;
    Catalogue catalogue(state, view, prompt, process);
    state.Hub = args.value(5);
    const ExtensionEntry row{args.value(6), {}, args.value(4), {}, args.value(7), true, false, 0};
    for (int i = 0; i < args.value(2).toInt(); ++i) {
        state.Entries = {row};
        process.UserName = QString("crash.tester%1").arg(i % 2); // syncs two accounts in turn
        if (args.value(3) == "cache")
            catalogue.PingReturn(true);
        if (!(args.value(3) == "cache" ? state.ProfileSynced
                                       : catalogue.InstallPackage(row.Checksum, false)))
            return 3;
    }
    std::printf("renames %d\n", renames);
    return 0;
}
