#include "NBEWorkspaceDesktop.h"

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
    return std::nullopt;
}

void NBEHeadlessDesktop::openWithApplication(const QList<QUrl> &, const QUrl &) {}
