#include "NBEWorkspaceDesktop.h"

#include "NBEAppLauncher.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>

QFuture<NBEUnsavedChangesChoice> NBEHeadlessDesktop::askToSaveChanges(const QStringList &)
{
    return QtFuture::makeReadyFuture(NBEUnsavedChangesChoice::Cancel);
}

bool NBEHeadlessDesktop::openUrl(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

void NBEHeadlessDesktop::revealInFileManager(const QUrl &url)
{
    // The file manager's own interface selects the file; when none answers
    // (or dbus-send can't run) the folder opens instead.
    const QUrl folder = QUrl::fromLocalFile(QFileInfo(url.toLocalFile()).absolutePath());
    auto *process = new QProcess(QCoreApplication::instance());
    QObject::connect(process, &QProcess::finished, process,
                     [process, folder](int code, QProcess::ExitStatus status) {
                         if (status != QProcess::NormalExit || code != 0)
                             QDesktopServices::openUrl(folder);
                         process->deleteLater();
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, folder](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart)
                             return;
                         QDesktopServices::openUrl(folder);
                         process->deleteLater();
                     });
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start(QStringLiteral("dbus-send"),
                   {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                    QStringLiteral("--reply-timeout=5000"),
                    QStringLiteral("--dest=org.freedesktop.FileManager1"),
                    QStringLiteral("--type=method_call"),
                    QStringLiteral("/org/freedesktop/FileManager1"),
                    QStringLiteral("org.freedesktop.FileManager1.ShowItems"),
                    QStringLiteral("array:string:") + url.toString(QUrl::FullyEncoded),
                    QStringLiteral("string:")});
}

std::optional<QUrl> NBEHeadlessDesktop::siblingApplication() const
{
    return NBEAppLauncher::tarnwickURL();
}

void NBEHeadlessDesktop::openWithApplication(const QList<QUrl> &urls, const QUrl &application)
{
    NBEAppLauncher::open(urls, application);
}
