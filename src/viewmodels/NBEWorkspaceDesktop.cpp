#include "NBEWorkspaceDesktop.h"

#include "NBEAppLauncher.h"

#include <QDesktopServices>

QFuture<NBEUnsavedChangesChoice> NBEHeadlessDesktop::askToSaveChanges(const QStringList &)
{
    return QtFuture::makeReadyFuture(NBEUnsavedChangesChoice::Cancel);
}

bool NBEHeadlessDesktop::openUrl(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

std::optional<QUrl> NBEHeadlessDesktop::siblingApplication() const
{
    return NBEAppLauncher::tarnwickURL();
}

void NBEHeadlessDesktop::openWithApplication(const QList<QUrl> &urls, const QUrl &application)
{
    NBEAppLauncher::open(urls, application);
}
