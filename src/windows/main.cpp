// The program: start-up checks, then the main window until it closes.

#include "FormIcon.h"
#include "MessageBoxPrompt.h"
#include "frmMain.h"
#include "startup/mMain.h"
#include "net/mInternet.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

int main(int, char** argv)
{
    mInternet::InitInternet(); // before any thread starts
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

    frmMain window(*values);
    window.show();
    return QApplication::exec();
}
