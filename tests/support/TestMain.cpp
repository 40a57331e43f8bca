// The main of every test program: a Qt application object (offscreen for
// window tests), and a settings folder of its own so that no test ever reads
// or writes the user's settings.

#include <QTemporaryDir>
#include <gtest/gtest.h>
#ifdef TOVARINTH_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv)
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return config.isValid() ? RUN_ALL_TESTS() : 1;
}
