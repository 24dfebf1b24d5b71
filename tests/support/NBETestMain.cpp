// Shared main of every test program: isolates the user's home, settings and
// git configuration, then runs GoogleTest inside a Qt application object.
#include "NBETestSupport.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#ifdef NBE_TEST_WIDGETS
#include "NBEPreviewSchemeHandler.h"
#include <QApplication>
using NBETestApplication = QApplication;
#else
#include <QGuiApplication>
using NBETestApplication = QGuiApplication;
#endif

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QTemporaryDir home;
    if (!home.isValid())
        return 2;
    NBETest::isolateEnvironment(home.path());

#ifdef NBE_TEST_WIDGETS
    // Pages are served under a scheme the engine must know before it starts.
    NBEPreviewSchemeHandler::registerScheme();
#endif
    NBETestApplication app(argc, argv);
    NBETest::configureApplication();
    QStandardPaths::setTestModeEnabled(true);
    // Test mode moves the data folder under HOME; without it on disk, moving a
    // file to the trash falls back to `files/` and `info/` in the working folder.
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));

    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
