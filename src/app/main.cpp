// Entry point: the welcome window, or the project windows of the folders and
// files named on the command line.
#include "NBEApplicationShell.h"
#include "NBEMemory.h"
#include "NBEPreviewSchemeHandler.h"

#include <QApplication>

int main(int argc, char **argv)
{
    NBEMemory::configureAllocator();
    NBEPreviewSchemeHandler::registerScheme();
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Nabri"));
    QCoreApplication::setApplicationName(QStringLiteral("Nabri Editor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(NBE_VERSION));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Nabri Editor"));
    QGuiApplication::setDesktopFileName(QStringLiteral("dev.nabri.NabriEditor"));

    NBEApplicationShell shell;
    shell.handleSessionEnd();
    const QStringList paths = app.arguments().mid(1);
    if (paths.isEmpty())
        shell.launch();
    else
        shell.openPaths(paths);
    shell.announceRecoveredEdits();
    return app.exec();
}
