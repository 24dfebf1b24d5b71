#include "NBEDiskStamp.h"

#include <QCryptographicHash>

QByteArray NBEDiskStamp::digestOf(const QString &text)
{
    return QCryptographicHash::hash(
        QByteArrayView(reinterpret_cast<const char *>(text.constData()), text.size() * 2),
        QCryptographicHash::Sha1);
}
