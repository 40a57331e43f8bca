// The program: start-up checks, the single-instance guard, then the main
// window until it closes.

#include "FormIcon.h"
#include "MessageBoxPrompt.h"
#include "cSingleInstance.h"
#include "cTraceSignals.h"
#include "frmMain.h"
#include "net/mInternet.h"
#include "startup/HeapPolicy.h"
#include "startup/mMain.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

int main(int, char** argv)
{
    HeapPolicy::KeepLargeBlocksApart(); // before any thread starts
    mInternet::InitInternet();          // before any thread starts
    // No switch may change what the program does: Qt would act on its own
    // (-platform, -style, -reverse, ...), so it sees the program name only.
    // The environment (QT_QPA_PLATFORM and the like) still applies.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    QApplication::setApplicationName(QStringLiteral("Tovarinth"));

    // Every text of the program is Chinese: the standard buttons follow,
    // whatever the system's locale.
    QTranslator qtTranslator;
    if (qtTranslator.load(QStringLiteral("qtbase_zh_CN"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    MessageBoxPrompt prompt;
    StartupPlatform platform;
    platform.executablePath = RunningExecutable();
    platform.isUserAnAdmin = IsUserAnAdmin;
    InitControls(platform.scrollBarWidth); // a failure here stops nothing
    const std::optional<ProcessValues> values = Main(prompt, platform);
    if (!values)
        return 0;

    // One manager per program folder: a second start brings the first one's
    // window to the front, or says who runs it, and ends.
    cSingleInstance instance(values->ProgramFolder, prompt);
    const cSingleInstance::Claim claim = instance.Take();
    if (claim != cSingleInstance::Claim::First && claim != cSingleInstance::Claim::Unguarded)
        return 0;

    frmMain window(*values);
    instance.SetWindow(&window);
    const cTraceSignals measuring(window); // with the trace on only
    window.show();
    return QApplication::exec();
}
