#include "NBEReplaceFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The temporary file's name is short and fixed in length, so any name the
// file system takes can be replaced (a "<name>.XXXXXX" beside a long name
// goes over NAME_MAX). The leading dot keeps it out of the project tree.
QByteArray temporaryPath(const QByteArray &folder)
{
    const quint64 random = QRandomGenerator::global()->generate64();
    return folder + "/.nbe-save-" + QByteArray::number(random, 16).rightJustified(16, '0');
}

// A link is written through to its target, as an editor saving "in place"
// would; replacing the link itself would cut it.
QByteArray resolvedTarget(const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink()) {
        const QString canonical = info.canonicalFilePath();
        return QFile::encodeName(canonical.isEmpty() ? info.symLinkTarget() : canonical);
    }
    return QFile::encodeName(path);
}

int writeAll(int fd, const QByteArray &bytes)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n > 0)
            written += n;
        else if (n == 0)
            return EIO;
        else if (errno != EINTR)
            return errno;
    }
    // Blocks the file system only reserves on write fail here, not later.
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS)
        return errno;
    return 0;
}

} // namespace

QString nbeWriteFailureReason(int error)
{
    switch (error) {
    case ENOSPC:
        return QStringLiteral("the disk is full");
    case EDQUOT:
        return QStringLiteral("the disk quota is used up");
    case 0:
        return QStringLiteral("the write failed");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

NBEResult<void> nbeReplaceFile(const QString &path, const QByteArray &bytes)
{
    const QByteArray target = resolvedTarget(path);
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0    ? QByteArray(".")
                              : slash == 0 ? QByteArray("/")
                                           : target.left(slash);
    struct stat existing;
    const bool exists = ::stat(target.constData(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        return nbeFailure(nbeWriteFailureReason(EISDIR));

    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 16; ++attempt) {
        temporary = temporaryPath(folder);
        // 0666 less the umask, as any new file gets.
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return nbeFailure(nbeWriteFailureReason(errno));
    }
    if (fd < 0)
        return nbeFailure(nbeWriteFailureReason(EEXIST));

    int error = 0;
    // The file keeps who may read it.
    if (exists && ::fchmod(fd, existing.st_mode & 07777) != 0)
        error = errno;
    if (error == 0)
        error = writeAll(fd, bytes);
    if (::close(fd) != 0 && error == 0 && errno != EINTR)
        error = errno;
    if (error == 0 && ::rename(temporary.constData(), target.constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.constData());
        return nbeFailure(nbeWriteFailureReason(error));
    }
    return {};
}

int nbeRenameNoReplace(const QString &from, const QString &to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // File systems without the flag: a check just before the rename.
    struct stat info;
    if (::lstat(target.constData(), &info) == 0)
        return EEXIST;
    return ::rename(source.constData(), target.constData()) == 0 ? 0 : errno;
}
