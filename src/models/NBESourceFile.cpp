#include "NBESourceFile.h"

NBESourceFile::NBESourceFile(const QUrl &url, const QString &content, NBELineEnding lineEnding)
    : NBESourceFile(url, NBETextBuffer::make(content), lineEnding)
{}

NBESourceFile::NBESourceFile(const QUrl &url, std::shared_ptr<NBETextBuffer> buffer,
                             NBELineEnding lineEnding)
    : id(QUuid::createUuid())
    , url(url)
    , buffer(std::move(buffer))
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
