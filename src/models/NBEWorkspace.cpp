#include "NBEWorkspace.h"

#include <QDir>
#include <QFileInfo>

QString NBEWorkspace::name() const
{
    const QString path = QDir::cleanPath(rootURL.path());
    if (path == QLatin1StringView("/"))
        return path;
    return QFileInfo(path).fileName();
}
