#include "NBEDiskStamp.h"

#include <QCryptographicHash>
#include <QtConcurrent/QtConcurrentRun>

QByteArray NBEDiskStamp::digestOf(const QString &text)
{
    return QCryptographicHash::hash(
        QByteArrayView(reinterpret_cast<const char *>(text.constData()), text.size() * 2),
        QCryptographicHash::Sha1);
}

QFuture<QByteArray> NBEDiskStamp::digestInBackground(const QString &text)
{
    constexpr qsizetype longText = 1024 * 1024;
    if (text.size() < longText)
        return QtFuture::makeReadyFuture(digestOf(text));
    return QtConcurrent::run([text] { return digestOf(text); });
}
