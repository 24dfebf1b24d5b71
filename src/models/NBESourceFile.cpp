#include "NBESourceFile.h"

#include <QDir>

NBESourceFile::NBESourceFile(const QUrl &url, const QString &content, NBELineEnding lineEnding)
    : NBESourceFile(url, content, content, lineEnding)
{}

NBESourceFile::NBESourceFile(const QUrl &url, const QString &content, const QString &savedContent,
                             NBELineEnding lineEnding)
    : id(QUuid::createUuid())
    , url(url)
    , content(content)
    , savedContent(savedContent)
    , lineEnding(lineEnding)
{}

QString NBESourceFile::name() const
{
    return url.fileName();
}

QString NBESourceFile::fileExtension() const
{
    const QString fileName = name();
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot < 0 ? QString() : fileName.mid(dot + 1);
}
