#include "NBEReplaceFile.h"

#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <unistd.h>

QString nbeWriteFailureReason(int error)
{
    switch (error) {
    case ENOSPC:
        return QStringLiteral("the disk is full");
    case EDQUOT:
        return QStringLiteral("the disk quota is used up");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

NBEResult<void> nbeReplaceFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return nbeFailure(file.errorString());
    // Written straight to the descriptor: QSaveFile's own buffered write only
    // fills memory, and a failure while commit() flushes it is not reported,
    // so an empty file would replace the old one.
    const int fd = file.handle();
    qsizetype written = 0;
    int error = fd < 0 ? EBADF : 0;
    while (error == 0 && written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n > 0)
            written += n;
        else if (n == 0)
            error = EIO;
        else if (errno != EINTR)
            error = errno;
    }
    // Blocks the file system only reserves on write fail here, not in commit().
    if (error == 0 && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS)
        error = errno;
    if (error != 0) {
        file.cancelWriting();
        return nbeFailure(nbeWriteFailureReason(error));
    }
    if (!file.commit())
        return nbeFailure(file.errorString());
    return {};
}
