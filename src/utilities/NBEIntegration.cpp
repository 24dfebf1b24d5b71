#include "NBEIntegration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <pwd.h>
#include <unistd.h>

namespace {

QUrl directoryURL(const QUrl &home, const QString &relativePath)
{
    QString path = home.toLocalFile();
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return QUrl::fromLocalFile(path + relativePath + QLatin1Char('/'));
}

} // namespace

QList<NBEIntegrationLocation> NBEIntegration::candidates(const QUrl &home)
{
    return {
        {QStringLiteral("pennwright"), QStringLiteral("Open Pennwright Site…"),
         directoryURL(home, QStringLiteral("Pennwright"))},
        {QStringLiteral("tarnwick"), QStringLiteral("Open Tarnwick Project…"),
         directoryURL(home, QStringLiteral("Tarnwick"))},
    };
}

QList<NBEIntegrationLocation> NBEIntegration::menuLocations()
{
    return candidates(realHomeDirectory());
}

QList<NBEIntegrationLocation> NBEIntegration::availableLocations(const QUrl &home)
{
    QList<NBEIntegrationLocation> locations = candidates(home);
    locations.removeIf([](const NBEIntegrationLocation &location) {
        return !QFileInfo(location.url.toLocalFile()).isDir();
    });
    return locations;
}

QUrl NBEIntegration::realHomeDirectory()
{
    // The user database's entry, not $HOME, which a sandbox may point elsewhere.
    QString home;
    if (const passwd *entry = getpwuid(getuid()); entry && entry->pw_dir)
        home = QFile::decodeName(entry->pw_dir);
    if (home.isEmpty())
        home = QDir::homePath();
    if (!home.endsWith(QLatin1Char('/')))
        home += QLatin1Char('/');
    return QUrl::fromLocalFile(home);
}
